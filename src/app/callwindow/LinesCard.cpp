#include "app/callwindow/LinesCard.h"

#include "app/callwindow/LineRow.h"

#include <QVBoxLayout>

namespace {

LineView finished(const TranscriptLine& line)
{
    return LineView { line.speaker, line.text, true };
}

} // namespace

LinesCard::LinesCard(QWidget* parent)
    : Card(parent, 6)
{
}

void LinesCard::setLines(const QList<TranscriptLine>& lines)
{
    // Finished lines never change, so the ids tell what is new. Only when an earlier line went away
    // (an echo removed) are the rows made again.
    qsizetype kept = 0;
    while (kept < m_ids.size() && kept < lines.size() && m_ids.at(kept) == lines.at(kept).id) {
        ++kept;
    }
    if (kept < m_ids.size()) {
        for (qsizetype i = kept; i < m_lineRows.size(); ++i) {
            delete m_lineRows.at(i);
        }
        m_lineRows.resize(kept);
        m_ids.resize(kept);
    }
    for (qsizetype i = kept; i < lines.size(); ++i) {
        auto* row = new LineRow(finished(lines.at(i)), this);
        rows()->insertWidget(static_cast<int>(m_lineRows.size()), row);
        row->show(); // now, so that the next layout pass includes it
        m_lineRows.append(row);
        m_ids.append(lines.at(i).id);
    }
}

void LinesCard::setInProgress(const QList<LineView>& views)
{
    while (m_inProgressRows.size() > views.size()) {
        delete m_inProgressRows.takeLast();
    }
    for (qsizetype i = 0; i < views.size(); ++i) {
        if (i < m_inProgressRows.size()) {
            m_inProgressRows.at(i)->setLine(views.at(i));
        } else {
            auto* row = new LineRow(views.at(i), this);
            rows()->addWidget(row);
            row->show();
            m_inProgressRows.append(row);
        }
    }
}
