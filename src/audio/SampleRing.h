#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <vector>

// A fixed-size queue of samples from one producer thread to one consumer thread, without locks:
// each side advances only its own running count and publishes it to the other. The storage is
// allocated once, so writing never allocates.
class SampleRing {
public:
    explicit SampleRing(size_t capacity)
        : m_samples(capacity)
    {
    }
    SampleRing(const SampleRing&) = delete;
    SampleRing& operator=(const SampleRing&) = delete;

    size_t capacity() const { return m_samples.size(); }

    // Producer: copies all `count` samples in, or nothing (false) when they do not fit.
    bool write(const float* samples, size_t count)
    {
        const size_t written = m_written.load(std::memory_order_relaxed);
        const size_t read = m_read.load(std::memory_order_acquire);
        if (count > capacity() - (written - read)) {
            return false;
        }
        const size_t start = written % capacity();
        const size_t first = std::min(count, capacity() - start);
        std::copy_n(samples, first, m_samples.data() + start);
        std::copy_n(samples + first, count - first, m_samples.data());
        m_written.store(written + count, std::memory_order_release);
        return true;
    }

    // Samples waiting now; either side (the producer may see a few more than are left).
    size_t size() const { return m_written.load(std::memory_order_acquire) - m_read.load(std::memory_order_acquire); }

    // Consumer: copies `count` samples out; the caller made sure that many are waiting.
    void read(float* out, size_t count)
    {
        const size_t read = m_read.load(std::memory_order_relaxed);
        const size_t start = read % capacity();
        const size_t first = std::min(count, capacity() - start);
        std::copy_n(m_samples.data() + start, first, out);
        std::copy_n(m_samples.data(), count - first, out + first);
        m_read.store(read + count, std::memory_order_release);
    }

private:
    std::vector<float> m_samples;
    std::atomic<size_t> m_written { 0 }; // samples ever written; the producer's
    std::atomic<size_t> m_read { 0 }; // samples ever read; the consumer's
};
