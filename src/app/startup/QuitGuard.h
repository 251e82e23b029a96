#pragma once

#include <QCoroTask>
#include <QObject>

#include <functional>

class QSocketNotifier;

// Ends the desktop app without losing the call in progress: SIGTERM, SIGINT and SIGHUP (the
// session ending, `kill`), the desktop session's quit request and the app's own quit all run
// `finish` to its end before the event loop stops. A second signal while finishing quits at once.
class QuitGuard : public QObject {
    Q_OBJECT

public:
    using Finish = std::function<QCoro::Task<>()>;

    QuitGuard(Finish finish, QObject* parent);
    ~QuitGuard() override;

    // Runs `finish`, then exits the event loop with `exitCode`. Safe to call more than once.
    void quit(int exitCode = 0);
    bool isQuitting() const { return m_quitting; }

private:
    QCoro::Task<> finishThenExit(int exitCode);
    void onSignal();

    Finish m_finish;
    QSocketNotifier* m_notifier = nullptr;
    bool m_quitting = false;
};
