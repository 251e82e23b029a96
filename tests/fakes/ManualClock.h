#pragma once

#include "common/Clock.h"

#include <QPointer>
#include <QTimeZone>

#include <algorithm>
#include <memory>
#include <vector>

// A clock that moves only when the test says so. `advance` runs every timer that falls due, in
// order of due time, on the calling thread (the thread the timers were made on), so a test proves
// "nothing happens before 300 ms" without waiting.
class ManualClock final : public Clock {
public:
    explicit ManualClock(QDateTime start = QDateTime(QDate(2026, 1, 5), QTime(9, 0), Qt::UTC))
        : m_now(std::move(start))
    {
    }

    QDateTime now() const override { return m_now.addMSecs(m_elapsedMs); }
    qint64 monotonicMs() const override { return m_elapsedMs; }

    std::unique_ptr<ClockTimer> createTimer(QObject* context, std::function<void()> action) override
    {
        auto timer = std::make_unique<Timer>(*this, context, std::move(action));
        m_timers.push_back(timer.get());
        return timer;
    }

    void advance(std::chrono::milliseconds step)
    {
        const qint64 target = m_elapsedMs + step.count();
        while (true) {
            Timer* next = nullptr;
            for (Timer* timer : m_timers) {
                if (timer->m_active && timer->m_dueMs <= target && (!next || timer->m_dueMs < next->m_dueMs)) {
                    next = timer;
                }
            }
            if (!next) {
                break;
            }
            m_elapsedMs = std::max(m_elapsedMs, next->m_dueMs);
            next->fire();
        }
        m_elapsedMs = target;
    }

    // Moves the wall time alone (a clock change), leaving intervals and timers as they are.
    void setNow(QDateTime now) { m_now = std::move(now).addMSecs(-m_elapsedMs); }

    // Timers running now, for tests that prove a wait was set up.
    int activeTimers() const
    {
        return static_cast<int>(std::count_if(m_timers.begin(), m_timers.end(), [](Timer* t) { return t->m_active; }));
    }

private:
    class Timer final : public ClockTimer {
    public:
        Timer(ManualClock& clock, QObject* context, std::function<void()> action)
            : m_clock(clock)
            , m_context(context)
            , m_hasContext(context != nullptr)
            , m_action(std::move(action))
        {
        }
        ~Timer() override { std::erase(m_clock.m_timers, this); }

        void start(std::chrono::milliseconds delay) override
        {
            m_active = true;
            m_dueMs = m_clock.m_elapsedMs + delay.count();
        }
        void stop() override { m_active = false; }
        bool isActive() const override { return m_active; }

        void fire()
        {
            m_active = false;
            if (!m_hasContext || m_context) {
                m_action();
            }
        }

        ManualClock& m_clock;
        QPointer<QObject> m_context;
        bool m_hasContext;
        std::function<void()> m_action;
        bool m_active = false;
        qint64 m_dueMs = 0;
    };

    QDateTime m_now;
    qint64 m_elapsedMs = 0;
    std::vector<Timer*> m_timers;
};
