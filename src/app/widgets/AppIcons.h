#pragma once

#include <QColor>
#include <QIcon>

enum class AppIcon {
    play,
    stop,
    trash,
    assistants,
    pin,
    copy,
    folder,
    thumbsUp,
    thumbsDown,
    sparkles,
    warning,
    waveform,
};

// The desktop theme's icon for `which` when the theme has one, else a glyph drawn in `color`. Until
// loadThemeIcons() has run, the glyph stands in for the theme's icon too.
QIcon appIcon(AppIcon which, const QColor& color);

// Reads the desktop theme's icons (once). Looking the first one up loads the theme's index and Qt's
// icon plugins, which takes longer than the whole window's first frame, so the window does this
// after its first paint and repaints.
void loadThemeIcons();
