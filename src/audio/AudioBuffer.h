#pragma once

#include <QtGlobal>

#include <cstddef>
#include <cstring>
#include <vector>

enum class SampleType { float32, int16 };

// Interleaved linear PCM in the machine's byte order.
struct AudioFormat {
    double sampleRate = 0;
    int channelCount = 0;
    SampleType sampleType = SampleType::float32;

    int bytesPerSample() const { return sampleType == SampleType::float32 ? 4 : 2; }
    int bytesPerFrame() const { return bytesPerSample() * channelCount; }
    bool isValid() const { return sampleRate > 0 && channelCount > 0; }
    bool operator==(const AudioFormat&) const = default;
};

// Audio that someone else owns, valid only for the duration of the call it is passed to.
struct AudioBufferView {
    AudioFormat format;
    const std::byte* data = nullptr;
    qsizetype frameCount = 0;

    // The samples as 32-bit floats, or null when the buffer holds another sample type.
    const float* floatData() const
    {
        return format.sampleType == SampleType::float32 ? reinterpret_cast<const float*>(data) : nullptr;
    }
    const qint16* int16Data() const
    {
        return format.sampleType == SampleType::int16 ? reinterpret_cast<const qint16*>(data) : nullptr;
    }
};

// Audio with its own storage (what the converter produces).
class AudioBuffer {
public:
    AudioBuffer() = default;
    AudioBuffer(AudioFormat format, qsizetype capacityFrames)
        : m_format(format)
        , m_bytes(static_cast<size_t>(capacityFrames * format.bytesPerFrame()))
        , m_capacityFrames(capacityFrames)
    {
    }

    const AudioFormat& format() const { return m_format; }
    qsizetype frameCount() const { return m_frameCount; }
    qsizetype capacityFrames() const { return m_capacityFrames; }
    void setFrameCount(qsizetype frames) { m_frameCount = qBound<qsizetype>(0, frames, m_capacityFrames); }

    std::byte* data() { return m_bytes.data(); }
    const std::byte* data() const { return m_bytes.data(); }
    const float* floatData() const { return view().floatData(); }
    const qint16* int16Data() const { return view().int16Data(); }
    qsizetype byteCount() const { return m_frameCount * m_format.bytesPerFrame(); }

    AudioBufferView view() const { return AudioBufferView { m_format, m_bytes.data(), m_frameCount }; }

    // A buffer holding a copy of the given samples.
    template <typename Sample> static AudioBuffer fromSamples(AudioFormat format, const std::vector<Sample>& samples)
    {
        AudioBuffer buffer(format, static_cast<qsizetype>(samples.size()) / format.channelCount);
        std::memcpy(buffer.data(), samples.data(), samples.size() * sizeof(Sample));
        buffer.setFrameCount(buffer.capacityFrames());
        return buffer;
    }

private:
    AudioFormat m_format;
    std::vector<std::byte> m_bytes;
    qsizetype m_capacityFrames = 0;
    qsizetype m_frameCount = 0;
};
