#pragma once

#include "common/Error.h"

#include <QStringList>

namespace soundSettings {

// The desktop's sound settings as a program and its arguments: pavucontrol, GNOME's sound panel or
// KDE's, the first that is installed (searched on `PATH`, or on `searchPath` when given). Empty when
// none is.
QStringList command(const QString& searchPath = {});

// Starts the sound settings detached from the app. Fails with the user's text when none is installed
// or the program could not be started.
Result<void> open();

} // namespace soundSettings
