#pragma once

// A loopback model server on a thread of its own, for benchmarks that link the test fakes: the main
// thread's processor time is then the application's work alone.

#include "fakes/FakeHttpServer.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <functional>

namespace bench {

class ModelThread {
public:
    // `script` sets up the server's answers, on the server's thread.
    explicit ModelThread(const std::function<void(FakeHttpServer&)>& script)
    {
        m_thread.start();
        m_anchor.moveToThread(&m_thread);
        QMetaObject::invokeMethod(
            &m_anchor,
            [this, &script] {
                m_server = new FakeHttpServer;
                m_server->setLowDelay(true);
                script(*m_server);
                m_baseURL = m_server->baseURL();
            },
            Qt::BlockingQueuedConnection);
    }

    ~ModelThread()
    {
        QMetaObject::invokeMethod(
            &m_anchor, [this] { delete m_server; }, Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    }

    ModelThread(const ModelThread&) = delete;
    ModelThread& operator=(const ModelThread&) = delete;

    QString baseURL() const { return m_baseURL; }

private:
    QThread m_thread;
    QObject m_anchor;
    FakeHttpServer* m_server = nullptr;
    QString m_baseURL;
};

} // namespace bench
