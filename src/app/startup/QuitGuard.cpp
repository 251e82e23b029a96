#include "app/startup/QuitGuard.h"

#include "common/Log.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QSessionManager>
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The signal handler only writes a byte here; the notifier reads it on the main thread.
int g_signalPipe[2] = { -1, -1 };

void onUnixSignal(int number)
{
    const char byte = static_cast<char>(number);
    [[maybe_unused]] const auto written = ::write(g_signalPipe[0], &byte, 1);
}

} // namespace

QuitGuard::QuitGuard(Finish finish, StoreNow storeNow, QObject* parent)
    : QObject(parent)
    , m_finish(std::move(finish))
    , m_storeNow(std::move(storeNow))
{
    if (g_signalPipe[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0) {
        qCWarning(lcAssistants, "No signal pipe: SIGTERM ends the app without storing the call");
    }
    if (g_signalPipe[1] >= 0) {
        m_notifier = new QSocketNotifier(g_signalPipe[1], QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &QuitGuard::onSignal);
        struct sigaction action = {};
        action.sa_handler = onUnixSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (const int number : { SIGTERM, SIGINT, SIGHUP }) {
            ::sigaction(number, &action, nullptr);
        }
    }
    if (auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        // Logging out: the session asks to save; the call is stored before the handler returns, which is
        // when the app's answer goes out.
        connect(gui, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) {
            qCInfo(lcAssistants, "The session asks to save: storing the call");
            if (m_storeNow) {
                m_storeNow();
            }
        });
    }
}

QuitGuard::~QuitGuard()
{
    for (const int number : { SIGTERM, SIGINT, SIGHUP }) {
        ::signal(number, SIG_DFL);
    }
}

void QuitGuard::onSignal()
{
    char byte = 0;
    [[maybe_unused]] const auto read = ::read(g_signalPipe[1], &byte, 1);
    if (m_quitting) {
        qCWarning(lcAssistants, "Second signal while storing the call: quitting at once");
        QCoreApplication::exit(1);
        return;
    }
    qCInfo(lcAssistants, "Signal %d: ending the call, then quitting", static_cast<int>(byte));
    quit(0);
}

void QuitGuard::quit(int exitCode)
{
    if (m_quitting) {
        return;
    }
    m_quitting = true;
    finishThenExit(exitCode);
}

QCoro::Task<> QuitGuard::finishThenExit(int exitCode)
{
    const QPointer<QuitGuard> self(this);
    if (m_finish) {
        co_await m_finish();
    }
    if (self) {
        QCoreApplication::exit(exitCode);
    }
}
