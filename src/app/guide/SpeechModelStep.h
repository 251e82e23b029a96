#pragma once

#include "app/guide/StepRow.h"

#include <QCoroTask>
#include <QPointer>

class QNetworkAccessManager;
class Settings;
class WhisperModelDownload;

// "Speech model": installed when a Whisper model is. "Download" fetches the model list and downloads
// its recommended model, showing the percentage; once it is checked and installed, transcription uses
// it on the Whisper engine. Closing the guide stops the transfer and keeps what arrived.
class SpeechModelStep : public StepRow {
    Q_OBJECT

public:
    SpeechModelStep(Settings& settings, QWidget* parent);

    void refresh();
    void reset();

private:
    void allow();
    QCoro::Task<> download();

    QPointer<Settings> m_settings;
    QNetworkAccessManager* m_network = nullptr;
    WhisperModelDownload* m_download = nullptr;
    quint64 m_run = 0; // counts resets, so that a list that arrives after one is dropped
};
