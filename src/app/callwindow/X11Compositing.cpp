#include "app/callwindow/X11Compositing.h"

#include <QByteArray>
#include <QGuiApplication>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

namespace x11Compositing {

namespace {

struct FreeDeleter {
    void operator()(void* pointer) const { std::free(pointer); }
};

} // namespace

bool isActive()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection) {
        return true;
    }
    // A compositing manager owns the selection _NET_WM_CM_S<screen> while it runs (EWMH); the
    // screen of the app's connection is the first one in all but exotic set-ups.
    const QByteArray name = QByteArrayLiteral("_NET_WM_CM_S0");
    const std::unique_ptr<xcb_intern_atom_reply_t, FreeDeleter> atom(xcb_intern_atom_reply(connection,
        xcb_intern_atom(connection, 1, static_cast<std::uint16_t>(name.size()), name.constData()), nullptr));
    if (!atom || atom->atom == XCB_ATOM_NONE) {
        return false;
    }
    const std::unique_ptr<xcb_get_selection_owner_reply_t, FreeDeleter> owner(
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, atom->atom), nullptr));
    return owner && owner->owner != XCB_NONE;
}

} // namespace x11Compositing
