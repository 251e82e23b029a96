#include "store/StoreSignal.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>

namespace {

const QString signalPath = QStringLiteral("/Vessaro/Quillora");
const QString signalInterface = QStringLiteral("Vessaro.Quillora");
const QString signalName = QStringLiteral("storeChanged");

} // namespace

namespace storeSignal {

void postStoreChanged()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return;
    }
    bus.send(QDBusMessage::createSignal(signalPath, signalInterface, signalName));
    // A round trip to the bus daemon: messages are delivered in order, so when the reply is
    // back the signal has left this process.
    bus.call(
        QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
            QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping")),
        QDBus::Block, 2000);
}

} // namespace storeSignal

StoreChangeObserver::StoreChangeObserver(QObject* parent)
    : QObject(parent)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        // QtDBus delivers signals to slots by name; this is its one string-based connection.
        m_connected = bus.connect(QString(), signalPath, signalInterface, signalName, this, SLOT(onSignal()));
    }
}

void StoreChangeObserver::onSignal()
{
    Q_EMIT changed();
}
