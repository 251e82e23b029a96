#include "app/hotkeys/GlobalHotKey.h"

#include "app/hotkeys/HotKeyLog.h"
#include "app/hotkeys/PortalHotKeys.h"
#include "app/hotkeys/X11HotKeys.h"

#include <QGuiApplication>

namespace {

const char* facilityName(HotKeyFacility facility)
{
    switch (facility) {
    case HotKeyFacility::x11: return "X11 key grabs";
    case HotKeyFacility::portal: return "the GlobalShortcuts portal";
    }
    return "";
}

bool isWaylandSession()
{
    return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        || qEnvironmentVariable("XDG_SESSION_TYPE") == QStringLiteral("wayland");
}

} // namespace

GlobalHotKey::GlobalHotKey(QList<HotKeyFacility> facilities, QObject* parent)
    : QObject(parent)
    , m_untried(std::move(facilities))
{
}

GlobalHotKey::GlobalHotKey(QObject* parent)
    : GlobalHotKey(sessionFacilities(), parent)
{
}

GlobalHotKey::~GlobalHotKey() = default;

QList<HotKeyFacility> GlobalHotKey::sessionFacilities()
{
    if (QGuiApplication::platformName() != QStringLiteral("xcb")) {
        return { HotKeyFacility::portal };
    }
    if (isWaylandSession()) {
        return { HotKeyFacility::portal, HotKeyFacility::x11 };
    }
    return { HotKeyFacility::x11 };
}

void GlobalHotKey::registerHotKey(
    Qt::Key key, Qt::KeyboardModifiers modifiers, std::function<void()> action, const QString& description)
{
    const bool first = m_handlers.empty();
    const auto id = quint32(m_handlers.size() + 1);
    m_handlers[id] = std::move(action);
    m_registrations.push_back(Registration { id, key, modifiers, description });
    if (first) {
        useNextFacility();
    } else if (m_backend) {
        m_backend->add(id, key, modifiers, description);
    }
}

void GlobalHotKey::useNextFacility()
{
    m_backend.reset();
    m_facility.reset();
    while (!m_backend && !m_untried.isEmpty()) {
        const HotKeyFacility facility = m_untried.takeFirst();
        switch (facility) {
        case HotKeyFacility::x11:
            m_backend = X11HotKeys::create();
            if (m_backend && isWaylandSession()) {
                qCInfo(lcHotKeys, "On Wayland, X11 key grabs fire only while an X11 window has the focus");
            }
            break;
        case HotKeyFacility::portal: {
            const QString appId = QGuiApplication::desktopFileName();
            m_backend = PortalHotKeys::create(appId.isEmpty() ? QStringLiteral("Vessaro.Quillora") : appId);
            break;
        }
        }
        if (m_backend) {
            m_facility = facility;
            qCInfo(lcHotKeys, "Global hot keys through %s", facilityName(facility));
        }
    }
    if (!m_backend) {
        qCInfo(lcHotKeys,
            "No global hot key facility on this desktop; the bus methods ToggleListening and "
            "SuggestNow remain");
        Q_EMIT facilityChanged();
        return;
    }
    connect(m_backend.get(), &HotKeyBackend::activated, this, &GlobalHotKey::fire);
    // Queued: the backend reports from inside its own handlers and must not be destroyed there.
    connect(m_backend.get(), &HotKeyBackend::unavailable, this, &GlobalHotKey::useNextFacility, Qt::QueuedConnection);
    for (const Registration& registration : m_registrations) {
        m_backend->add(registration.id, registration.key, registration.modifiers, registration.description);
    }
    Q_EMIT facilityChanged();
}

void GlobalHotKey::fire(quint32 id)
{
    const auto handler = m_handlers.find(id);
    if (handler != m_handlers.end() && handler->second) {
        handler->second();
    }
}
