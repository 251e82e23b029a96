#pragma once

#include <QString>

#include <ctime>
#include <optional>

#include <sys/types.h>

// Notices that the executable file was replaced while this process runs (an update in
// place). Installing a new version writes a new file at the same path, so the path's
// modification time and inode change while /proc/self/exe still names the old file.
class ExecutableStamp {
public:
    struct Stamp {
        timespec modified {};
        ino_t inode = 0;
        dev_t device = 0;

        bool operator==(const Stamp& other) const;
    };

    // `path` is read now; an unreadable file leaves no stamp, and then nothing counts as updated.
    explicit ExecutableStamp(QString path);

    // The running executable's absolute path: /proc/self/exe resolved, else `argv0` made absolute.
    static QString runningExecutable(const char* argv0);

    static std::optional<Stamp> read(const QString& path);

    const QString& path() const { return m_path; }
    // True when the file at the path cannot be read any more or is no longer the one seen at start.
    bool wasUpdated() const;

private:
    QString m_path;
    std::optional<Stamp> m_startStamp;
};
