#pragma once

#include "app/hotkeys/HeldKey.h"
#include "app/hotkeys/HotKeyBackend.h"

#include <QAbstractNativeEventFilter>

#include <cstdint>
#include <memory>
#include <vector>

struct xcb_connection_t;

// Global hot keys on an X server: passive key grabs on the root windows, read from the
// application's own X connection by a native event filter.
class X11HotKeys : public HotKeyBackend, public QAbstractNativeEventFilter {
    Q_OBJECT

public:
    // nullptr unless the application runs on the xcb platform.
    static std::unique_ptr<X11HotKeys> create();
    ~X11HotKeys() override;

    void add(quint32 id, Qt::Key key, Qt::KeyboardModifiers modifiers, const QString& description) override;
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    struct ModifierMasks {
        std::uint16_t alt = 0;
        std::uint16_t super = 0;
        std::uint16_t numLock = 0;
    };
    struct Grab {
        quint32 id = 0;
        std::uint8_t keycode = 0;
        std::uint16_t modifiers = 0;
        HeldKey held;
    };

    X11HotKeys(xcb_connection_t* connection, std::vector<std::uint32_t> roots, ModifierMasks masks);
    std::uint16_t maskOf(Qt::KeyboardModifiers modifiers) const;
    // The lock keys that must not change what a combination means.
    std::vector<std::uint16_t> lockVariants() const;

    xcb_connection_t* m_connection;
    const std::vector<std::uint32_t> m_roots;
    const ModifierMasks m_masks;
    std::vector<Grab> m_grabs;
};
