#include "app/services/OpenedStore.h"

#include "common/Log.h"
#include "common/PrivateFiles.h"
#include "selection/Migration.h"
#include "selection/Selection.h"
#include "store/StorePaths.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>

OpenedStore openStoreForDesktop(Settings& settings)
{
    // The app's own data folder, kept from other users of the machine; a failure here shows when
    // the store itself cannot be opened.
    privateFiles::ensureFolder(QFileInfo(storePaths::storeURL()).path());
    return openStoreForDesktop(settings, storePaths::storeURL());
}

namespace {

// Moves the damaged store and its journal files (the write-ahead log first, which holds part of its
// records) to a name of their own beside it; the path it went to, or the error.
Result<QString> setAside(const QString& storePath)
{
    const QFileInfo info(storePath);
    const QString base = info.path() + u'/' + info.completeBaseName() + QStringLiteral("-damaged-")
        + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString target = base + u'.' + info.suffix();
    for (int n = 2; QFileInfo::exists(target); ++n) {
        target = base + u'-' + QString::number(n) + u'.' + info.suffix();
    }
    for (const QString& suffix : { QStringLiteral("-wal"), QStringLiteral("-shm"), QString() }) {
        const QByteArray from = QFile::encodeName(storePath + suffix);
        if (::rename(from.constData(), QFile::encodeName(target + suffix).constData()) != 0 && errno != ENOENT) {
            return fail(QString::fromLocal8Bit(std::strerror(errno)));
        }
    }
    return target;
}

} // namespace

OpenedStore openStoreForDesktop(Settings& settings, const QString& storePath)
{
    OpenedStore opened;
    Store::CheckedOpen checked = Store::openChecked(storePath);
    if (checked.damaged) {
        qCCritical(lcAssistants, "The store is damaged: %s", qUtf8Printable(checked.store.error().message));
        if (auto moved = setAside(storePath)) {
            qCCritical(lcAssistants, "The damaged store was set aside as %s", qUtf8Printable(*moved));
            opened.setAside = *moved;
            checked = Store::openChecked(storePath);
        } else {
            // Left where it is, and never written to: the app runs on an in-memory store.
            checked.store = fail(checked.store.error().message + QStringLiteral(" (") + moved.error().message + u')');
        }
    }
    auto& store = checked.store;
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
