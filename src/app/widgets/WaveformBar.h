#pragma once

#include <QColor>
#include <QWidget>

class QVariantAnimation;

// A level bar: a rounded track in the source's colour at low opacity, filled from the leading edge
// to the level's fraction of the width. A new level is reached with a short ease-out.
class WaveformBar : public QWidget {
    Q_OBJECT

public:
    static constexpr int easeMs = 100;

    // `cornerRadius` rounds both the track and the filled part.
    WaveformBar(QColor color, QWidget* parent, qreal cornerRadius = 2);

    // `level` is clamped to 0...1.
    void setLevel(float level);
    // The level last set (the animation's end).
    float level() const { return m_target; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_color;
    qreal m_cornerRadius;
    float m_target = 0;
    double m_shown = 0;
    QVariantAnimation* m_animation;
};
