#include "app/callwindow/TimelineModel.h"

#include <QLocale>

#include <algorithm>

TimelineModel::TimelineModel(QObject* parent)
    : QAbstractListModel(parent)
{
}

int TimelineModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : finishedRows() + static_cast<int>(m_inProgress.size());
}

QVariant TimelineModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
        return {};
    }
    const Located at = locate(index.row());
    switch (role) {
    case KindRole: return static_cast<int>(at.kind);
    case CardEdgesRole: return static_cast<int>(cardEdges(index.row()));
    default: break;
    }
    switch (at.kind) {
    case RowKind::line: {
        const TranscriptLine& line = m_lines.at(at.index);
        switch (role) {
        case Qt::DisplayRole: return line.text;
        case Qt::AccessibleDescriptionRole: return speaker::shownLabel(line.speaker);
        case SpeakerRole: return static_cast<int>(line.speaker);
        case TimeRole: return line.date;
        default: return {};
        }
    }
    case RowKind::suggestion: {
        const Suggestion& suggestion = m_history.at(at.index);
        switch (role) {
        case Qt::DisplayRole: return suggestion.response;
        case Qt::AccessibleDescriptionRole:
            return QLocale().toString(suggestion.timestamp.toLocalTime().time(), QLocale::ShortFormat);
        case TimeRole: return suggestion.timestamp;
        case ErrorRole: return suggestion.isError;
        default: return {};
        }
    }
    case RowKind::inProgress: {
        const InProgress& row = m_inProgress.at(at.index);
        switch (role) {
        case Qt::DisplayRole: return row.text;
        case Qt::AccessibleDescriptionRole: return speaker::shownLabel(row.speaker);
        case SpeakerRole: return static_cast<int>(row.speaker);
        default: return {};
        }
    }
    }
    return {};
}

TimelineModel::CardEdges TimelineModel::cardEdges(int row) const
{
    const bool shares = sharesCard(kind(row));
    CardEdges edges;
    if (!shares || row == 0 || !sharesCard(kind(row - 1))) {
        edges |= opensCard;
    }
    if (!shares || row + 1 >= rowCount() || !sharesCard(kind(row + 1))) {
        edges |= closesCard;
    }
    return edges;
}

TimelineModel::Located TimelineModel::locate(int row) const
{
    const int finished = finishedRows();
    if (row >= finished) {
        return { RowKind::inProgress, row - finished };
    }
    // The first entry that does not stand before the row.
    qsizetype low = 0;
    qsizetype high = m_placement.size();
    while (low < high) {
        const qsizetype middle = (low + high) / 2;
        if (m_placement.at(middle) + middle < row) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    if (low < m_placement.size() && m_placement.at(low) + low == row) {
        return { RowKind::suggestion, low };
    }
    return { RowKind::line, row - low };
}

int TimelineModel::lineRow(qsizetype line) const
{
    const auto before = std::upper_bound(m_placement.cbegin(), m_placement.cend(), line) - m_placement.cbegin();
    return static_cast<int>(line + before);
}

void TimelineModel::setLines(const QList<TranscriptLine>& lines)
{
    const qsizetype count = m_lines.size();
    // Ids are unique, so the last known line still in its place means nothing before it went.
    if (lines.size() >= count && (count == 0 || lines.at(count - 1).id == m_lines.at(count - 1).id)) {
        for (qsizetype i = count; i < lines.size(); ++i) {
            appendLine(lines.at(i));
        }
        return;
    }
    if (lines.isEmpty()) {
        resetLines(lines);
        return;
    }
    qsizetype kept = 0;
    for (qsizetype i = 0; i < m_lines.size();) {
        if (kept < lines.size() && m_lines.at(i).id == lines.at(kept).id) {
            ++i;
            ++kept;
        } else {
            removeLine(i);
        }
    }
    for (qsizetype i = kept; i < lines.size(); ++i) {
        appendLine(lines.at(i));
    }
}

void TimelineModel::appendLine(const TranscriptLine& line)
{
    const qsizetype count = m_lines.size();
    // Only entries after every line so far can come after the new one too: those made before it was said.
    qsizetype entry = m_placement.size();
    while (entry > 0 && m_placement.at(entry - 1) == count) {
        --entry;
    }
    while (entry < m_history.size() && m_history.at(entry).timestamp < line.date) {
        ++entry;
    }
    const int row = static_cast<int>(count + entry);
    beginInsertRows(QModelIndex(), row, row);
    m_lines.append(line);
    for (qsizetype i = entry; i < m_placement.size(); ++i) {
        m_placement[i] = count + 1;
    }
    endInsertRows();
    touchEdges(row - 1);
    touchEdges(row + 1);
}

void TimelineModel::removeLine(qsizetype line)
{
    const int row = lineRow(line);
    beginRemoveRows(QModelIndex(), row, row);
    m_lines.removeAt(line);
    for (qsizetype& placement : m_placement) {
        if (placement > line) {
            --placement;
        }
    }
    endRemoveRows();
    touchEdges(row - 1);
    touchEdges(row);
    // An entry that stopped at the line gone may now take the lines after it.
    replaceEntriesFrom(std::lower_bound(m_placement.cbegin(), m_placement.cend(), line) - m_placement.cbegin());
}

void TimelineModel::resetLines(const QList<TranscriptLine>& lines)
{
    beginResetModel();
    m_lines = lines;
    qsizetype placement = 0;
    for (qsizetype entry = 0; entry < m_history.size(); ++entry) {
        placement = placeFrom(placement, m_history.at(entry).timestamp);
        m_placement[entry] = placement;
    }
    endResetModel();
}

void TimelineModel::setHistory(const QList<Suggestion>& history)
{
    qsizetype first = 0;
    while (first < m_history.size() && first < history.size() && m_history.at(first) == history.at(first)) {
        ++first;
    }
    if (first == m_history.size() && first == history.size()) {
        return;
    }
    qsizetype same = first;
    while (same < m_history.size() && same < history.size() && m_history.at(same).id == history.at(same).id) {
        ++same;
    }
    removeEntriesFrom(same);

    // The entries that changed keep their rows, and move only when their new time places them elsewhere.
    qsizetype previousWas = first == 0 ? 0 : m_placement.at(first - 1);
    for (qsizetype entry = first; entry < m_history.size(); ++entry) {
        const Suggestion& updated = history.at(entry);
        const qsizetype after = entry == 0 ? 0 : m_placement.at(entry - 1);
        const qsizetype was = m_placement.at(entry);
        // The lines it followed were said before its old time; when neither it nor the entry before
        // went back, they still come before it.
        const bool onward = updated.timestamp >= m_history.at(entry).timestamp && after >= previousWas;
        previousWas = was;
        const qsizetype placement = placeFrom(onward ? std::max(after, was) : after, updated.timestamp);
        m_history[entry] = updated;
        if (!moveEntry(entry, placement)) {
            removeEntriesFrom(entry + 1);
            moveEntry(entry, placement);
        }
        const QModelIndex changed = index(suggestionRow(entry));
        Q_EMIT dataChanged(changed, changed, { Qt::DisplayRole, Qt::AccessibleDescriptionRole, TimeRole, ErrorRole });
    }
    for (qsizetype entry = m_history.size(); entry < history.size(); ++entry) {
        insertEntry(history.at(entry));
    }
}

qsizetype TimelineModel::placeFrom(qsizetype from, const QDateTime& time) const
{
    qsizetype placement = from;
    while (placement < m_lines.size() && m_lines.at(placement).date <= time) {
        ++placement;
    }
    return placement;
}

bool TimelineModel::moveEntry(qsizetype entry, qsizetype placement)
{
    const qsizetype was = m_placement.at(entry);
    if (placement == was) {
        return true;
    }
    if (entry + 1 < m_placement.size() && placement > m_placement.at(entry + 1)) {
        return false;
    }
    const int from = suggestionRow(entry);
    const int to = static_cast<int>(placement + entry);
    beginMoveRows(QModelIndex(), from, from, QModelIndex(), placement > was ? to + 1 : to);
    m_placement[entry] = placement;
    endMoveRows();
    for (const int row : { from - 1, from, from + 1, to - 1, to + 1 }) {
        touchEdges(row);
    }
    return true;
}

void TimelineModel::insertEntry(const Suggestion& suggestion)
{
    const qsizetype entry = m_history.size();
    const qsizetype placement = placeFrom(entry == 0 ? 0 : m_placement.constLast(), suggestion.timestamp);
    const int row = static_cast<int>(placement + entry);
    beginInsertRows(QModelIndex(), row, row);
    m_history.append(suggestion);
    m_placement.append(placement);
    endInsertRows();
    touchEdges(row - 1);
    touchEdges(row + 1);
}

void TimelineModel::removeEntriesFrom(qsizetype first)
{
    for (qsizetype entry = m_history.size() - 1; entry >= first; --entry) {
        const int row = suggestionRow(entry);
        beginRemoveRows(QModelIndex(), row, row);
        m_history.removeAt(entry);
        m_placement.removeAt(entry);
        endRemoveRows();
        touchEdges(row - 1);
        touchEdges(row);
    }
}

void TimelineModel::replaceEntriesFrom(qsizetype first)
{
    for (qsizetype entry = first; entry < m_history.size(); ++entry) {
        const qsizetype after = entry == 0 ? 0 : m_placement.at(entry - 1);
        const qsizetype placement = placeFrom(std::max(after, m_placement.at(entry)), m_history.at(entry).timestamp);
        if (!moveEntry(entry, placement)) {
            const QList<Suggestion> later = m_history.mid(entry + 1);
            removeEntriesFrom(entry + 1);
            moveEntry(entry, placement);
            for (const Suggestion& suggestion : later) {
                insertEntry(suggestion);
            }
            return;
        }
    }
}

void TimelineModel::setInProgress(const QHash<Speaker, QString>& texts)
{
    QList<InProgress> wanted;
    for (const Speaker speaker : { Speaker::me, Speaker::them }) {
        const auto it = texts.constFind(speaker);
        if (it != texts.cend()) {
            wanted.append(InProgress { speaker, *it });
        }
    }
    const int base = finishedRows();
    const auto isWanted = [&wanted](Speaker speaker) {
        return std::any_of(
            wanted.cbegin(), wanted.cend(), [speaker](const InProgress& row) { return row.speaker == speaker; });
    };
    for (qsizetype i = m_inProgress.size() - 1; i >= 0; --i) {
        if (!isWanted(m_inProgress.at(i).speaker)) {
            const int row = static_cast<int>(base + i);
            beginRemoveRows(QModelIndex(), row, row);
            m_inProgress.removeAt(i);
            endRemoveRows();
            touchEdges(row - 1);
            touchEdges(row);
        }
    }
    for (qsizetype i = 0; i < wanted.size(); ++i) {
        const int row = static_cast<int>(base + i);
        if (i < m_inProgress.size() && m_inProgress.at(i).speaker == wanted.at(i).speaker) {
            if (m_inProgress.at(i).text != wanted.at(i).text) {
                m_inProgress[i].text = wanted.at(i).text;
                Q_EMIT dataChanged(index(row), index(row), { Qt::DisplayRole });
            }
        } else {
            beginInsertRows(QModelIndex(), row, row);
            m_inProgress.insert(i, wanted.at(i));
            endInsertRows();
            touchEdges(row - 1);
            touchEdges(row + 1);
        }
    }
}

void TimelineModel::touchEdges(int row)
{
    if (row >= 0 && row < rowCount()) {
        Q_EMIT dataChanged(index(row), index(row), { CardEdgesRole });
    }
}
