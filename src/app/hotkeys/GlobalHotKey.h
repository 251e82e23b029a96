#pragma once

#include <QList>
#include <QObject>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class HotKeyBackend;

// The desktop facilities that can deliver global hot keys.
enum class HotKeyFacility { x11, portal };

// The registry of the app's global hot keys: each registered combination gets the next id
// (1, 2, ...) and its action, which runs on the main thread when the combination is pressed
// while any application has the focus. A combination the desktop refuses keeps its id and
// action but never fires; the refusal is logged, never shown.
class GlobalHotKey : public QObject {
    Q_OBJECT

public:
    // Uses the first of `facilities` that this session offers; when a facility turns out to be
    // missing after all (no portal answered), the next one takes every registered key.
    GlobalHotKey(QList<HotKeyFacility> facilities, QObject* parent);
    // The facilities of this session, from sessionFacilities().
    explicit GlobalHotKey(QObject* parent);
    ~GlobalHotKey() override;

    // X11 grabs on an X11 session; the portal first on a Wayland session, where grabs through
    // XWayland only see keys while an X11 window has the focus; the portal alone without X.
    static QList<HotKeyFacility> sessionFacilities();

    // `description` is what the desktop shows for the combination where it lists shortcuts.
    void registerHotKey(
        Qt::Key key, Qt::KeyboardModifiers modifiers, std::function<void()> action, const QString& description = {});

    // The facility delivering the keys, if any yet.
    std::optional<HotKeyFacility> facility() const { return m_facility; }

Q_SIGNALS:
    // The keys moved to another facility, or to none.
    void facilityChanged();

private:
    struct Registration {
        quint32 id = 0;
        Qt::Key key = Qt::Key_unknown;
        Qt::KeyboardModifiers modifiers;
        QString description;
    };

    void useNextFacility();
    void fire(quint32 id);

    QList<HotKeyFacility> m_untried;
    std::map<quint32, std::function<void()>> m_handlers;
    std::vector<Registration> m_registrations;
    std::unique_ptr<HotKeyBackend> m_backend;
    std::optional<HotKeyFacility> m_facility;
};
