#pragma once

#include "app/guide/StepRow.h"

#include <QPointer>

class Settings;

// "Speech model": installed when a model for the locale transcription would use is there. Its line says
// which model is used, or how to add one; "Check again" looks again.
class SpeechModelStep : public StepRow {
    Q_OBJECT

public:
    SpeechModelStep(Settings& settings, QWidget* parent);

    void refresh();
    void reset();

private:
    QPointer<Settings> m_settings;
};
