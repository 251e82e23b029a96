#pragma once

#include "audio/AudioBuffer.h"
#include "audio/SourceCapture.h"
#include "common/Error.h"

#include <QObject>

#include <array>
#include <functional>
#include <memory>

// Captures the microphone (the default source) and the system audio (the monitor of the default
// output, mixed to mono) as 32-bit float buffers. The sound server's threads only copy the audio
// aside; each source then has an audio thread of its own that measures the display level and
// hands every buffer to the callback that was in force when its capture started. The levels
// follow on the main thread. Lives on the main thread.
class AudioCaptureService : public QObject {
    Q_OBJECT

public:
    // Called on the source's audio thread with a buffer that is valid only during the call.
    using BufferCallback = std::function<void(const AudioBufferView&)>;

    static constexpr qsizetype microphoneBufferFrames = 4096;

    explicit AudioCaptureService(QObject* parent = nullptr);
    ~AudioCaptureService() override;

    void setOnMicBuffer(BufferCallback callback) { m_onMicBuffer = std::move(callback); }
    void setOnSystemBuffer(BufferCallback callback) { m_onSystemBuffer = std::move(callback); }

    Result<void> startMicrophone();
    Result<void> startSystemAudio();
    // Ends both captures, handing on the audio already captured, and sets both levels to 0;
    // nothing runs afterwards.
    void stop();

    bool isMicrophoneRunning() const;
    bool isSystemAudioRunning() const;
    float micLevel() const { return m_micLevel; }
    float systemLevel() const { return m_systemLevel; }

    // Display level of one buffer in [0, 1]: -60 dBFS and below is 0, 0 dBFS is 1, linear in
    // decibels in between, from the larger of the RMS and half the peak of the first channel.
    static float level(const AudioBufferView& buffer);

Q_SIGNALS:
    void micLevelChanged(float level);
    void systemLevelChanged(float level);
    // A running capture ended by itself (device removed, sound server gone); it has been released
    // and no longer counts as running. Each capture that ends says so once.
    void captureFailed(const QString& message);

private:
    enum class Source { microphone, systemAudio };

    Result<std::unique_ptr<SourceCapture>> startSource(const SourceCapture::Kind& kind, const BufferCallback& callback,
        void (AudioCaptureService::*setLevel)(float), Source which);
    void captureEnded(Source which, quint64 generation, const QString& error);
    void setMicLevel(float level);
    void setSystemLevel(float level);

    BufferCallback m_onMicBuffer;
    BufferCallback m_onSystemBuffer;
    std::unique_ptr<SourceCapture> m_microphone;
    std::unique_ptr<SourceCapture> m_systemTap;
    // Counts the starts of each source, so that the end of a capture that was since replaced is
    // not taken for the end of the running one.
    std::array<quint64, 2> m_generation {};
    float m_micLevel = 0;
    float m_systemLevel = 0;
};
