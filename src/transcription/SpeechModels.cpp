#include "transcription/SpeechModels.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace speechModels {

namespace {

const QString systemModelRoot = QStringLiteral("/usr/share/pocketsphinx/model");

QString unsupported(const QString& locale)
{
    return QCoreApplication::translate("SpeechModels", "On-device transcription does not support %1 on this computer.")
        .arg(locale);
}

std::optional<SpeechModel> modelIn(const QString& folder, const QString& locale)
{
    const QDir dir(folder);
    if (!dir.exists()) {
        return std::nullopt;
    }
    SpeechModel model { locale, {}, {}, {} };
    for (const QFileInfo& entry : dir.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        if (QFileInfo::exists(entry.filePath() + QStringLiteral("/mdef"))) {
            model.acousticModel = entry.filePath();
            break;
        }
    }
    // A phone-loop language model ("-phone.lm.bin") decodes phones, not words: skip it.
    for (const QFileInfo& entry :
        dir.entryInfoList({ QStringLiteral("*.lm.bin"), QStringLiteral("*.lm") }, QDir::Files, QDir::Name)) {
        if (!entry.fileName().contains(QLatin1String("-phone."))) {
            model.languageModel = entry.filePath();
            break;
        }
    }
    const QFileInfoList dictionaries =
        dir.entryInfoList({ QStringLiteral("*.dict"), QStringLiteral("*.dic") }, QDir::Files, QDir::Name);
    if (!dictionaries.isEmpty()) {
        model.dictionary = dictionaries.first().filePath();
    }
    if (model.acousticModel.isEmpty() || model.languageModel.isEmpty() || model.dictionary.isEmpty()) {
        return std::nullopt;
    }
    return model;
}

} // namespace

QStringList foldersFor(const QString& locale)
{
    return { QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Quillora/speech/")
            + locale,
        systemModelRoot + QLatin1Char('/') + locale.toLower() };
}

std::optional<SpeechModel> find(const QString& locale)
{
    if (locale.isEmpty()) {
        return std::nullopt;
    }
    for (const QString& folder : foldersFor(locale)) {
        if (auto model = modelIn(folder, locale)) {
            return model;
        }
    }
    return std::nullopt;
}

QString canonicalLocale(const QString& name)
{
    QString value = name.section(QLatin1Char('.'), 0, 0).section(QLatin1Char('@'), 0, 0);
    value.replace(QLatin1Char('_'), QLatin1Char('-'));
    if (value.isEmpty() || value == QLatin1String("C") || value == QLatin1String("POSIX")) {
        return {};
    }
    const qsizetype dash = value.indexOf(QLatin1Char('-'));
    if (dash < 0) {
        return value.toLower();
    }
    return value.left(dash).toLower() + QLatin1Char('-') + value.mid(dash + 1).toUpper();
}

Result<SpeechModel> resolve(const QString& requested, const QString& systemLocale)
{
    // "auto" is the Whisper engine's language detection; PocketSphinx then goes by the system locale.
    const QString wanted = requested.trimmed() == QLatin1String("auto") ? QString() : requested.trimmed();
    if (!wanted.isEmpty()) {
        if (auto model = find(wanted)) {
            return *model;
        }
        return fail(unsupported(wanted));
    }
    QStringList candidates;
    if (const QString system = canonicalLocale(systemLocale); !system.isEmpty()) {
        candidates.append(system);
    }
    candidates.append(QStringLiteral("pt-BR"));
    candidates.append(QStringLiteral("en-US"));
    for (const QString& candidate : candidates) {
        if (auto model = find(candidate)) {
            return *model;
        }
    }
    // Nothing installed at all: name the locale that would have been preferred.
    return fail(unsupported(candidates.first()));
}

} // namespace speechModels
