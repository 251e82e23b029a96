#include "app/guide/Onboarding.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>

namespace onboarding {

namespace {

const QString callFolderName = QStringLiteral("Quillora");

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

QString downloadingText(qint64 received, qint64 total)
{
    const qint64 percent = total > 0 ? std::clamp<qint64>(received * 100 / total, 0, 100) : 0;
    return QCoreApplication::translate("Onboarding", "Downloading %1%").arg(percent);
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
