#include "audio/BufferConverter.h"

#include "common/Log.h"

#include <soxr.h>

#include <algorithm>
#include <cmath>

namespace {

float sampleAt(const AudioBufferView& input, qsizetype index)
{
    if (const float* samples = input.floatData()) {
        return samples[index];
    }
    return static_cast<float>(input.int16Data()[index]) / 32768.0f;
}

// Mixes to mono by averaging, spreads mono to every channel, and otherwise keeps the channels
// both layouts share (silence for the rest).
void remix(const AudioBufferView& input, int targetChannels, std::vector<float>& out)
{
    const int inChannels = input.format.channelCount;
    out.resize(static_cast<size_t>(input.frameCount * targetChannels));
    for (qsizetype frame = 0; frame < input.frameCount; ++frame) {
        const qsizetype base = frame * inChannels;
        float* target = out.data() + frame * targetChannels;
        if (targetChannels == 1) {
            float sum = 0;
            for (int c = 0; c < inChannels; ++c) {
                sum += sampleAt(input, base + c);
            }
            target[0] = sum / static_cast<float>(inChannels);
        } else if (inChannels == 1) {
            std::fill(target, target + targetChannels, sampleAt(input, base));
        } else {
            for (int c = 0; c < targetChannels; ++c) {
                target[c] = c < inChannels ? sampleAt(input, base + c) : 0.0f;
            }
        }
    }
}

qint16 toInt16(float value)
{
    const float scaled = std::round(value * 32768.0f);
    return static_cast<qint16>(std::clamp(scaled, -32768.0f, 32767.0f));
}

} // namespace

BufferConverter::BufferConverter(AudioFormat target)
    : m_target(target)
{
}

BufferConverter::~BufferConverter()
{
    release();
}

qsizetype BufferConverter::capacityFor(double targetRate, double inputRate, qsizetype frames)
{
    return static_cast<qsizetype>(std::floor(targetRate / inputRate * static_cast<double>(frames))) + 1;
}

void BufferConverter::release()
{
    if (m_resampler) {
        soxr_delete(m_resampler);
        m_resampler = nullptr;
    }
    m_input.reset();
}

bool BufferConverter::prepare(const AudioFormat& input)
{
    if (m_input && *m_input == input) {
        return true;
    }
    release();
    if (input.sampleRate != m_target.sampleRate) {
        soxr_io_spec_t io =
            soxr_io_spec(SOXR_FLOAT32_I, m_target.sampleType == SampleType::float32 ? SOXR_FLOAT32_I : SOXR_INT16_I);
        // No dither: silence stays exact zeros, which the consumers rely on to recognise it.
        io.flags |= SOXR_NO_DITHER;
        const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
        soxr_error_t error = nullptr;
        m_resampler = soxr_create(input.sampleRate, m_target.sampleRate, static_cast<unsigned>(m_target.channelCount),
            &error, &io, &quality, nullptr);
        if (error || !m_resampler) {
            qCWarning(lcAudio) << "Cannot create a resampler from" << input.sampleRate << "Hz:" << error;
            m_resampler = nullptr;
            return false;
        }
    }
    m_input = input;
    return true;
}

std::optional<AudioBuffer> BufferConverter::convert(const AudioBufferView& input)
{
    if (!input.format.isValid() || !m_target.isValid() || input.frameCount <= 0 || !input.data) {
        return std::nullopt;
    }
    if (!prepare(input.format)) {
        return std::nullopt;
    }
    remix(input, m_target.channelCount, m_mixed);

    AudioBuffer output(m_target, capacityFor(m_target.sampleRate, input.format.sampleRate, input.frameCount));
    if (!m_resampler) {
        const qsizetype samples = input.frameCount * m_target.channelCount;
        if (m_target.sampleType == SampleType::float32) {
            std::copy_n(m_mixed.data(), samples, reinterpret_cast<float*>(output.data()));
        } else {
            std::transform(m_mixed.data(), m_mixed.data() + samples, reinterpret_cast<qint16*>(output.data()), toInt16);
        }
        output.setFrameCount(input.frameCount);
        return output;
    }

    // soxr may take less input than offered when the output space runs out; offer the rest
    // until it stops making progress, so no input is lost from the filter's history.
    size_t inputDone = 0;
    size_t outputDone = 0;
    const size_t inputFrames = static_cast<size_t>(input.frameCount);
    const size_t capacity = static_cast<size_t>(output.capacityFrames());
    const int outFrameBytes = m_target.bytesPerFrame();
    while (inputDone < inputFrames && outputDone < capacity) {
        size_t used = 0;
        size_t produced = 0;
        const soxr_error_t error = soxr_process(m_resampler,
            m_mixed.data() + inputDone * static_cast<size_t>(m_target.channelCount), inputFrames - inputDone, &used,
            output.data() + outputDone * outFrameBytes, capacity - outputDone, &produced);
        if (error) {
            qCWarning(lcAudio) << "Resampling failed:" << error;
            release();
            return std::nullopt;
        }
        inputDone += used;
        outputDone += produced;
        if (used == 0 && produced == 0) {
            break;
        }
    }
    if (outputDone == 0) {
        return std::nullopt;
    }
    output.setFrameCount(static_cast<qsizetype>(outputDone));
    return output;
}
