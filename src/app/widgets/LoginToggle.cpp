#include "app/widgets/LoginToggle.h"

#include "app/widgets/Autostart.h"
#include "common/Log.h"

#include <QCoreApplication>
#include <QSignalBlocker>

LoginToggle::LoginToggle(QString entryPath, QString executable, QWidget* parent)
    : QCheckBox(tr("Open at login"), parent)
    , m_entryPath(entryPath.isEmpty() ? autostart::defaultEntryPath() : std::move(entryPath))
    , m_executable(executable.isEmpty() ? QCoreApplication::applicationFilePath() : std::move(executable))
{
    setObjectName(QStringLiteral("openAtLogin"));
    setAccessibleName(text());
    showStored();
    connect(this, &QCheckBox::toggled, this, &LoginToggle::setOpensAtLogin);
}

void LoginToggle::showStored()
{
    const QSignalBlocker blocker(this);
    setChecked(autostart::isEnabled(m_entryPath));
}

void LoginToggle::setOpensAtLogin(bool on)
{
    // A failure shows in the toggle itself: it follows what the autostart folder holds.
    const Result<void> done = on ? autostart::enable(m_entryPath, m_executable) : autostart::disable(m_entryPath);
    if (!done) {
        qCWarning(lcSettings, "Open at login: %s", qUtf8Printable(done.error().message));
    }
    showStored();
}
