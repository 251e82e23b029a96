#include "app/callwindow/CardLayoutItem.h"

CardLayoutItem::CardLayoutItem(QWidget* card)
    : QWidgetItemV2(card)
{
}

int CardLayoutItem::minimumHeightForWidth(int width) const
{
    return heightForWidth(width);
}
