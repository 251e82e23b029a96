#pragma once

#include "audio/AudioBuffer.h"
#include "common/Error.h"

#include <QString>

#include <atomic>
#include <functional>

struct pa_threaded_mainloop;
struct pa_context;
struct pa_stream;

// One PulseAudio record stream on a capture thread of its own (a threaded main loop).
// The handler runs on that thread with buffers PulseAudio owns, as the sound server hands them
// over; it must only copy and hand over.
class PulseCapture {
public:
    enum class Source {
        defaultInput, // the default source, in its own channel layout
        defaultOutputMonitor, // the monitor of the default sink, mixed to mono
    };
    using BufferHandler = std::function<void(const AudioBufferView&)>;
    // Called once, on the capture thread, when a running stream ends by itself (device removed,
    // server gone), with PulseAudio's error text.
    using EndHandler = std::function<void(const QString& pulseError)>;

    // The stream asks for fragments of `fragmentFrames` frames, or of 20 ms when 0.
    PulseCapture(Source source, qsizetype fragmentFrames, const char* threadName);
    ~PulseCapture();
    PulseCapture(const PulseCapture&) = delete;
    PulseCapture& operator=(const PulseCapture&) = delete;

    // Connects and opens the stream, still paused; `format()` and `fragmentFrames()` are known
    // afterwards. On failure everything made so far is released.
    Result<void> open();
    // Starts the opened stream. On failure everything is released.
    Result<void> start(BufferHandler handler, EndHandler ended);
    // Ends the stream and the capture thread; safe to call at any time and more than once.
    void stop();

    // The failure text of `open()` when the server has no source to record from.
    static QString noInputText();

    bool isRunning() const { return m_loop != nullptr; }
    const AudioFormat& format() const { return m_format; }
    qsizetype fragmentFrames() const { return m_fragmentFrames; }

    // Processor time the handlers of every capture took on the sound server's threads, counted
    // only while switched on: the benchmark's measure of what a handler costs that thread.
    static void countHandlerTime(bool on);
    static qint64 handlerTimeNs();

private:
    static void contextStateChanged(pa_context* context, void* self);
    static void streamStateChanged(pa_stream* stream, void* self);
    static void streamReadable(pa_stream* stream, size_t bytes, void* self);

    Result<void> connectContext();
    Result<void> resolveSource(QString& sourceName);
    Result<void> openStream(const QString& sourceName);
    Result<void> uncork();
    // What failed, for its message.
    enum class Step { reachServer, openMicrophone, openMonitor, startMicrophone, startSystemAudio, findOutput };
    static QString failureText(Step step, const QString& pulseError);
    QString contextError() const;
    QString failure(Step step) const;

    const Source m_source;
    const qsizetype m_requestedFragmentFrames;
    const char* const m_threadName;
    pa_threaded_mainloop* m_loop = nullptr;
    pa_context* m_context = nullptr;
    pa_stream* m_stream = nullptr;
    AudioFormat m_format;
    qsizetype m_fragmentFrames = 0;
    BufferHandler m_handler;
    EndHandler m_ended;
    std::atomic<bool> m_started { false };
    bool m_endReported = false; // capture thread only
};
