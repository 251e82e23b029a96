#include "FakePortal.h"

#include <QDBusMessage>
#include <QDBusMetaType>

namespace {

const QString service = QStringLiteral("org.freedesktop.portal.Desktop");
const QString rootPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString shortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");

int connections = 0;

// The caller's unique name as a path element, as the portal builds request and session paths.
QString senderElement(const QDBusMessage& message)
{
    return message.service().mid(1).replace(u'.', u'_');
}

} // namespace

FakePortal::FakePortal(Kind kind)
    : m_kind(kind)
    , m_bus(QDBusConnection::connectToBus(
          QDBusConnection::SessionBus, QStringLiteral("fake-portal-%1").arg(++connections)))
{
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<PortalShortcuts>();
    m_serving = m_bus.isConnected() && m_bus.registerVirtualObject(rootPath, this, QDBusConnection::SubPath)
        && m_bus.registerService(service);
}

FakePortal::~FakePortal()
{
    m_bus.unregisterService(service);
    m_bus.unregisterObject(rootPath);
    QDBusConnection::disconnectFromBus(m_bus.name());
}

void FakePortal::activate(const QString& sessionPath, const QString& shortcutId)
{
    QDBusMessage signal = QDBusMessage::createSignal(rootPath, shortcutsInterface, QStringLiteral("Activated"));
    signal << QVariant::fromValue(QDBusObjectPath(sessionPath)) << shortcutId << qulonglong(1234) << QVariantMap();
    m_bus.send(signal);
}

QString FakePortal::introspect(const QString&) const
{
    return {};
}

QString FakePortal::respond(const QDBusMessage& message, uint response, const QVariantMap& results)
{
    const QVariantMap options = qdbus_cast<QVariantMap>(message.arguments().constLast());
    const QString request = rootPath + QStringLiteral("/request/") + senderElement(message) + u'/'
        + options.value(QStringLiteral("handle_token")).toString();
    m_bus.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
    QDBusMessage signal = QDBusMessage::createTargetedSignal(
        message.service(), request, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
    signal << response << results;
    m_bus.send(signal);
    return request;
}

bool FakePortal::handleMessage(const QDBusMessage& message, const QDBusConnection&)
{
    const QString call = message.interface().section(u'.', -1) + u'.' + message.member();
    calls.append(call);
    const bool refused = (m_kind == Kind::withoutRegistry && call == QStringLiteral("Registry.Register"))
        || (m_kind == Kind::withoutGlobalShortcuts && message.interface() == shortcutsInterface);
    if (refused) {
        m_bus.send(message.createErrorReply(QDBusError::UnknownInterface, QStringLiteral("No such interface")));
        return true;
    }
    if (call == QStringLiteral("Registry.Register")) {
        appId = message.arguments().value(0).toString();
        m_bus.send(message.createReply());
    } else if (call == QStringLiteral("GlobalShortcuts.CreateSession")) {
        const QVariantMap options = qdbus_cast<QVariantMap>(message.arguments().value(0));
        session = rootPath + QStringLiteral("/session/") + senderElement(message) + u'/'
            + options.value(QStringLiteral("session_handle_token")).toString();
        if (m_kind == Kind::refusingSessions) {
            respond(message, 2, {});
        } else {
            respond(message, 0, { { QStringLiteral("session_handle"), session } });
        }
    } else if (call == QStringLiteral("GlobalShortcuts.BindShortcuts")) {
        shortcuts = qdbus_cast<PortalShortcuts>(message.arguments().value(1));
        PortalShortcuts result;
        for (const PortalShortcut& shortcut : std::as_const(shortcuts)) {
            result.append(PortalShortcut { shortcut.id,
                { { QStringLiteral("description"), shortcut.properties.value(QStringLiteral("description")) },
                    { QStringLiteral("trigger_description"),
                        shortcut.properties.value(QStringLiteral("preferred_trigger")) } } });
        }
        respond(message, 0, { { QStringLiteral("shortcuts"), QVariant::fromValue(result) } });
        Q_EMIT bound();
    } else if (call == QStringLiteral("Session.Close")) {
        m_bus.send(message.createReply());
        Q_EMIT closed(message.path());
    } else {
        m_bus.send(message.createErrorReply(QDBusError::UnknownMethod, QStringLiteral("Not here")));
    }
    return true;
}
