#include "app/hotkeys/X11HotKeys.h"

#include "app/hotkeys/HotKeyLog.h"

#include <QGuiApplication>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <cstdlib>
#include <set>

namespace {

constexpr std::uint32_t numLockKeysym = 0xff7f;
constexpr std::uint32_t altKeysym = 0xffe9; // Alt_L
constexpr std::uint32_t superKeysym = 0xffeb; // Super_L
constexpr std::uint8_t badAccess = 10;

struct FreeDeleter {
    void operator()(void* pointer) const { std::free(pointer); }
};
template <typename T> using XcbReply = std::unique_ptr<T, FreeDeleter>;

struct KeySymbolsDeleter {
    void operator()(xcb_key_symbols_t* symbols) const { xcb_key_symbols_free(symbols); }
};
using KeySymbols = std::unique_ptr<xcb_key_symbols_t, KeySymbolsDeleter>;

std::set<xcb_keycode_t> keycodesOf(xcb_key_symbols_t* symbols, std::uint32_t keysym)
{
    std::set<xcb_keycode_t> keycodes;
    XcbReply<xcb_keycode_t> list(xcb_key_symbols_get_keycode(symbols, keysym));
    for (const xcb_keycode_t* code = list.get(); code && *code != XCB_NO_SYMBOL; ++code) {
        keycodes.insert(*code);
    }
    return keycodes;
}

// The modifier bit (Mod1 ... Mod5) a key is mapped to, or `fallback` when the keyboard map has none.
std::uint16_t modifierBitOf(
    xcb_connection_t* connection, xcb_key_symbols_t* symbols, std::uint32_t keysym, std::uint16_t fallback)
{
    const auto keycodes = keycodesOf(symbols, keysym);
    XcbReply<xcb_get_modifier_mapping_reply_t> mapping(
        xcb_get_modifier_mapping_reply(connection, xcb_get_modifier_mapping(connection), nullptr));
    if (!mapping || keycodes.empty()) {
        return fallback;
    }
    const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(mapping.get());
    const int perModifier = mapping->keycodes_per_modifier;
    for (int modifier = 0; modifier < 8; ++modifier) {
        for (int i = 0; i < perModifier; ++i) {
            if (keycodes.contains(codes[modifier * perModifier + i])) {
                return std::uint16_t(1U << modifier);
            }
        }
    }
    return fallback;
}

} // namespace

std::unique_ptr<X11HotKeys> X11HotKeys::create()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection || xcb_connection_has_error(connection)) {
        return nullptr;
    }
    std::vector<std::uint32_t> roots;
    for (auto screen = xcb_setup_roots_iterator(xcb_get_setup(connection)); screen.rem; xcb_screen_next(&screen)) {
        roots.push_back(screen.data->root);
    }
    KeySymbols symbols(xcb_key_symbols_alloc(connection));
    if (!symbols) {
        return nullptr;
    }
    ModifierMasks masks;
    masks.alt = modifierBitOf(connection, symbols.get(), altKeysym, XCB_MOD_MASK_1);
    masks.super = modifierBitOf(connection, symbols.get(), superKeysym, XCB_MOD_MASK_4);
    masks.numLock = modifierBitOf(connection, symbols.get(), numLockKeysym, XCB_MOD_MASK_2);
    return std::unique_ptr<X11HotKeys>(new X11HotKeys(connection, std::move(roots), masks));
}

X11HotKeys::X11HotKeys(xcb_connection_t* connection, std::vector<std::uint32_t> roots, ModifierMasks masks)
    : m_connection(connection)
    , m_roots(std::move(roots))
    , m_masks(masks)
{
    qGuiApp->installNativeEventFilter(this);
}

X11HotKeys::~X11HotKeys()
{
    // Without the application its X connection is gone, and the grabs with it.
    if (!qGuiApp) {
        return;
    }
    qGuiApp->removeNativeEventFilter(this);
    const auto variants = lockVariants();
    for (const Grab& grab : m_grabs) {
        for (std::uint32_t root : m_roots) {
            for (std::uint16_t locks : variants) {
                xcb_ungrab_key(m_connection, grab.keycode, root, std::uint16_t(grab.modifiers | locks));
            }
        }
    }
    xcb_flush(m_connection);
}

std::uint16_t X11HotKeys::maskOf(Qt::KeyboardModifiers modifiers) const
{
    std::uint16_t mask = 0;
    if (modifiers & Qt::ShiftModifier) {
        mask |= XCB_MOD_MASK_SHIFT;
    }
    if (modifiers & Qt::ControlModifier) {
        mask |= XCB_MOD_MASK_CONTROL;
    }
    if (modifiers & Qt::AltModifier) {
        mask |= m_masks.alt;
    }
    if (modifiers & Qt::MetaModifier) {
        mask |= m_masks.super;
    }
    return mask;
}

std::vector<std::uint16_t> X11HotKeys::lockVariants() const
{
    return { 0, XCB_MOD_MASK_LOCK, m_masks.numLock, std::uint16_t(XCB_MOD_MASK_LOCK | m_masks.numLock) };
}

void X11HotKeys::add(quint32 id, Qt::Key key, Qt::KeyboardModifiers modifiers, const QString&)
{
    const QString name = combinationText(key, modifiers);
    const auto symbol = keySymbol(key);
    KeySymbols symbols(xcb_key_symbols_alloc(m_connection));
    const auto keycodes = symbol && symbols ? keycodesOf(symbols.get(), symbol->keysym) : std::set<xcb_keycode_t>();
    if (keycodes.empty()) {
        qCWarning(lcHotKeys, "%s: the keyboard has no such key", qUtf8Printable(name));
        return;
    }
    const std::uint16_t mask = maskOf(modifiers);
    std::vector<xcb_void_cookie_t> cookies;
    for (xcb_keycode_t keycode : keycodes) {
        for (std::uint32_t root : m_roots) {
            for (std::uint16_t locks : lockVariants()) {
                // Events go to the root window even while one of this app's windows has the
                // focus, so the filter sees every press of the combination.
                cookies.push_back(xcb_grab_key_checked(m_connection, 0, root, std::uint16_t(mask | locks), keycode,
                    XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
            }
        }
        m_grabs.push_back(Grab { id, keycode, mask, HeldKey() });
    }
    int refused = 0;
    std::uint8_t firstError = 0;
    for (const xcb_void_cookie_t& cookie : cookies) {
        XcbReply<xcb_generic_error_t> error(xcb_request_check(m_connection, cookie));
        if (error) {
            firstError = firstError ? firstError : error->error_code;
            ++refused;
        }
    }
    if (refused == 0) {
        qCInfo(lcHotKeys, "%s grabbed on the X server", qUtf8Printable(name));
    } else if (firstError == badAccess) {
        qCWarning(lcHotKeys, "%s is taken by another application (%d of %zu grabs refused)", qUtf8Printable(name),
            refused, cookies.size());
    } else {
        qCWarning(lcHotKeys, "%s: the X server refused %d of %zu grabs (error %d)", qUtf8Printable(name), refused,
            cookies.size(), int(firstError));
    }
}

bool X11HotKeys::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t") {
        return false;
    }
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    const std::uint8_t type = event->response_type & 0x7f;
    if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE) {
        return false;
    }
    // Press and release events share one layout.
    const auto* key = reinterpret_cast<const xcb_key_press_event_t*>(event);
    if (type == XCB_KEY_RELEASE) {
        bool ours = false;
        for (Grab& grab : m_grabs) {
            if (grab.keycode == key->detail && grab.held.isDown()) {
                grab.held.release(key->time);
                ours = true;
            }
        }
        return ours;
    }
    const std::uint16_t relevant = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | m_masks.alt | m_masks.super;
    const std::uint16_t state = key->state & relevant;
    for (Grab& grab : m_grabs) {
        if (grab.keycode != key->detail || grab.modifiers != state) {
            continue;
        }
        if (grab.held.press(key->time)) {
            Q_EMIT activated(grab.id);
        }
        return true;
    }
    return false;
}
