#pragma once

#include <QLayoutItem>

// How the column's layout holds a card. Qt asks every item of a layout for its minimum height at a
// width on each pass, and for a plain widget item that walks down through the card's rows to every
// label's text layout, uncached: with a long call each new line would lay out the whole transcript
// again. A card is never shorter than its text, so its minimum is its height for that width, which
// the item keeps until the card changes.
class CardLayoutItem : public QWidgetItemV2 {
public:
    explicit CardLayoutItem(QWidget* card);

    int minimumHeightForWidth(int width) const override;
};
