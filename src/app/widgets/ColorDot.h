#pragma once

#include <QColor>
#include <QWidget>

// A filled circle of a fixed size: the listening state in the header, a source's colour by its meter.
class ColorDot : public QWidget {
    Q_OBJECT

public:
    ColorDot(QColor color, int side, QWidget* parent);

    void setColor(const QColor& color);
    QColor color() const { return m_color; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_color;
};
