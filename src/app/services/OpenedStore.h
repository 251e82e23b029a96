#pragma once

#include "settings/Settings.h"
#include "store/Store.h"

#include <QString>

#include <memory>

struct OpenedStore {
    std::shared_ptr<Store> container;
    bool isFallback = false;
    QString loadError; // empty when the store opened and the migration (if any) saved
    // Where a damaged store file was moved before a new one was made in its place; empty when none was.
    QString setAside = QString();
};

// Opens the store file (or an in-memory store when that fails, keeping the error), and runs
// the one-time migration on a store file. Without even an in-memory store there is no
// container and the error says why. A store file SQLite finds damaged is never written to: it is
// moved aside, with its journal files, and a new store is made in its place.
OpenedStore openStoreForDesktop(Settings& settings);
// The same with the store file at `storePath` instead of storePaths::storeURL().
OpenedStore openStoreForDesktop(Settings& settings, const QString& storePath);
