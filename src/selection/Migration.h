#pragma once

#include "common/Error.h"
#include "records/Records.h"
#include "settings/Settings.h"
#include "store/StoreContext.h"

#include <optional>

namespace migration {

// The one-time move of the older single-prompt settings into a first assistant "General".
// Returns the assistant it created, nothing when it had nothing to do, or the save's error.
Result<std::optional<Assistant>> migrateIfNeeded(StoreContext& context, Settings& settings);

} // namespace migration
