#include "app/guide/Onboarding.h"

#include "transcription/SpeechModels.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>

namespace onboarding {

namespace {

const QString callFolderName = QStringLiteral("Quillora");

// The locale the row talks about: the chosen one, else the first candidate transcription would try.
QString wantedLocale(const QString& locale, const QString& systemLocale)
{
    if (const QString chosen = locale.trimmed(); !chosen.isEmpty()) {
        return chosen;
    }
    const QString system = speechModels::canonicalLocale(systemLocale);
    return system.isEmpty() ? QStringLiteral("pt-BR") : system;
}

} // namespace

int stepsLeft(const QList<StepState>& steps, bool suggestionsReady)
{
    const auto notGranted = std::count_if(
        steps.begin(), steps.end(), [](const StepState& step) { return step.kind != StepState::Kind::granted; });
    return static_cast<int>(notGranted) + (suggestionsReady ? 0 : 1);
}

QString stepsLeftText(int left)
{
    if (left == 0) {
        return QCoreApplication::translate("Onboarding", "Everything is set up.");
    }
    return left == 1 ? QCoreApplication::translate("Onboarding", "1 required step left.")
                     : QCoreApplication::translate("Onboarding", "%1 required steps left.").arg(left);
}

StepState speechModelState(const QString& locale, const QString& systemLocale)
{
    return speechModels::resolve(locale, systemLocale) ? StepState::granted() : StepState::pending();
}

QString speechModelLine(const QString& locale, const QString& systemLocale)
{
    if (const Result<SpeechModel> model = speechModels::resolve(locale, systemLocale)) {
        return QCoreApplication::translate("Onboarding", "Transcribes on this computer with the speech model for %1.")
            .arg(model->locale);
    }
    const QString wanted = wantedLocale(locale, systemLocale);
    const QString folder = speechModels::foldersFor(wanted).first();
    return QCoreApplication::translate("Onboarding",
        "No speech model for %1 is installed. Install the package pocketsphinx-en-us for English, or put a "
        "PocketSphinx model for %1 in %2.")
        .arg(wanted, QDir::toNativeSeparators(folder));
}

StepState prepareCallFolder(const QString& documents)
{
    const QString folder = QDir(documents).filePath(callFolderName);
    return QDir().mkpath(folder) && QFileInfo(folder).isDir() ? StepState::granted() : StepState::denied();
}

StepState callFolderState(const QString& documents, const StepState& current)
{
    return QFileInfo(QDir(documents).filePath(callFolderName)).isDir() ? StepState::granted() : current;
}

QString shellQuoted(const QString& argument)
{
    const bool plain = !argument.isEmpty() && std::all_of(argument.begin(), argument.end(), [](QChar c) {
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9')
            || QStringLiteral("/._-+=:,@%").contains(c);
    });
    if (plain) {
        return argument;
    }
    QString quoted = argument;
    quoted.replace(u'\'', QStringLiteral("'\\''"));
    return u'\'' + quoted + u'\'';
}

QString toolServerCommand(const QString& executable)
{
    return QStringLiteral("claude mcp add --scope user quillora -- %1 --mcp").arg(shellQuoted(executable));
}

} // namespace onboarding
