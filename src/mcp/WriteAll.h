#pragma once

#include <QByteArray>

#include <cerrno>

#include <unistd.h>

// Writes all of `bytes` straight to the descriptor, so a reader waiting on the pipe sees them at
// once. False when the reader is gone.
inline bool writeAll(int fd, const QByteArray& bytes)
{
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(left));
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += written;
        left -= written;
    }
    return true;
}
