#pragma once

#include <QColor>
#include <QWidget>

class QLabel;
class WaveformBar;

// One level display of the audio test: the title and the level as a percentage above a 24 px track
// in the bar's colour, filled from the leading edge to the level's fraction of its width.
class AudioLevelBar : public QWidget {
    Q_OBJECT

public:
    static constexpr int trackHeight = 24;

    AudioLevelBar(const QString& title, const QColor& color, QWidget* parent);

    void setLevel(float level);
    float level() const;

    // The integer part of `level` × 100 and "%"; the product is taken in single precision, as the
    // level is, so that 0.29 shows 29 and not 28.
    static QString percentText(float level);

private:
    QLabel* m_percent;
    WaveformBar* m_track;
};
