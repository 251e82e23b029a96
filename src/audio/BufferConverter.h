#pragma once

#include "audio/AudioBuffer.h"

#include <optional>
#include <vector>

struct soxr;

// Converts buffers of any captured format to one target format (sample rate, channel count,
// sample type) with libsoxr. The resampler persists while the input format stays the same, so
// its filter state carries over from buffer to buffer; a new input format starts a new one.
// Not thread-safe: each instance belongs to one capture thread.
class BufferConverter {
public:
    explicit BufferConverter(AudioFormat target);
    ~BufferConverter();
    BufferConverter(const BufferConverter&) = delete;
    BufferConverter& operator=(const BufferConverter&) = delete;

    const AudioFormat& format() const { return m_target; }

    // The buffer in the target format, or nothing when the input cannot be converted or no frame
    // came out (the resampler may hold the first frames back).
    std::optional<AudioBuffer> convert(const AudioBufferView& input);

    // Output frames allocated for an input of `frames` frames at `inputRate`.
    static qsizetype capacityFor(double targetRate, double inputRate, qsizetype frames);

private:
    bool prepare(const AudioFormat& input);
    void release();

    AudioFormat m_target;
    std::optional<AudioFormat> m_input;
    soxr* m_resampler = nullptr;
    std::vector<float> m_mixed; // the input remixed to the target channel count, reused
};
