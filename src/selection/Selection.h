#pragma once

#include "records/Records.h"
#include "settings/Settings.h"
#include "store/StoreContext.h"

#include <optional>

struct Selection {
    std::optional<Assistant> assistant;
    std::optional<CallContext> context;
};

namespace selection {

// The assistant and context for the next call: the remembered active assistant, else the
// oldest active one; the remembered context only when it is one of that assistant's active
// contexts. Nothing is written back.
Selection resolveSelection(StoreContext& context, const Settings& settings);

// Remembers a choice; no context removes "selectedContext".
void saveSelection(const Assistant& assistant, const std::optional<CallContext>& context, Settings& settings);

// The assistant recorded for a call and its context with the given id (archived or not).
Selection lookupSelection(
    const std::optional<QUuid>& assistantId, const std::optional<QUuid>& contextId, StoreContext& context);

} // namespace selection
