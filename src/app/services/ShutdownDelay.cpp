#include "app/services/ShutdownDelay.h"

#include "common/Log.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace {

const QString service = QStringLiteral("org.freedesktop.login1");
const QString path = QStringLiteral("/org/freedesktop/login1");
const QString manager = QStringLiteral("org.freedesktop.login1.Manager");

} // namespace

ShutdownDelay::ShutdownDelay(QObject* parent)
    : QObject(parent)
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (bus.isConnected()) {
        bus.connect(
            service, path, manager, QStringLiteral("PrepareForShutdown"), this, SLOT(onPrepareForShutdown(bool)));
    }
}

ShutdownDelay::~ShutdownDelay() = default;

void ShutdownDelay::setNeeded(bool needed)
{
    m_needed = needed;
    if (needed && !m_shuttingDown) {
        take();
    } else if (!needed) {
        release();
    }
}

void ShutdownDelay::take()
{
    if (isHeld() || m_asking) {
        return;
    }
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        if (!std::exchange(m_reportedMissing, true)) {
            qCInfo(lcAssistants, "No system bus: a shutdown does not wait for the call to be stored");
        }
        return;
    }
    QDBusMessage inhibit = QDBusMessage::createMethodCall(service, path, manager, QStringLiteral("Inhibit"));
    inhibit << QStringLiteral("shutdown") << QStringLiteral("Quillora")
            << tr("A call is being recorded and is stored before the computer shuts down") << QStringLiteral("delay");
    m_asking = true;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(inhibit), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        m_asking = false;
        const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *call;
        if (reply.isError()) {
            if (!std::exchange(m_reportedMissing, true)) {
                qCInfo(lcAssistants, "No shutdown delay from logind: %s", qUtf8Printable(reply.error().message()));
            }
            return;
        }
        // Taken after the need passed (the call ended meanwhile): let go of it at once.
        if (!m_needed || m_shuttingDown) {
            return;
        }
        m_lock = reply.value();
        Q_EMIT heldChanged(true);
    });
}

void ShutdownDelay::release()
{
    if (isHeld()) {
        m_lock = QDBusUnixFileDescriptor(); // closing the descriptor releases the lock
        Q_EMIT heldChanged(false);
    }
}

void ShutdownDelay::onPrepareForShutdown(bool starting)
{
    m_shuttingDown = starting;
    if (starting) {
        qCInfo(lcAssistants, "The computer shuts down: storing the call");
        Q_EMIT shutdownAhead();
        release();
    } else if (m_needed) {
        take(); // the shutdown was cancelled and the call goes on
    }
}
