#pragma once

#include "common/Error.h"

#include <QString>

// Starting the app when the user logs in, through the XDG autostart folder: a desktop entry
// "quillora.desktop" in `$XDG_CONFIG_HOME/autostart/`, which every freedesktop session reads.
namespace autostart {

// `$XDG_CONFIG_HOME/autostart/quillora.desktop` (~/.config when the variable is unset).
QString defaultEntryPath();

// The entry exists and does not say `Hidden=true` (which a session reads as "removed").
bool isEnabled(const QString& entryPath);

// Writes the entry starting `executable`, replacing any earlier one (also a hidden one).
Result<void> enable(const QString& entryPath, const QString& executable);

// Removes the entry; nothing to remove is fine.
Result<void> disable(const QString& entryPath);

// One argument of an `Exec=` line, quoted as the Desktop Entry Specification requires (a path with
// blanks or shell characters stays one argument; `%` is doubled) and then escaped as a string value.
QString execArgument(const QString& argument);

} // namespace autostart
