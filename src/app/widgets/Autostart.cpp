#include "app/widgets/Autostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QObject>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>

namespace autostart {

QString defaultEntryPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/autostart/quillora.desktop");
}

bool isEnabled(const QString& entryPath)
{
    QFile file(entryPath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return false;
    }
    // Only the main group counts; actions and other groups may carry keys of the same name.
    bool inMainGroup = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(u'[')) {
            inMainGroup = line == u"[Desktop Entry]";
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (inMainGroup && equals > 0 && line.first(equals).trimmed() == u"Hidden") {
            return line.sliced(equals + 1).trimmed() != u"true";
        }
    }
    return true;
}

Result<void> enable(const QString& entryPath, const QString& executable)
{
    const QString folder = QFileInfo(entryPath).absolutePath();
    if (!QDir().mkpath(folder)) {
        return fail(QObject::tr("Could not create the folder %1.").arg(folder));
    }
    const QString entry = QStringLiteral("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Name=Quillora\n"
                                         "Comment=Reply suggestions during video calls\n"
                                         "Exec=%1\n"
                                         "Icon=Vessaro.Quillora\n"
                                         "Terminal=false\n"
                                         "X-GNOME-Autostart-enabled=true\n")
                              .arg(execArgument(executable));
    QSaveFile file(entryPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(entry.toUtf8()) < 0 || !file.commit()) {
        return fail(QObject::tr("Could not write %1: %2").arg(entryPath, file.errorString()));
    }
    return {};
}

Result<void> disable(const QString& entryPath)
{
    QFile file(entryPath);
    if (!file.exists() || file.remove()) {
        return {};
    }
    return fail(QObject::tr("Could not remove %1: %2").arg(entryPath, file.errorString()));
}

QString execArgument(const QString& argument)
{
    // Characters the desktop entry format reserves in Exec: an argument holding any of them is double-quoted,
    // and inside the quotes these four take a backslash.
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    const bool quote = argument.isEmpty()
        || std::any_of(argument.begin(), argument.end(), [](QChar c) { return reserved.contains(c); });
    QString quoted;
    for (const QChar c : argument) {
        if (quote && (c == u'"' || c == u'`' || c == u'$' || c == u'\\')) {
            quoted += u'\\';
        }
        // A lone % would start a field code.
        quoted += c == u'%' ? QStringLiteral("%%") : QString(c);
    }
    if (quote) {
        quoted = u'"' + quoted + u'"';
    }
    // The value is a string first: its own escapes are undone before the quoting is read.
    quoted.replace(u'\\', QStringLiteral("\\\\"));
    quoted.replace(u'\n', QStringLiteral("\\n"));
    quoted.replace(u'\t', QStringLiteral("\\t"));
    return quoted;
}

} // namespace autostart
