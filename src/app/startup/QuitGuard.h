#pragma once

#include <QCoroTask>
#include <QObject>

#include <functional>

class QSocketNotifier;

// Ends the desktop app without losing the call in progress: SIGTERM, SIGINT and SIGHUP (the
// session ending, `kill`) and the app's own quit run `finish` to its end before the event loop stops.
// A second signal while finishing quits at once. The session manager's save request (logging out)
// runs `storeNow` before it is answered: the manager ends the app right after the answer, without
// waiting for anything asynchronous, and may as well cancel the logout and let it run on.
class QuitGuard : public QObject {
    Q_OBJECT

public:
    using Finish = std::function<QCoro::Task<>()>;
    using StoreNow = std::function<void()>;

    QuitGuard(Finish finish, StoreNow storeNow, QObject* parent);
    ~QuitGuard() override;

    // Runs `finish`, then exits the event loop with `exitCode`. Safe to call more than once.
    void quit(int exitCode = 0);
    bool isQuitting() const { return m_quitting; }

private:
    QCoro::Task<> finishThenExit(int exitCode);
    void onSignal();

    Finish m_finish;
    StoreNow m_storeNow;
    QSocketNotifier* m_notifier = nullptr;
    bool m_quitting = false;
};
