#pragma once

#include "app/hotkeys/HotKeyBackend.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QList>
#include <QVariantMap>

#include <memory>
#include <vector>

// One shortcut as the portal's BindShortcuts takes it and its results return it: an id and
// its properties ("description", "preferred_trigger"; "trigger_description" in results).
struct PortalShortcut {
    QString id;
    QVariantMap properties;
};
using PortalShortcuts = QList<PortalShortcut>;
QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcut& shortcut);
const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcut& shortcut);
Q_DECLARE_METATYPE(PortalShortcut)

// Global hot keys through the desktop portal's GlobalShortcuts interface, for Wayland desktops:
// the app registers its id, creates one session and binds every combination added by then,
// each under its trigger text ("CTRL+ALT+space") as shortcut id. The desktop may let the user
// change the triggers; `Activated` for a bound id fires its action.
class PortalHotKeys : public HotKeyBackend {
    Q_OBJECT

public:
    // nullptr without a session bus. `appId` matches the app's .desktop file name.
    static std::unique_ptr<PortalHotKeys> create(const QString& appId);
    PortalHotKeys(const QString& appId, const QDBusConnection& bus);
    ~PortalHotKeys() override;

    void add(quint32 id, Qt::Key key, Qt::KeyboardModifiers modifiers, const QString& description) override;

private:
    struct Shortcut {
        quint32 id = 0;
        QString trigger;
        QString description;
    };
    enum class Step { idle, registering, creating, ready, binding, failed };
    using ResponseHandler = void (PortalHotKeys::*)(uint response, const QVariantMap& results);

    // Takes the next step towards a session bound with every shortcut.
    void proceed();
    void registerApp();
    void createSession();
    void sessionCreated(uint response, const QVariantMap& results);
    void bindShortcuts();
    void shortcutsBound(uint response, const QVariantMap& results);
    // Calls a GlobalShortcuts method whose answer comes as the Response of a request object.
    void request(const QString& method, QVariantList arguments, ResponseHandler handler);
    void listen(const QString& requestPath);
    void stopListening();
    void fail(const QString& reason);
    void closeSession();

private Q_SLOTS:
    void onResponse(uint response, const QVariantMap& results);
    void onActivated(const QDBusObjectPath& session, const QString& shortcutId);

private:
    QDBusConnection m_bus;
    const QString m_appId;
    std::vector<Shortcut> m_shortcuts;
    Step m_step = Step::idle;
    bool m_registered = false;
    QString m_requestPath;
    ResponseHandler m_pendingHandler = nullptr;
    QString m_session;
    // How many of m_shortcuts the session was bound with: a session binds only once.
    size_t m_bound = 0;
};
