#include "app/widgets/SoundSettings.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>

#include <array>

namespace soundSettings {

QStringList command(const QString& searchPath)
{
    struct Candidate {
        const char16_t* program;
        const char16_t* argument;
    };
    static constexpr std::array candidates {
        Candidate { u"pavucontrol", nullptr },
        Candidate { u"gnome-control-center", u"sound" },
        Candidate { u"systemsettings", u"kcm_pulseaudio" },
    };
    const QStringList paths = searchPath.isEmpty() ? QStringList() : searchPath.split(u':');
    for (const Candidate& candidate : candidates) {
        const QString found = QStandardPaths::findExecutable(QString::fromUtf16(candidate.program), paths);
        if (found.isEmpty()) {
            continue;
        }
        QStringList result { found };
        if (candidate.argument) {
            result << QString::fromUtf16(candidate.argument);
        }
        return result;
    }
    return {};
}

Result<void> open()
{
    QStringList program = command();
    if (program.isEmpty()) {
        return fail(QCoreApplication::translate("soundSettings",
            "No sound settings program was found. Install pavucontrol, or open your desktop's sound settings."));
    }
    const QString executable = program.takeFirst();
    if (!QProcess::startDetached(executable, program)) {
        return fail(QCoreApplication::translate("soundSettings", "Could not start %1.").arg(executable));
    }
    return {};
}

} // namespace soundSettings
