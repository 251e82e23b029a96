#pragma once

namespace x11Compositing {

// Whether a compositing manager draws the windows, so that the transparent parts of a translucent
// window show what lies beneath. Always true off X11 (a Wayland compositor always composites); on an
// X server without one, transparent pixels come out black.
bool isActive();

} // namespace x11Compositing
