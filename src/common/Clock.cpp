#include "common/Clock.h"

#include "common/Dates.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>

namespace {

class SystemTimer final : public ClockTimer {
public:
    SystemTimer(QObject* context, std::function<void()> action)
    {
        // Precise: a coarse timer may fire a 300 ms wait up to 15 ms late.
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setSingleShot(true);
        QObject::connect(&m_timer, &QTimer::timeout, context ? context : &m_timer, std::move(action));
    }

    void start(std::chrono::milliseconds delay) override { m_timer.start(delay); }
    void stop() override { m_timer.stop(); }
    bool isActive() const override { return m_timer.isActive(); }

private:
    QTimer m_timer;
};

class SystemClock final : public Clock {
public:
    SystemClock() { m_elapsed.start(); }

    QDateTime now() const override { return dates::now(); }
    qint64 monotonicMs() const override { return m_elapsed.elapsed(); }
    std::unique_ptr<ClockTimer> createTimer(QObject* context, std::function<void()> action) override
    {
        return std::make_unique<SystemTimer>(context, std::move(action));
    }

private:
    QElapsedTimer m_elapsed;
};

} // namespace

Clock& Clock::system()
{
    static SystemClock clock;
    return clock;
}
