#include "app/widgets/PaintedIconEngine.h"

#include <QPainter>
#include <QPixmap>

PaintedIconEngine::PaintedIconEngine(Glyph glyph, QColor color)
    : m_glyph(std::move(glyph))
    , m_color(color)
{
}

void PaintedIconEngine::paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State)
{
    QColor color = m_color;
    if (mode == QIcon::Disabled) {
        color.setAlphaF(color.alphaF() * 0.4F);
    }
    const double side = std::min(rect.width(), rect.height());
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->translate(rect.x() + (rect.width() - side) / 2.0, rect.y() + (rect.height() - side) / 2.0);
    painter->scale(side / 16.0, side / 16.0);
    m_glyph(*painter, color);
    painter->restore();
}

QPixmap PaintedIconEngine::pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state)
{
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    paint(&painter, QRect(QPoint(), size), mode, state);
    return pixmap;
}

QIconEngine* PaintedIconEngine::clone() const
{
    return new PaintedIconEngine(m_glyph, m_color);
}

QString PaintedIconEngine::key() const
{
    return QStringLiteral("PaintedIconEngine");
}
