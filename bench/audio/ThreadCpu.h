#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>

#include <ctime>
#include <sys/types.h>

// Processor time of other threads of this process, found by name, for the benchmarks.
namespace threadCpu {

// The threads whose name is `name` (the system keeps the first 15 bytes of a name).
inline QList<pid_t> named(const QByteArray& name)
{
    QList<pid_t> tids;
    const QStringList tasks = QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& task : tasks) {
        QFile comm(QStringLiteral("/proc/self/task/%1/comm").arg(task));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == name.left(15)) {
            tids.append(task.toInt());
        }
    }
    return tids;
}

// Processor seconds of one thread, read through its own CPU-time clock (nanosecond resolution).
inline double seconds(pid_t tid)
{
    const clockid_t clock = (~clockid_t(tid) << 3) | 6; // that thread's scheduler clock
    timespec value {};
    if (clock_gettime(clock, &value) != 0) {
        return 0;
    }
    return double(value.tv_sec) + double(value.tv_nsec) / 1e9;
}

inline double seconds(const QList<pid_t>& tids)
{
    double sum = 0;
    for (const pid_t tid : tids) {
        sum += seconds(tid);
    }
    return sum;
}

} // namespace threadCpu
