#pragma once

#include "audio/BufferConverter.h"
#include "audio/WorkerThread.h"
#include "transcription/SpeechEngine.h"

#include <QStringList>
#include <QUrl>

#include <chrono>

class Clock;
class RealtimeWorker;

// Streams one speaker's audio to the OpenAI Realtime transcription service. Turn detection runs
// on the client: a turn opens at the first voiced frame (with the 0.3 s before it), ends 0.7 s
// after the last voiced frame or at 15 s, and is committed when it held at least 0.4 s of voice,
// cleared otherwise. All turn state lives on one worker thread ("Quillora.OpenAITranscriber").
class OpenAITranscriber : public SpeechEngine {
    Q_OBJECT

public:
    static constexpr double silenceToCommitSeconds = 0.7;
    static constexpr double maxTurnSeconds = 15.0;
    static constexpr double minVoiceSeconds = 0.4;
    static constexpr qsizetype prerollBytes = 14400;
    static constexpr qsizetype chunkBytes = 4800;
    static constexpr double wireSampleRate = 24000;
    // The longest finish() waits for the final texts of committed turns.
    static constexpr std::chrono::milliseconds finishWait { 3000 };
    static constexpr std::chrono::milliseconds openTimeout { 60000 };
    // Audio waiting for the worker beyond this is dropped (and logged) rather than piling up.
    static constexpr qint64 maxQueuedBytes = 10 * 48000;

    // `clock` (the system clock when null) times the turns and the waits; it outlives this.
    OpenAITranscriber(const QString& apiKey, const QStringList& languages, float speechLevel, const QUrl& endpoint,
        Clock* clock = nullptr, QObject* parent = nullptr);
    ~OpenAITranscriber() override;

    // The Realtime endpoint for a base address: wss:// (ws:// for http://) + host + any base path
    // + /v1/realtime?intent=transcription.
    static QUrl endpointFor(const QString& baseUrl);
    static AudioFormat wireFormat() { return AudioFormat { wireSampleRate, 1, SampleType::int16 }; }
    // True when the text holds a letter at or above U+0250 (past Latin Extended-B).
    static bool hasForeignScript(const QString& text);

    // Opens the connection and sends the session configuration; completes at once, since a
    // refused connection shows through `errorReported`.
    QCoro::Task<Result<void>> start() override;
    // Converts, measures and hands the audio to the worker.
    void feed(const AudioBufferView& buffer) override;
    // Ends the open turn, waits up to `finishWait` for outstanding final texts, then closes the
    // connection.
    QCoro::Task<> finish() override;
    // Returns once the worker has run everything handed to it so far.
    void drain() { m_thread.drain(); }

Q_SIGNALS:
    // The worker closed the connection; relayed to this object's thread.
    void finished();

private:
    BufferConverter m_converter; // capture thread only
    WorkerThread m_thread;
    RealtimeWorker* m_worker = nullptr; // lives on m_thread
};
