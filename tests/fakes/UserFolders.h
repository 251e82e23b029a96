#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

// Gives this process settings and a documents folder of its own in a temporary folder, so tests
// that run side by side never share the settings file or the call files. Make it before the first
// QSettings of the process: Qt keeps the settings folder it found then.
class UserFolders {
public:
    UserFolders()
    {
        QDir root(m_root.path());
        root.mkpath(QStringLiteral("config"));
        root.mkpath(QStringLiteral("Documents"));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome()));
        // The documents folder is read from the XDG user-dirs file, as on a desktop.
        QFile dirs(root.filePath(QStringLiteral("config/user-dirs.dirs")));
        if (dirs.open(QIODevice::WriteOnly)) {
            dirs.write("XDG_DOCUMENTS_DIR=\"" + QFile::encodeName(documents()) + "\"\n");
        }
    }

    QString configHome() const { return m_root.filePath(QStringLiteral("config")); }
    QString documents() const { return m_root.filePath(QStringLiteral("Documents")); }

private:
    QTemporaryDir m_root;
};
