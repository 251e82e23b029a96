#include "app/hotkeys/HotKeyLog.h"

Q_LOGGING_CATEGORY(lcHotKeys, "Vessaro.Quillora.hotkeys")
