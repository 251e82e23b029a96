#pragma once

#include "records/Suggestion.h"
#include "transcription/Transcript.h"

#include <QAbstractListModel>
#include <QHash>
#include <QList>
#include <QString>

// The call window's timeline as a list: the finished lines, each suggestion placed after the lines said
// up to its time (a line said at the very moment counts as before it), then the speakers' in-progress
// text, the user's first. It follows the transcript and the suggestions change by change, so a new line
// is one inserted row, a streamed reply one changed row, whatever the length of the call.
//
// Consecutive line and in-progress rows share one card; every other kind of row is a card of its own.
// A new kind of card is a new RowKind with its data in `data()`, its place in `rowCount()` and `locate()`,
// and its painting in TimelineDelegate.
class TimelineModel : public QAbstractListModel {
    Q_OBJECT

public:
    enum class RowKind { line, suggestion, inProgress };

    enum Role {
        KindRole = Qt::UserRole + 1, // RowKind as int
        SpeakerRole, // Speaker as int, for line and in-progress rows
        TimeRole, // QDateTime: when a line was said, or a suggestion's latest update
        ErrorRole, // bool: a suggestion that is an error message
        CardEdgesRole, // CardEdges as int: where the row's card begins and ends
    };

    enum CardEdge { opensCard = 0x1, closesCard = 0x2 };
    Q_DECLARE_FLAGS(CardEdges, CardEdge)

    explicit TimelineModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // The transcript's finished lines. Lines added at the end become new rows; lines gone (an echo the
    // transcript dropped) leave theirs; an empty list empties the lines at once.
    void setLines(const QList<TranscriptLine>& lines);
    // The suggestion service's history; an entry keeps its row while it streams.
    void setHistory(const QList<Suggestion>& history);
    // Each speaker's text still in progress.
    void setInProgress(const QHash<Speaker, QString>& texts);

    RowKind kind(int row) const { return locate(row).kind; }
    CardEdges cardEdges(int row) const;

private:
    struct Located {
        RowKind kind;
        qsizetype index; // into m_lines, m_history or m_inProgress
    };
    struct InProgress {
        Speaker speaker;
        QString text;
    };

    Located locate(int row) const;
    int lineRow(qsizetype line) const;
    int suggestionRow(qsizetype entry) const { return static_cast<int>(m_placement.at(entry) + entry); }
    int finishedRows() const { return static_cast<int>(m_lines.size() + m_history.size()); }
    static bool sharesCard(RowKind kind) { return kind != RowKind::suggestion; }

    void appendLine(const TranscriptLine& line);
    void removeLine(qsizetype line);
    void resetLines(const QList<TranscriptLine>& lines);
    // The number of lines from `from` on that were said at or before `time`, added to `from`.
    qsizetype placeFrom(qsizetype from, const QDateTime& time) const;
    // Moves entry `entry` to follow the first `placement` lines; false when that would pass a later entry.
    bool moveEntry(qsizetype entry, qsizetype placement);
    void insertEntry(const Suggestion& suggestion);
    void removeEntriesFrom(qsizetype entry);
    // Places the entries from `first` on again after their lines changed; their times stayed.
    void replaceEntriesFrom(qsizetype first);
    void touchEdges(int row);

    QList<TranscriptLine> m_lines;
    QList<Suggestion> m_history;
    // For each history entry, how many lines come before it; never decreasing.
    QList<qsizetype> m_placement;
    QList<InProgress> m_inProgress; // the user's first
};

Q_DECLARE_OPERATORS_FOR_FLAGS(TimelineModel::CardEdges)
