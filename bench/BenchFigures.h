#pragma once

// What every benchmark shares: one figure a line as "name value unit", medians, and waiting on the
// event loop.

#include <QCoreApplication>
#include <QEventLoop>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <vector>

namespace bench {

using Steady = std::chrono::steady_clock;

inline void print(const char* name, double value, const char* unit)
{
    std::printf("%s %.3f %s\n", name, value, unit);
    std::fflush(stdout);
}

inline double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

// The processor time this thread has used, in milliseconds.
inline double threadCpuMilliseconds()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

inline double millisecondsSince(Steady::time_point start)
{
    return std::chrono::duration<double, std::milli>(Steady::now() - start).count();
}

// Runs the event loop until `done` holds or the time is up; false on time-out.
template <typename Condition> bool spinUntil(Condition done, std::chrono::milliseconds limit = std::chrono::seconds(10))
{
    const auto deadline = Steady::now() + limit;
    while (!done()) {
        if (Steady::now() > deadline) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    return true;
}

} // namespace bench
