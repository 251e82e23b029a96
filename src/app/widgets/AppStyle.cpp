#include "app/widgets/AppStyle.h"

#include <QPalette>
#include <QWidget>

namespace appStyle {

QColor red()
{
    return QColor(224, 49, 49);
}

QColor blue()
{
    return QColor(28, 110, 232);
}

QColor green()
{
    return QColor(36, 160, 72);
}

QColor textColor(const QWidget& widget, double opacity)
{
    QColor color = widget.palette().color(QPalette::WindowText);
    color.setAlphaF(static_cast<float>(opacity));
    return color;
}

QFont font(const QWidget& widget, int pixels, QFont::Weight weight)
{
    QFont result = widget.font();
    result.setPixelSize(pixels);
    result.setWeight(weight);
    return result;
}

void setTextColor(QWidget& widget, const QColor& color)
{
    QPalette palette = widget.palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    palette.setColor(QPalette::ButtonText, color);
    widget.setPalette(palette);
}

} // namespace appStyle
