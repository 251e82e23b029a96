#pragma once

#include "common/LazyLibrary.h"

// libpulse-simple, and libpulse with the sound-file libraries behind it, opened when audio is first
// captured or played. `PULSE(pa_…)` is a function of either; `pulseLibrary.load()` comes first.
inline LazyLibrary pulseLibrary { "libpulse-simple.so.0" };

#define PULSE(function) LAZY_CALL(pulseLibrary, function)
