#include "store/StorePaths.h"

#include <QDir>
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
    return inMemory ? Store::openInMemory() : Store::open(storeURL());
}

} // namespace storePaths
