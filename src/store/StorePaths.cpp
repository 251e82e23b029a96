#include "store/StorePaths.h"

#include "common/PrivateFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace storePaths {

QString storeURL()
{
    static const QString path = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + QStringLiteral("/Quillora/Assistants.store");
    return path;
}

Result<std::shared_ptr<Store>> makeContainer(bool inMemory)
{
    if (inMemory) {
        return Store::openInMemory();
    }
    // The app's own data folder, kept from other users of the machine.
    if (Result<void> folder = privateFiles::ensureFolder(QFileInfo(storeURL()).path()); !folder) {
        return std::unexpected(folder.error());
    }
    return Store::open(storeURL());
}

Store::CheckedOpen openCheckedContainer()
{
    if (Result<void> folder = privateFiles::ensureFolder(QFileInfo(storeURL()).path()); !folder) {
        return { std::unexpected(folder.error()) };
    }
    return Store::openChecked(storeURL());
}

} // namespace storePaths
