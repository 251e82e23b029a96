#pragma once

#include <QColor>
#include <QIconEngine>

#include <functional>

// An icon drawn with QPainter at whatever size it is asked for, in one colour: the app's
// stand-in for icons the desktop's theme does not have, so a machine without a theme shows them too.
class PaintedIconEngine : public QIconEngine {
public:
    // Draws the glyph in a 16 x 16 box in the given colour.
    using Glyph = std::function<void(QPainter&, const QColor&)>;

    PaintedIconEngine(Glyph glyph, QColor color);

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override;
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override;
    QIconEngine* clone() const override;
    QString key() const override;

private:
    Glyph m_glyph;
    QColor m_color;
};
