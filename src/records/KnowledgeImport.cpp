#include "records/KnowledgeImport.h"

#include "common/Text.h"

#include <QCoreApplication>
#include <QFile>
#include <QScopeGuard>
#include <QStringDecoder>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace knowledgeImport {

QString message(Failure failure)
{
    switch (failure) {
    case Failure::unsupportedType: return QCoreApplication::translate("KnowledgeImport", "Only .md or .txt files.");
    case Failure::empty: return QCoreApplication::translate("KnowledgeImport", "The file is empty.");
    case Failure::notUTF8: return QCoreApplication::translate("KnowledgeImport", "The file is not UTF-8.");
    case Failure::tooLarge: return QCoreApplication::translate("KnowledgeImport", "The file is larger than 1 MB.");
    }
    return {};
}

Error error(Failure failure)
{
    return Error { message(failure) };
}

QString notRegularFile()
{
    return QCoreApplication::translate("KnowledgeImport", "Not a regular file: only a file's text can be imported.");
}

bool hasAcceptedExtension(const QString& path)
{
    const QString component = path.section(u'/', -1);
    const qsizetype dot = component.lastIndexOf(u'.');
    if (dot < 0) {
        return false;
    }
    const QString extension = component.mid(dot + 1).toLower();
    return extension == QLatin1String("md") || extension == QLatin1String("txt");
}

namespace {

// The system's own text for a read failure, as the user sees it.
QString systemMessage(int number)
{
    return QString::fromLocal8Bit(std::strerror(number));
}

std::optional<QString> decodeUtf8(const QByteArray& bytes)
{
    // The content is kept unchanged: a leading U+FEFF stays a character of it.
    QStringDecoder decoder(
        QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder.decode(bytes);
    if (decoder.hasError()) {
        return std::nullopt;
    }
    return text;
}

} // namespace

Result<Imported> readFile(const QString& path)
{
    if (!hasAcceptedExtension(path)) {
        return std::unexpected(error(Failure::unsupportedType));
    }
    // A name the file system cannot hold (a NUL, a lone surrogate) would open some other file.
    const QByteArray name = QFile::encodeName(path);
    if (path.contains(QChar(0)) || QFile::decodeName(name) != path) {
        return fail(systemMessage(ENOENT));
    }
    // Without blocking, so that a FIFO or a device never hangs the caller; then only a regular
    // file (a link to one included) is read.
    const int descriptor = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (descriptor < 0) {
        return fail(systemMessage(errno));
    }
    const auto closeDescriptor = qScopeGuard([descriptor] { ::close(descriptor); });
    struct stat status { };
    if (::fstat(descriptor, &status) != 0) {
        return fail(systemMessage(errno));
    }
    if (S_ISDIR(status.st_mode)) {
        return fail(systemMessage(EISDIR));
    }
    if (!S_ISREG(status.st_mode)) {
        return fail(notRegularFile());
    }
    // Read one byte past the limit at most, so a huge file is refused without reading it whole.
    QByteArray bytes(maxBytes + 1, Qt::Uninitialized);
    qsizetype total = 0;
    while (total < bytes.size()) {
        const ssize_t got = ::read(descriptor, bytes.data() + total, static_cast<size_t>(bytes.size() - total));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return fail(systemMessage(errno));
        }
        if (got == 0) {
            break;
        }
        total += got;
    }
    bytes.truncate(total);
    if (bytes.size() > maxBytes) {
        return std::unexpected(error(Failure::tooLarge));
    }
    if (bytes.isEmpty()) {
        return std::unexpected(error(Failure::empty));
    }
    auto content = decodeUtf8(bytes);
    if (!content) {
        return std::unexpected(error(Failure::notUTF8));
    }
    return Imported { path.section(u'/', -1), std::move(*content) };
}

Result<QString> checkText(const QJsonValue& content)
{
    if (!content.isString() || content.toString().isEmpty()) {
        return std::unexpected(error(Failure::empty));
    }
    const QString value = content.toString();
    if (text::trimSpacesAndTabs(value).isEmpty()) {
        return fail(QStringLiteral("Missing argument content."));
    }
    if (value.toUtf8().size() > maxBytes) {
        return std::unexpected(error(Failure::tooLarge));
    }
    return value;
}

} // namespace knowledgeImport
