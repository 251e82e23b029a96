#pragma once

#include <QDateTime>
#include <QObject>

#include <chrono>
#include <functional>
#include <memory>

// A single-shot timer made by a Clock. Starting it again restarts the wait; destroying it
// cancels it. Made, started and stopped on its context object's thread, where the action runs.
class ClockTimer {
public:
    virtual ~ClockTimer() = default;
    virtual void start(std::chrono::milliseconds delay) = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
};

// The one source of time for every time-based rule: wall time for dates, a monotonic reading
// for intervals, and single-shot timers. The application uses `Clock::system()`; tests hand a
// manual clock to the object under test and move time forward themselves, so nothing sleeps.
class Clock {
public:
    virtual ~Clock() = default;

    // The current instant (UTC).
    virtual QDateTime now() const = 0;
    // Milliseconds on a clock that never goes back; only differences mean anything.
    virtual qint64 monotonicMs() const = 0;
    double monotonicSeconds() const { return static_cast<double>(monotonicMs()) / 1000.0; }

    // A timer whose `action` runs on `context`'s thread, never after `context` is destroyed.
    virtual std::unique_ptr<ClockTimer> createTimer(QObject* context, std::function<void()> action) = 0;

    // The wall clock and Qt's precise timers; lives for the whole process.
    static Clock& system();
    // `clock` when given, else the system clock.
    static Clock& orSystem(Clock* clock) { return clock ? *clock : system(); }
};
