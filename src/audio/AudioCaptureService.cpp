#include "audio/AudioCaptureService.h"

#include "audio/SourceCapture.h"
#include "common/Log.h"

#include <QMetaObject>

#include <algorithm>
#include <cmath>

AudioCaptureService::AudioCaptureService(QObject* parent)
    : QObject(parent)
{
}

AudioCaptureService::~AudioCaptureService()
{
    // The capture threads post to this object; they end before it goes.
    stop();
}

float AudioCaptureService::level(const AudioBufferView& buffer)
{
    const float* samples = buffer.floatData();
    if (!samples || buffer.frameCount <= 0 || buffer.format.channelCount <= 0) {
        return 0;
    }
    const int stride = buffer.format.channelCount;
    float sumOfSquares = 0;
    float peak = 0;
    for (qsizetype frame = 0; frame < buffer.frameCount; ++frame) {
        const float x = samples[frame * stride];
        sumOfSquares += x * x;
        peak = std::max(peak, std::abs(x));
    }
    const float rms = std::sqrt(sumOfSquares / static_cast<float>(buffer.frameCount));
    const float v = std::max(rms, 0.5f * peak);
    if (!(v > 0)) {
        return 0;
    }
    const float value = (20.0f * std::log10(v) + 60.0f) / 60.0f;
    return std::clamp(value, 0.0f, 1.0f);
}

Result<std::unique_ptr<SourceCapture>> AudioCaptureService::startSource(const SourceCapture::Kind& kind,
    const BufferCallback& callback, void (AudioCaptureService::*setLevel)(float), Source which)
{
    auto capture = std::make_unique<SourceCapture>(
        kind, callback, this, [this, setLevel](float value) { (this->*setLevel)(value); });
    const quint64 generation = m_generation[static_cast<int>(which)] + 1;
    Result<void> started = capture->start([this, which, generation](const QString& error) {
        QMetaObject::invokeMethod(
            this, [this, which, generation, error] { captureEnded(which, generation, error); }, Qt::QueuedConnection);
    });
    if (!started) {
        return std::unexpected(started.error());
    }
    m_generation[static_cast<int>(which)] = generation; // the caller puts it in place at once
    return capture;
}

void AudioCaptureService::captureEnded(Source which, quint64 generation, const QString& error)
{
    // A capture stopped or replaced since then has nothing more to say.
    std::unique_ptr<SourceCapture>& capture = which == Source::microphone ? m_microphone : m_systemTap;
    if (!capture || generation != m_generation[static_cast<int>(which)]) {
        return;
    }
    // Released here, so that what it captured is handed on and it no longer counts as running.
    capture.reset();
    if (which == Source::microphone) {
        setMicLevel(0);
    } else {
        setSystemLevel(0);
    }
    Q_EMIT captureFailed(which == Source::microphone ? tr("Microphone capture ended (PulseAudio: %1)").arg(error)
                                                     : tr("System audio capture ended (PulseAudio: %1)").arg(error));
}

Result<void> AudioCaptureService::startMicrophone()
{
    // A second start replaces the running capture rather than adding another.
    m_microphone.reset();
    Result<std::unique_ptr<SourceCapture>> capture = startSource(
        { PulseCapture::Source::defaultInput, microphoneBufferFrames, "Quillora.Microphone", "Quillora.MicAudio" },
        m_onMicBuffer, &AudioCaptureService::setMicLevel, Source::microphone);
    if (!capture) {
        return std::unexpected(capture.error());
    }
    m_microphone = std::move(*capture);
    qCInfo(lcAudio) << "Microphone capture started at" << m_microphone->format().sampleRate << "Hz,"
                    << m_microphone->format().channelCount << "channels";
    return {};
}

Result<void> AudioCaptureService::startSystemAudio()
{
    // A failed start releases whatever the new capture had made; a running one stays.
    Result<std::unique_ptr<SourceCapture>> capture =
        startSource({ PulseCapture::Source::defaultOutputMonitor, 0, "Quillora.SystemAudioTap", "Quillora.SysAudio" },
            m_onSystemBuffer, &AudioCaptureService::setSystemLevel, Source::systemAudio);
    if (!capture) {
        return std::unexpected(capture.error());
    }
    m_systemTap = std::move(*capture);
    qCInfo(lcAudio) << "System audio capture started at" << m_systemTap->format().sampleRate << "Hz";
    return {};
}

void AudioCaptureService::stop()
{
    m_microphone.reset();
    m_systemTap.reset();
    setMicLevel(0);
    setSystemLevel(0);
}

bool AudioCaptureService::isMicrophoneRunning() const
{
    return m_microphone && m_microphone->isRunning();
}

bool AudioCaptureService::isSystemAudioRunning() const
{
    return m_systemTap && m_systemTap->isRunning();
}

void AudioCaptureService::setMicLevel(float level)
{
    if (level != m_micLevel) {
        m_micLevel = level;
        Q_EMIT micLevelChanged(level);
    }
}

void AudioCaptureService::setSystemLevel(float level)
{
    if (level != m_systemLevel) {
        m_systemLevel = level;
        Q_EMIT systemLevelChanged(level);
    }
}
