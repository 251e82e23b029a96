#include "model/KnowledgeImport.h"

#include "common/Text.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <cerrno>
#include <cstring>

namespace knowledgeImport {

QString message(Failure failure)
{
    switch (failure) {
    case Failure::unsupportedType: return QStringLiteral("Only .md or .txt files.");
    case Failure::empty: return QStringLiteral("The file is empty.");
    case Failure::notUTF8: return QStringLiteral("The file is not UTF-8.");
    case Failure::tooLarge: return QStringLiteral("The file is larger than 1 MB.");
    }
    return {};
}

Error error(Failure failure)
{
    return Error { message(failure) };
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

std::optional<QString> decodeUtf8(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
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
    const QFileInfo info(path);
    if (info.isDir()) {
        return fail(QString::fromLocal8Bit(std::strerror(EISDIR)));
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return fail(file.errorString());
    }
    // Read one byte past the limit at most, so a huge file is refused without reading it whole.
    const QByteArray bytes = file.read(maxBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        return fail(file.errorString());
    }
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
    return Imported { info.fileName(), std::move(*content) };
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
