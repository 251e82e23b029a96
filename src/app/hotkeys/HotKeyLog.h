#pragma once

#include <QLoggingCategory>

// "Vessaro.Quillora.hotkeys": which facility delivers the global hot keys, and refused grabs.
Q_DECLARE_LOGGING_CATEGORY(lcHotKeys)
