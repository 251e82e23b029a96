#pragma once

#include "app/hotkeys/PortalHotKeys.h"

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QStringList>

// A stand-in for the desktop portal on the test's private session bus, on a connection of its
// own: the host registry, GlobalShortcuts (CreateSession, BindShortcuts, the Activated signal)
// and Session.Close, answering each request with its Response signal as the portal does.
class FakePortal : public QDBusVirtualObject {
    Q_OBJECT

public:
    enum class Kind { complete, withoutRegistry, withoutGlobalShortcuts, refusingSessions };
    Q_ENUM(Kind)

    explicit FakePortal(Kind kind);
    ~FakePortal() override;

    bool isServing() const { return m_serving; }
    // Emits Activated for `shortcutId` in `session`, as a key press on the desktop would.
    void activate(const QString& session, const QString& shortcutId);

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

    QStringList calls; // "Interface.Method" in the order they came
    QString appId;
    QString session; // the newest session
    PortalShortcuts shortcuts; // as the newest BindShortcuts gave them

Q_SIGNALS:
    void bound();
    void closed(const QString& session);

private:
    QString respond(const QDBusMessage& message, uint response, const QVariantMap& results);

    const Kind m_kind;
    QDBusConnection m_bus;
    bool m_serving = false;
};
