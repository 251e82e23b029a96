#pragma once

#include "common/Error.h"
#include "store/Store.h"

#include <memory>

namespace storePaths {

// "Quillora/Assistants.store" in the user's application-support folder
// (~/.local/share/Quillora/Assistants.store); worked out once per process.
QString storeURL();

// Opens the store file at storeURL() (creating its folder), or an empty in-memory store.
Result<std::shared_ptr<Store>> makeContainer(bool inMemory);
// Opens the store file at storeURL() like makeContainer(false), after checking it (Store::openChecked).
Store::CheckedOpen openCheckedContainer();

} // namespace storePaths
