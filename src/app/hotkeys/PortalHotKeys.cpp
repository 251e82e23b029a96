#include "app/hotkeys/PortalHotKeys.h"

#include "app/hotkeys/HotKeyLog.h"

#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QRandomGenerator>

namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString shortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");

// An object path that the portal sends as either "o" or "s".
QString pathText(const QVariant& value)
{
    if (value.metaType() == QMetaType::fromType<QDBusObjectPath>()) {
        return value.value<QDBusObjectPath>().path();
    }
    return value.toString();
}

} // namespace

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcut& shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcut& shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

std::unique_ptr<PortalHotKeys> PortalHotKeys::create(const QString& appId)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return nullptr;
    }
    return std::make_unique<PortalHotKeys>(appId, bus);
}

PortalHotKeys::PortalHotKeys(const QString& appId, const QDBusConnection& bus)
    : m_bus(bus)
    , m_appId(appId)
{
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<PortalShortcuts>();
    // QtDBus finds a slot's argument types by name, which only works once they are registered.
    qRegisterMetaType<QDBusObjectPath>();
    // QtDBus delivers signals to slots by name: the one string-based connection here.
    if (!m_bus.connect(portalService, portalPath, shortcutsInterface, QStringLiteral("Activated"), this,
            SLOT(onActivated(QDBusObjectPath, QString)))) {
        qCWarning(lcHotKeys, "Cannot receive the portal's Activated signal");
    }
}

PortalHotKeys::~PortalHotKeys()
{
    stopListening();
    closeSession();
}

void PortalHotKeys::add(quint32 id, Qt::Key key, Qt::KeyboardModifiers modifiers, const QString& description)
{
    const auto trigger = triggerText(key, modifiers);
    if (!trigger) {
        qCWarning(lcHotKeys, "%s cannot be given to the portal", qUtf8Printable(combinationText(key, modifiers)));
        return;
    }
    for (const Shortcut& shortcut : m_shortcuts) {
        if (shortcut.trigger == *trigger) {
            qCWarning(lcHotKeys, "%s is registered twice; the portal binds it once", qUtf8Printable(*trigger));
            return;
        }
    }
    m_shortcuts.push_back(
        Shortcut { id, *trigger, description.isEmpty() ? combinationText(key, modifiers) : description });
    proceed();
}

void PortalHotKeys::proceed()
{
    switch (m_step) {
    case Step::idle:
        if (!m_registered) {
            registerApp();
        } else {
            createSession();
        }
        return;
    case Step::ready:
        if (m_bound == m_shortcuts.size()) {
            return;
        }
        if (m_bound > 0) {
            // Shortcuts added after the binding need a session of their own.
            closeSession();
            m_step = Step::idle;
            proceed();
            return;
        }
        bindShortcuts();
        return;
    case Step::registering:
    case Step::creating:
    case Step::binding:
    case Step::failed: return;
    }
}

void PortalHotKeys::registerApp()
{
    m_step = Step::registering;
    // Only portals that know the interface take the app id; any answer lets the session start.
    const QDBusMessage message = QDBusMessage::createMethodCall(portalService, portalPath,
                                     QStringLiteral("org.freedesktop.host.portal.Registry"), QStringLiteral("Register"))
        << m_appId << QVariantMap();
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        if (call->isError()) {
            qCInfo(lcHotKeys, "The portal did not register the app id: %s", qUtf8Printable(call->error().name()));
        }
        m_registered = true;
        m_step = Step::idle;
        proceed();
    });
}

void PortalHotKeys::createSession()
{
    m_step = Step::creating;
    QVariantMap options;
    options.insert(QStringLiteral("session_handle_token"),
        QStringLiteral("quillora%1").arg(QRandomGenerator::global()->generate()));
    request(QStringLiteral("CreateSession"), { options }, &PortalHotKeys::sessionCreated);
}

void PortalHotKeys::sessionCreated(uint response, const QVariantMap& results)
{
    const QString session = pathText(results.value(QStringLiteral("session_handle")));
    if (response != 0 || session.isEmpty()) {
        fail(QStringLiteral("no session (response %1)").arg(response));
        return;
    }
    m_session = session;
    m_bound = 0;
    m_step = Step::ready;
    proceed();
}

void PortalHotKeys::bindShortcuts()
{
    m_step = Step::binding;
    PortalShortcuts shortcuts;
    for (const Shortcut& shortcut : m_shortcuts) {
        QVariantMap properties;
        properties.insert(QStringLiteral("description"), shortcut.description);
        properties.insert(QStringLiteral("preferred_trigger"), shortcut.trigger);
        shortcuts.append(PortalShortcut { shortcut.trigger, properties });
    }
    m_bound = m_shortcuts.size();
    request(QStringLiteral("BindShortcuts"),
        { QVariant::fromValue(QDBusObjectPath(m_session)), QVariant::fromValue(shortcuts), QString(), QVariantMap() },
        &PortalHotKeys::shortcutsBound);
}

void PortalHotKeys::shortcutsBound(uint response, const QVariantMap& results)
{
    m_step = Step::ready;
    if (response != 0) {
        // The user declined or the desktop refused: the keys stay unbound, as a refused grab would.
        qCWarning(lcHotKeys, "The portal did not bind the global shortcuts (response %u)", response);
    } else {
        const auto bound = qdbus_cast<PortalShortcuts>(results.value(QStringLiteral("shortcuts")));
        QStringList texts;
        for (const PortalShortcut& shortcut : bound) {
            texts.append(shortcut.id + QStringLiteral(" as ")
                + shortcut.properties.value(QStringLiteral("trigger_description")).toString());
        }
        qCInfo(lcHotKeys, "The portal bound %lld of %zu global shortcuts: %s", qlonglong(bound.size()), m_bound,
            qUtf8Printable(texts.join(QStringLiteral(", "))));
    }
    proceed();
}

void PortalHotKeys::request(const QString& method, QVariantList arguments, ResponseHandler handler)
{
    // The options map is the last argument; its handle token fixes the request's path, so the
    // answer can be listened for before the call goes out.
    const QString token = QStringLiteral("quillora%1").arg(QRandomGenerator::global()->generate());
    QVariantMap options = arguments.takeLast().toMap();
    options.insert(QStringLiteral("handle_token"), token);
    arguments.append(options);
    QString sender = m_bus.baseService().mid(1);
    sender.replace(u'.', u'_');
    const QString expected = portalPath + QStringLiteral("/request/") + sender + u'/' + token;
    m_pendingHandler = handler;
    listen(expected);

    QDBusMessage message = QDBusMessage::createMethodCall(portalService, portalPath, shortcutsInterface, method);
    message.setArguments(arguments);
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, method, expected](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        QDBusPendingReply<QDBusObjectPath> reply = *call;
        if (reply.isError()) {
            fail(method + QStringLiteral(" failed: ") + reply.error().name());
            return;
        }
        // Older portals choose the request path themselves.
        if (reply.value().path() != expected && m_requestPath == expected) {
            listen(reply.value().path());
        }
    });
}

void PortalHotKeys::listen(const QString& requestPath)
{
    stopListening();
    m_requestPath = requestPath;
    m_bus.connect(portalService, m_requestPath, requestInterface, QStringLiteral("Response"), this,
        SLOT(onResponse(uint, QVariantMap)));
}

void PortalHotKeys::stopListening()
{
    if (m_requestPath.isEmpty()) {
        return;
    }
    m_bus.disconnect(portalService, m_requestPath, requestInterface, QStringLiteral("Response"), this,
        SLOT(onResponse(uint, QVariantMap)));
    m_requestPath.clear();
}

void PortalHotKeys::onResponse(uint response, const QVariantMap& results)
{
    const ResponseHandler handler = m_pendingHandler;
    stopListening();
    m_pendingHandler = nullptr;
    if (handler) {
        (this->*handler)(response, results);
    }
}

void PortalHotKeys::fail(const QString& reason)
{
    qCInfo(lcHotKeys, "No global shortcuts portal: %s", qUtf8Printable(reason));
    stopListening();
    m_pendingHandler = nullptr;
    m_step = Step::failed;
    Q_EMIT unavailable();
}

void PortalHotKeys::closeSession()
{
    if (m_session.isEmpty()) {
        return;
    }
    m_bus.send(QDBusMessage::createMethodCall(
        portalService, m_session, QStringLiteral("org.freedesktop.portal.Session"), QStringLiteral("Close")));
    m_session.clear();
}

void PortalHotKeys::onActivated(const QDBusObjectPath& session, const QString& shortcutId)
{
    if (session.path() != m_session) {
        return;
    }
    for (const Shortcut& shortcut : m_shortcuts) {
        if (shortcut.trigger == shortcutId) {
            Q_EMIT activated(shortcut.id);
            return;
        }
    }
}
