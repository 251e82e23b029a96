#include "common/PrivateFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace privateFiles {

namespace {

Error systemError(int number)
{
    return Error { QString::fromLocal8Bit(std::strerror(number)) };
}

} // namespace

Result<void> ensureFolder(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    if (::mkdir(name.constData(), 0700) != 0) {
        if (errno == ENOENT) {
            if (!QDir().mkpath(QFileInfo(path).path())) {
                return std::unexpected(systemError(ENOENT));
            }
            if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST) {
                return std::unexpected(systemError(errno));
            }
        } else if (errno != EEXIST) {
            return std::unexpected(systemError(errno));
        }
    }
    struct stat info { };
    if (::stat(name.constData(), &info) != 0) {
        return std::unexpected(systemError(errno));
    }
    if (!S_ISDIR(info.st_mode)) {
        return std::unexpected(systemError(ENOTDIR));
    }
    if ((info.st_mode & 077) != 0 && ::chmod(name.constData(), info.st_mode & 0700) != 0) {
        return std::unexpected(systemError(errno));
    }
    return {};
}

void ensureFile(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    // Only a file this call creates is ever opened here. Closing any descriptor of a file drops every
    // POSIX lock the process holds on it, and SQLite keeps its locks on the store for as long as a
    // connection is open: a store reopened beside its open connection would lose them, and the next
    // process to close the store would take the write-ahead log this one still writes into.
    const int descriptor = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (descriptor >= 0) {
        ::close(descriptor);
        return;
    }
    if (errno == EEXIST) {
        tighten(path);
    }
}

void tighten(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat info { };
    if (::lstat(name.constData(), &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & 077) != 0) {
        ::chmod(name.constData(), info.st_mode & 0700);
    }
}

} // namespace privateFiles
