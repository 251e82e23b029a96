#pragma once

#include "common/Error.h"

#include <QJsonValue>
#include <QString>

// What may become a KnowledgeFile: .md or .txt, at most 1,000,000 bytes of UTF-8 text.
namespace knowledgeImport {

enum class Failure { unsupportedType, empty, notUTF8, tooLarge };

constexpr qint64 maxBytes = 1000000;

QString message(Failure failure);
// The read failure of a path that names no regular file (a FIFO, a device, a socket).
QString notRegularFile();
Error error(Failure failure);

// True when the last path component's extension, lower-cased, is "md" or "txt".
bool hasAcceptedExtension(const QString& path);

struct Imported {
    QString name; // the last path component, as written on disk
    QString content; // the decoded text, unchanged
};

// Checks in order: extension, read (the system's message on failure; a name the file system cannot
// hold and a file that is not a regular one fail here too), size, emptiness, UTF-8.
Result<Imported> readFile(const QString& path);

// Validates text given directly (by the tool server); returns it unchanged.
Result<QString> checkText(const QJsonValue& content);

} // namespace knowledgeImport
