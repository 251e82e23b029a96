#pragma once

#include "app/widgets/Card.h"

#include <QPointer>

class AudioCaptureService;
class QCheckBox;
class Settings;
class WaveformBar;

// The level meter card: a bar each for the microphone ("Mic") and the system audio ("Sys"), and the
// "Auto-scroll" switch bound to its setting.
class WaveformView : public Card {
    Q_OBJECT

public:
    WaveformView(AudioCaptureService* audio, Settings* settings, QWidget* parent);

    WaveformBar* micBar() const { return m_mic; }
    WaveformBar* systemBar() const { return m_system; }

private:
    QWidget* sourceRow(const QString& caption, const QColor& color, WaveformBar* bar);

    QPointer<Settings> m_settings;
    WaveformBar* m_mic;
    WaveformBar* m_system;
    QCheckBox* m_autoScroll;
};
