#include "app/services/OpenedStore.h"

#include "common/Log.h"
#include "common/PrivateFiles.h"
#include "selection/Migration.h"
#include "selection/Selection.h"
#include "store/StorePaths.h"

#include <QFileInfo>

OpenedStore openStoreForDesktop(Settings& settings)
{
    // The app's own data folder, kept from other users of the machine; a failure here shows when
    // the store itself cannot be opened.
    privateFiles::ensureFolder(QFileInfo(storePaths::storeURL()).path());
    return openStoreForDesktop(settings, storePaths::storeURL());
}

OpenedStore openStoreForDesktop(Settings& settings, const QString& storePath)
{
    OpenedStore opened;
    auto store = Store::open(storePath);
    if (store) {
        opened.container = *store;
        auto context = opened.container->newContext();
        auto migrated = migration::migrateIfNeeded(*context, settings);
        if (!migrated) {
            qCCritical(lcAssistants, "Migration failed: %s", qUtf8Printable(migrated.error().message));
            opened.loadError = migrated.error().message;
        } else if (*migrated) {
            selection::saveSelection(**migrated, std::nullopt, settings);
        }
        return opened;
    }
    qCCritical(lcAssistants, "Opening the store failed: %s", qUtf8Printable(store.error().message));
    opened.loadError = store.error().message;
    opened.isFallback = true;
    auto memory = storePaths::makeContainer(true);
    if (memory) {
        opened.container = *memory;
    } else {
        opened.loadError = memory.error().message;
    }
    return opened;
}
