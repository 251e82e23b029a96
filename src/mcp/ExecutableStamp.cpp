#include "mcp/ExecutableStamp.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

bool ExecutableStamp::Stamp::operator==(const Stamp& other) const
{
    return modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec
        && inode == other.inode && device == other.device;
}

ExecutableStamp::ExecutableStamp(QString path)
    : m_path(std::move(path))
    , m_startStamp(read(m_path))
{
}

QString ExecutableStamp::runningExecutable(const char* argv0)
{
    const QString resolved = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
    if (!resolved.isEmpty() && QFileInfo::exists(resolved)) {
        return resolved;
    }
    if (argv0 == nullptr || *argv0 == '\0') {
        return {};
    }
    return QFileInfo(QFile::decodeName(argv0)).absoluteFilePath();
}

std::optional<ExecutableStamp::Stamp> ExecutableStamp::read(const QString& path)
{
    if (path.isEmpty()) {
        return std::nullopt;
    }
    struct stat info { };
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) {
        return std::nullopt;
    }
    return Stamp { info.st_mtim, info.st_ino, info.st_dev };
}

bool ExecutableStamp::wasUpdated() const
{
    if (!m_startStamp) {
        return false;
    }
    const auto now = read(m_path);
    return !now || !(*now == *m_startStamp);
}
