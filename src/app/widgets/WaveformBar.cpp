#include "app/widgets/WaveformBar.h"

#include <QPainter>
#include <QVariantAnimation>

#include <algorithm>

WaveformBar::WaveformBar(QColor color, QWidget* parent, qreal cornerRadius)
    : QWidget(parent)
    , m_color(color)
    , m_cornerRadius(cornerRadius)
    , m_animation(new QVariantAnimation(this))
{
    m_animation->setDuration(easeMs);
    m_animation->setEasingCurve(QEasingCurve::OutCubic);
    connect(m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_shown = value.toDouble();
        update();
    });
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void WaveformBar::setLevel(float level)
{
    const float clamped = std::clamp(level, 0.0F, 1.0F);
    if (clamped == m_target) {
        return;
    }
    m_target = clamped;
    m_animation->stop();
    m_animation->setStartValue(m_shown);
    m_animation->setEndValue(static_cast<double>(clamped));
    m_animation->start();
}

QSize WaveformBar::sizeHint() const
{
    return QSize(120, 6);
}

void WaveformBar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    QColor track = m_color;
    track.setAlphaF(0.2F);
    const QRectF area(rect());
    painter.setBrush(track);
    painter.drawRoundedRect(area, m_cornerRadius, m_cornerRadius);
    if (m_shown > 0) {
        QRectF filled = area;
        filled.setWidth(area.width() * m_shown);
        if (layoutDirection() == Qt::RightToLeft) {
            filled.moveRight(area.right());
        }
        painter.setBrush(m_color);
        painter.drawRoundedRect(filled, m_cornerRadius, m_cornerRadius);
    }
}
