#pragma once

#include <QObject>
#include <QThreadPool>

#include <stop_token>

// One showing of the guide, shared by its steps: the threads the sound probes wait on, the stop request
// that ends those waits when the guide closes, and the count of checks still on their way. A check
// started in an earlier showing is no longer current: its answer is dropped.
class GuideRun : public QObject {
    Q_OBJECT

public:
    explicit GuideRun(QObject* parent);
    ~GuideRun() override;

    QThreadPool& probes() { return m_probes; }
    std::stop_token stopToken() const { return m_stop.get_token(); }

    // A check starts; the token names the showing it belongs to.
    quint64 started();
    bool isCurrent(quint64 token) const { return token == m_showing; }
    // The check of `token` has shown its answer; `settled` follows when it was the last one.
    void finished(quint64 token);
    bool isSettled() const { return m_running == 0; }

    // The guide closed: waits end, and every answer still on its way is dropped.
    void close();

Q_SIGNALS:
    void settled();

private:
    QThreadPool m_probes;
    std::stop_source m_stop;
    quint64 m_showing = 0;
    int m_running = 0;
};
