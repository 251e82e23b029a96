#include "audio/WorkerThread.h"

WorkerThread::WorkerThread(const QString& name, qint64 maxBacklog, Category category)
    : m_maxBacklog(maxBacklog)
    , m_category(category)
{
    m_thread.setObjectName(name);
}

WorkerThread::~WorkerThread()
{
    m_thread.quit();
    m_thread.wait();
}

void WorkerThread::start(std::unique_ptr<QObject> worker)
{
    m_worker = worker.release();
    m_worker->moveToThread(&m_thread);
    QObject::connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread.start();
}

void WorkerThread::post(std::function<void()> work)
{
    QMetaObject::invokeMethod(m_worker, std::move(work), Qt::QueuedConnection);
}

bool WorkerThread::postAudio(qint64 amount, std::function<void()> work)
{
    if (m_backlog.load(std::memory_order_relaxed) + amount > m_maxBacklog) {
        const qint64 dropped = ++m_dropped;
        if (dropped == 1 || dropped % 100 == 0) {
            qCWarning(m_category()) << m_thread.objectName() << "is behind; dropped" << dropped
                                    << "audio buffers so far";
        }
        return false;
    }
    m_backlog += amount;
    post([this, amount, work = std::move(work)] {
        m_backlog -= amount;
        work();
    });
    return true;
}

void WorkerThread::drain()
{
    QMetaObject::invokeMethod(
        m_worker, [] {}, Qt::BlockingQueuedConnection);
}
