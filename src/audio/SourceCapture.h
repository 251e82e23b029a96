#pragma once

#include "audio/AudioBuffer.h"
#include "audio/PulseCapture.h"
#include "audio/SampleRing.h"
#include "audio/WorkerThread.h"
#include "common/Error.h"

#include <QObject>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

// One source on its way from the sound server to its consumer. The stream's read callback only
// copies the samples into a ring sized for a few seconds; the source's audio thread empties the
// ring on a timer of its own. That thread cuts the audio into buffers,
// measures each buffer's level for the meter and hands the buffer to the callback, so conversion
// and whatever else the consumer does never hold up the sound server's thread. Audio that finds
// the ring full is dropped and logged.
class SourceCapture {
public:
    using BufferCallback = std::function<void(const AudioBufferView&)>;
    // Called on the context object's thread with the newest level.
    using LevelCallback = std::function<void(float level)>;

    struct Kind {
        PulseCapture::Source source;
        qsizetype bufferFrames; // frames per buffer handed on, 0 for 20 ms
        const char* serverThreadName;
        const char* audioThreadName;
    };

    static constexpr double ringSeconds = 4.0;
    // How often the audio thread empties the ring: about one microphone buffer (4096 frames at
    // 48 kHz), so the system audio waits about as long as the microphone's audio always did.
    static constexpr int readIntervalMs = 80;

    // `callback` is called on the audio thread; `showLevel` on `context`'s thread, where levels
    // that pile up while one is on its way collapse into the newest.
    SourceCapture(const Kind& kind, BufferCallback callback, QObject* context, LevelCallback showLevel);
    ~SourceCapture();
    SourceCapture(const SourceCapture&) = delete;
    SourceCapture& operator=(const SourceCapture&) = delete;

    // Opens and starts the stream; `ended` as for PulseCapture::start.
    Result<void> start(PulseCapture::EndHandler ended);
    // Ends the stream, hands the audio still in the ring to the callback, then ends the audio
    // thread. Nothing is called afterwards; safe to repeat.
    void stop();

    bool isRunning() const { return m_stream.isRunning(); }
    const AudioFormat& format() const { return m_format; }

private:
    struct LevelMailbox {
        std::atomic<float> level { 0 };
        std::atomic<bool> posted { false };
    };

    void push(const AudioBufferView& buffer); // sound server's thread
    void readAvailable(); // audio thread
    void showLevel(float level); // audio thread

    const Kind m_kind;
    const BufferCallback m_callback;
    QObject* const m_context;
    const LevelCallback m_showLevel;
    PulseCapture m_stream;
    AudioFormat m_format;
    std::unique_ptr<SampleRing> m_ring;
    std::unique_ptr<WorkerThread> m_thread;
    std::shared_ptr<LevelMailbox> m_level;
    std::atomic<qint64> m_droppedChunks { 0 };
    qint64 m_droppedLogged = 0; // audio thread only
    std::vector<float> m_buffer; // audio thread only
};
