#pragma once

#include <QColor>
#include <QIcon>

enum class CallWindowIcon {
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

// The desktop theme's icon for `which` when the theme has one, else a glyph drawn in `color`.
QIcon callWindowIcon(CallWindowIcon which, const QColor& color);
