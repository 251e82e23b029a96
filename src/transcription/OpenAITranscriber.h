#pragma once

#include "audio/AudioBuffer.h"
#include "audio/BufferConverter.h"

#include <QStringList>
#include <QThread>
#include <QUrl>

#include <atomic>
#include <functional>

class RealtimeWorker;

// Streams one speaker's audio to the OpenAI Realtime transcription service. Turn detection runs
// on the client: a turn opens at the first voiced frame (with the 0.3 s before it), ends 0.7 s
// after the last voiced frame or at 15 s, and is committed when it held at least 0.4 s of voice,
// cleared otherwise. All turn state lives on one worker thread ("Quillora.OpenAITranscriber");
// the callbacks are called there and the owner hops to its own thread.
class OpenAITranscriber {
public:
    using TextCallback = std::function<void(const QString& text, bool isFinal)>;
    using ErrorCallback = std::function<void(const QString& message)>;
    // Wall-clock seconds; tests inject their own to drive the turn rules without waiting.
    using Clock = std::function<double()>;

    static constexpr double silenceToCommitSeconds = 0.7;
    static constexpr double maxTurnSeconds = 15.0;
    static constexpr double minVoiceSeconds = 0.4;
    static constexpr qsizetype prerollBytes = 14400;
    static constexpr qsizetype chunkBytes = 4800;
    static constexpr double wireSampleRate = 24000;
    static constexpr int finishPolls = 30;
    static constexpr int finishPollMs = 100;
    static constexpr int openTimeoutMs = 60000;
    // Audio waiting for the worker beyond this is dropped (and logged) rather than piling up.
    static constexpr qint64 maxQueuedBytes = 10 * 48000;

    // Opens the connection and sends the session configuration at once; never fails (a refused
    // connection shows through `onError`).
    OpenAITranscriber(const QString& apiKey, const QStringList& languages, TextCallback onText, ErrorCallback onError,
        float speechLevel, const QUrl& endpoint, Clock clock = {});
    ~OpenAITranscriber();
    OpenAITranscriber(const OpenAITranscriber&) = delete;
    OpenAITranscriber& operator=(const OpenAITranscriber&) = delete;

    // The Realtime endpoint for a base address: wss:// (ws:// for http://) + host + any base path
    // + /v1/realtime?intent=transcription.
    static QUrl endpointFor(const QString& baseUrl);
    static AudioFormat wireFormat() { return AudioFormat { wireSampleRate, 1, SampleType::int16 }; }
    // True when the text holds a letter at or above U+0250 (past Latin Extended-B).
    static bool hasForeignScript(const QString& text);

    // Called on one capture thread: converts, measures and hands the audio to the worker.
    void append(const AudioBufferView& buffer);

    // Ends the open turn, waits up to 3 s for outstanding final texts, then closes the
    // connection; `done` is called on the worker thread afterwards. Call once.
    void finish(std::function<void()> done);

    // Returns once the worker has run everything posted to it so far.
    void drain();

private:
    QThread m_thread;
    RealtimeWorker* m_worker = nullptr; // lives on m_thread, deleted when it ends
    BufferConverter m_converter; // capture thread only
    std::atomic<qint64> m_queuedBytes { 0 };
    std::atomic<qint64> m_droppedBuffers { 0 };
};
