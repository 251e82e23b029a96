#pragma once

#include "app/callwindow/CallTimeline.h"
#include "app/widgets/Card.h"

#include <QList>
#include <QUuid>

class LineRow;

// The card of one run of finished lines, and possibly the speakers' in-progress rows after them (a
// card with only in-progress rows stands after a suggestion). It grows in place: new lines at the end
// add rows and the rows already shown stay as they are.
class LinesCard : public Card {
    Q_OBJECT

public:
    explicit LinesCard(QWidget* parent);

    void setLines(const QList<TranscriptLine>& lines);
    void setInProgress(const QList<LineView>& rows);

    qsizetype lineCount() const { return m_lineRows.size(); }
    qsizetype inProgressCount() const { return m_inProgressRows.size(); }

private:
    QList<QUuid> m_ids;
    QList<LineRow*> m_lineRows;
    QList<LineRow*> m_inProgressRows;
};
