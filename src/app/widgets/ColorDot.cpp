#include "app/widgets/ColorDot.h"

#include <QPainter>

ColorDot::ColorDot(QColor color, int side, QWidget* parent)
    : QWidget(parent)
    , m_color(color)
{
    setFixedSize(side, side);
}

void ColorDot::setColor(const QColor& color)
{
    if (color != m_color) {
        m_color = color;
        update();
    }
}

void ColorDot::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(m_color);
    painter.drawEllipse(QRectF(rect()));
}
