#pragma once

#include <QLoggingCategory>
#include <QObject>
#include <QThread>

#include <atomic>
#include <functional>
#include <memory>

// Runs one worker object on a thread of its own (the object is moved there; the thread is a plain
// QThread) and hands it work in the order it was posted. Audio goes over under a backlog limit:
// while more than `maxBacklog` units (samples, bytes) wait for the worker, new audio is dropped,
// counted and logged, because audio that arrives seconds late is of no use in a live call and
// memory stays bounded.
class WorkerThread {
public:
    using Category = const QLoggingCategory& (*)();

    WorkerThread(const QString& name, qint64 maxBacklog, Category category);
    // Ends the thread without running what is still queued; the worker is deleted on it.
    ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Moves the worker to the thread, which owns it from then on, and starts the thread.
    void start(std::unique_ptr<QObject> worker);

    // Runs `work` on the worker thread; callable from any thread.
    void post(std::function<void()> work);
    // Runs `work` with `amount` units of audio on the worker thread, or drops it (false) when the
    // worker is too far behind. Callable from any thread.
    bool postAudio(qint64 amount, std::function<void()> work);
    // Returns once the worker has run everything posted so far. Not from the worker thread.
    void drain();

    qint64 droppedBuffers() const { return m_dropped.load(); }
    // The units of audio posted and not yet taken up by the worker (any thread).
    qint64 backlog() const { return m_backlog.load(std::memory_order_relaxed); }

private:
    const qint64 m_maxBacklog;
    const Category m_category;
    QThread m_thread;
    QObject* m_worker = nullptr; // lives on m_thread, deleted when it ends
    std::atomic<qint64> m_backlog { 0 };
    std::atomic<qint64> m_dropped { 0 };
};
