#include "transcription/WhisperModels.h"

#include "settings/Settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QRegularExpression>
#include <QStandardPaths>

namespace whisperModels {

namespace {

// whisper.cpp's model repository at the revision whose files the sums below describe.
const QString repository =
    QStringLiteral("https://huggingface.co/ggerganov/whisper.cpp/resolve/5359861c739e955e79d9a303bcbc70fb988958b1/");

bool isHex(const QByteArray& text, qsizetype length)
{
    static const QRegularExpression hex(QStringLiteral("^[0-9a-f]+$"));
    return text.size() == length && hex.match(QString::fromLatin1(text)).hasMatch();
}

bool isPlainModelFile(const QString& file)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_][A-Za-z0-9._-]*\\.bin$"));
    return plain.match(file).hasMatch();
}

} // namespace

QString folder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + QStringLiteral("/Quillora/speech/whisper");
}

QString pathFor(const QString& file)
{
    return folder() + u'/' + file;
}

QList<WhisperModelEntry> builtInList()
{
    const QStringList multilingual { QStringLiteral("multilingual") };
    return {
        { QStringLiteral("tiny"), QCoreApplication::translate("WhisperModels", "Whisper tiny (fastest)"),
            QStringLiteral("ggml-tiny.bin"), QUrl(repository + QStringLiteral("ggml-tiny.bin")), 77691713,
            "be07e048e1e599ad46341c8d2a135645097a538221678b7acdd1b1919c6e1b21", {}, multilingual },
        { QStringLiteral("base"), QCoreApplication::translate("WhisperModels", "Whisper base (recommended)"),
            QStringLiteral("ggml-base.bin"), QUrl(repository + QStringLiteral("ggml-base.bin")), 147951465,
            "60ed5bc3dd14eea856493d334349b405782ddcaf0028d4b5df4088345fba2efe", {}, multilingual },
        { QStringLiteral("small"), QCoreApplication::translate("WhisperModels", "Whisper small (most accurate)"),
            QStringLiteral("ggml-small.bin"), QUrl(repository + QStringLiteral("ggml-small.bin")), 487601967,
            "1be3a9b2063867b937e64e2ec7483364a79917e157fa98c5d94b5c1fffea987b", {}, multilingual },
    };
}

Result<QList<WhisperModelEntry>> parseList(const QByteArray& json)
{
    const QString refused = QCoreApplication::translate("WhisperModels", "The speech model list could not be read.");
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()
        || !document.object().value(QStringLiteral("models")).isArray()) {
        return fail(refused);
    }
    QList<WhisperModelEntry> entries;
    for (const QJsonValue& value : document.object().value(QStringLiteral("models")).toArray()) {
        const QJsonObject object = value.toObject();
        WhisperModelEntry entry;
        entry.id = object.value(QStringLiteral("id")).toString();
        entry.name = object.value(QStringLiteral("name")).toString();
        entry.file = object.value(QStringLiteral("file")).toString();
        entry.url = QUrl(object.value(QStringLiteral("url")).toString());
        entry.bytes = qint64(object.value(QStringLiteral("bytes")).toDouble(-1));
        entry.sha256 = object.value(QStringLiteral("sha256")).toString().toLower().toLatin1();
        entry.sha1 = object.value(QStringLiteral("sha1")).toString().toLower().toLatin1();
        for (const QJsonValue& language : object.value(QStringLiteral("languages")).toArray()) {
            entry.languages.append(language.toString());
        }
        const bool checksum = entry.sha256.isEmpty() ? isHex(entry.sha1, 40) : isHex(entry.sha256, 64);
        const bool web = entry.url.isValid()
            && (entry.url.scheme() == QLatin1String("https") || entry.url.scheme() == QLatin1String("http"));
        if (entry.id.isEmpty() || entry.name.isEmpty() || !isPlainModelFile(entry.file) || !web || entry.bytes <= 0
            || !checksum) {
            return fail(refused);
        }
        entries.append(entry);
    }
    return entries;
}

QStringList installed()
{
    return QDir(folder()).entryList({ QStringLiteral("*.bin") }, QDir::Files, QDir::Name);
}

Result<QString> installedPath(const QString& chosen)
{
    const QStringList files = installed();
    if (!chosen.isEmpty() && files.contains(chosen)) {
        return pathFor(chosen);
    }
    if (files.isEmpty()) {
        return fail(QCoreApplication::translate("WhisperModels",
            "No Whisper speech model is installed. Download one in Settings (Ctrl+,) > General > "
            "Transcription."));
    }
    return pathFor(files.first());
}

WhisperModelEntry recommended(const QList<WhisperModelEntry>& list)
{
    for (const WhisperModelEntry& entry : list) {
        if (entry.id == QLatin1String("base")) {
            return entry;
        }
    }
    return list.value(0);
}

void use(Settings& settings, const QString& file)
{
    settings.setText(SettingKey::whisperModel, file);
    settings.setText(SettingKey::transcriptionEngine, QStringLiteral("whisper"));
}

QString sizeText(qint64 bytes)
{
    return QLocale().formattedDataSize(bytes, 0, QLocale::DataSizeSIFormat);
}

} // namespace whisperModels
