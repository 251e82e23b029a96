#pragma once

#include <QByteArray>
#include <QProcessEnvironment>

// The Qt platform plugin the desktop app asks for: "xcb" (XWayland) on a Wayland session unless the
// user chose one in QT_QPA_PLATFORM, since only X11 windows can be kept above other windows; empty
// otherwise, leaving the choice to Qt.
QByteArray preferredPlatform(const QProcessEnvironment& environment);

// The whole desktop mode; returns the exit status. `mainStartedNs` (CLOCK_MONOTONIC) dates the
// start-up trace of the "Vessaro.Quillora.startup" category; 0 dates it from this call.
int runDesktopApp(int argc, char** argv, long long mainStartedNs = 0);
