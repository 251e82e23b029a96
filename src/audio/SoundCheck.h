#pragma once

#include "common/Error.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stop_token>

struct pa_simple;

// Checks that the sound server gives the app what a call needs: the microphone delivers audio, and a
// sound played to the default output comes back on that output's monitor. Each check blocks for up to
// its time limit, so it runs on a worker thread; a stop request ends it early.
namespace soundCheck {

// A flag that a capture thread raises and a waiting thread reads, always under the lock.
class Heard {
public:
    void set();
    bool flag() const;
    // Waits until the flag is up, `deadline` passes or a stop is requested; returns the flag.
    bool waitUntil(std::chrono::steady_clock::time_point deadline, std::stop_token stop);

private:
    mutable std::mutex m_lock;
    std::condition_variable_any m_raised;
    bool m_flag = false;
};

// Plays a short tone to the default output, each one when asked. Blocking; for a worker thread.
class TonePlayer {
public:
    static constexpr int sampleRate = 48000;
    static constexpr std::chrono::milliseconds toneLength { 120 };

    TonePlayer() = default;
    ~TonePlayer();
    TonePlayer(const TonePlayer&) = delete;
    TonePlayer& operator=(const TonePlayer&) = delete;

    // Connects a playback stream to the default sink.
    Result<void> open();
    // Queues one tone; it starts playing at once.
    Result<void> play();
    void close();

private:
    pa_simple* m_stream = nullptr;
};

enum class MicrophoneOutcome {
    delivers, // the default source is there and sends audio
    noInput, // there is no source to record from
    silent, // a source opened, but nothing came within the time (a sandbox that withholds it)
};

// Opens the default source and waits up to `wait` for its first audio. The error is the capture's
// text when the sound server cannot be reached or the stream not opened.
Result<MicrophoneOutcome> microphone(std::chrono::milliseconds wait, std::stop_token stop);

// Listens on the monitor of the default sink while a tone plays to that sink about once a second,
// for up to `window`. True as soon as any sample that is not exactly 0 comes back; false when none
// did. The error is the capture's text when the monitor cannot be recorded.
Result<bool> systemAudio(std::chrono::milliseconds window, std::stop_token stop);

} // namespace soundCheck
