#pragma once

#include "audio/AudioCaptureService.h"
#include "transcription/SpeechEngine.h"
#include "transcription/Transcript.h"

#include <QCoroTask>
#include <QObject>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class Clock;
class Settings;

// Stored as "apple", "whisper" and "openai" under "transcriptionEngine".
enum class TranscriptionEngine { onDevice, whisper, openAI };

// The live-transcription coordinator: owns the audio capture, starts and stops listening, makes
// one channel per speaker (`me` from the microphone, `them` from the system audio) with the engine
// chosen in the settings, and turns the engines' reports into the transcript. Lives on the main
// thread; failures end up in `status`, never in an exception.
class TranscriptionService : public QObject {
    Q_OBJECT

public:
    struct Options {
        // The engine, locale and service address, read at each start; without settings nothing
        // starts.
        Settings* settings = nullptr;
        // The OpenAI key for the cloud engine, read without holding up the main thread.
        std::function<QCoro::Task<std::optional<QString>>(const QString& account)> readKey;
        // The time of the lines and of the cloud engine's turn rules (the system clock when null);
        // it outlives the service.
        Clock* clock = nullptr;
    };

    explicit TranscriptionService(QObject* parent = nullptr);
    TranscriptionService(QObject* parent, Options options);
    ~TranscriptionService() override;

    Transcript& transcript() { return *m_transcript; }
    const QList<TranscriptLine>& lines() const { return m_transcript->lines(); }
    AudioCaptureService& audio() { return *m_audio; }
    bool isRunning() const { return m_running; }
    const std::optional<QString>& status() const { return m_status; }

    // "openai" selects the cloud engine, "whisper" the Whisper engine; anything else (or nothing)
    // the PocketSphinx one.
    static TranscriptionEngine engineFromText(const std::optional<QString>& text);

    // Never fails to its caller: a failed start leaves the service idle with the message in
    // `status`. A start while running, or while another start is in progress, does nothing.
    QCoro::Task<> start();
    // Ends capture, then finishes each channel in turn (`me` first); `isRunning` falls after the
    // last one. Safe to call when idle.
    QCoro::Task<> stop();

    static QString missingKeyMessage();

Q_SIGNALS:
    void runningChanged(bool running);
    void statusChanged();
    void stopFinished();

private:
    // One speaker's engine while listening.
    struct Channel {
        Speaker speaker = Speaker::me;
        std::unique_ptr<SpeechEngine> engine;
    };

    QCoro::Task<Result<void>> startSteps();
    // Engine reports reach the transcript and `status` on this thread, in order; none arrive
    // once the service is gone.
    void connectReports(const Channel& channel);
    // A capture ended by itself: its message joins the status, and listening stops once neither
    // capture runs.
    void captureEnded(const QString& message);
    void setStatus(std::optional<QString> status);
    void setRunning(bool running);

    const Options m_options;
    Transcript* m_transcript;
    AudioCaptureService* m_audio;
    std::vector<Channel> m_channels;
    bool m_running = false;
    bool m_starting = false;
    bool m_stopping = false;
    std::optional<QString> m_status;
};
