#pragma once

#include "app/callwindow/CallTimeline.h"

#include <QWidget>

class QLabel;

// One transcript row in a card: the speaker's label ("You" in red, "Them" in blue, 38 wide) and the
// text, selectable, in the secondary colour while it is still in progress.
class LineRow : public QWidget {
    Q_OBJECT

public:
    LineRow(const LineView& line, QWidget* parent);

    void setLine(const LineView& line);
    const LineView& line() const { return m_line; }

private:
    enum class Refresh { all, changes };
    void apply(const LineView& line, Refresh refresh);

    LineView m_line;
    QLabel* m_speaker;
    QLabel* m_text;
};
