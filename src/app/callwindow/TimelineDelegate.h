#pragma once

#include "app/callwindow/TimelineModel.h"

#include <QAbstractItemDelegate>

class QTextLayout;

// Paints the timeline's rows as cards: a run of lines (and in-progress rows) shares one rounded card,
// each line with the speaker's label ("You" in red, "Them" in blue, 38 wide) and its text, in the
// secondary colour while still in progress; a suggestion is a card of its own with its time, a sparkle
// (a warning in red for an error) and the reply. Text is laid out as a word-wrapped label lays it out,
// so a row measures and looks as the card widgets before it did.
class TimelineDelegate : public QAbstractItemDelegate {
    Q_OBJECT

public:
    static constexpr int cardPadding = 12;
    static constexpr int rowSpacing = 6; // between the rows of one card
    static constexpr int cardSpacing = 10; // between cards
    static constexpr int speakerWidth = 38;
    static constexpr int speakerGap = 4;
    static constexpr int iconSide = 12;

    explicit TimelineDelegate(QObject* parent);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // The height of a row's content (without the card around it) at the row's full width; the view
    // keeps it, as it changes only with the text and the width.
    int contentHeight(const QStyleOptionViewItem& option, const QModelIndex& index) const;
    // The space the card takes above and below a row's content, and between cards.
    static int paddingAbove(TimelineModel::CardEdges edges, int row);
    static int paddingBelow(TimelineModel::CardEdges edges);
    // Where the row's selectable text lies within `rowRect`, at `contentHeight`.
    QRect textRect(const QStyleOptionViewItem& option, const QModelIndex& index, int contentHeight) const;
    // Paints the row, leaving out its selectable text when another widget shows it.
    void paintRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index, bool withText) const;

    QFont textFont(const QWidget& view) const;
    QColor textColor(const QWidget& view, const QModelIndex& index) const;

private:
    QRect contentRect(const QStyleOptionViewItem& option, const QModelIndex& index) const;
    int speakerDrop(const QWidget& view) const;
    int captionHeight(const QWidget& view) const;
};
