#include "app/settings/SettingsWindow.h"

#include "app/settings/AudioTestView.h"
#include "app/settings/GeneralSettingsView.h"
#include "app/settings/SuggestionSettingsView.h"
#include "app/widgets/AccessibleFrame.h"
#include "app/widgets/AppIcons.h"

#include <QIcon>
#include <QTabWidget>
#include <QVBoxLayout>

SettingsWindow::SettingsWindow(Settings& settings, Keychain& keychain, QWidget* parent, SettingsWindowOptions options)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("settings"));
    setWindowTitle(tr("Quillora Settings"));
    presentAsFrame(this);
    m_tabs = new QTabWidget(this);
    m_tabs->setDocumentMode(true);
    m_general = new GeneralSettingsView(
        settings, keychain, std::move(options.autostartEntry), std::move(options.executable), m_tabs);
    m_suggestions = new SuggestionSettingsView(settings, keychain, m_tabs);
    m_audioTest = new AudioTestView(m_tabs);
    const QColor iconColour = palette().color(QPalette::WindowText);
    m_tabs->addTab(m_general, QIcon::fromTheme(QStringLiteral("preferences-system")), tr("General"));
    m_tabs->addTab(m_suggestions, appIcon(AppIcon::sparkles, iconColour), tr("Suggestions"));
    m_tabs->addTab(m_audioTest, appIcon(AppIcon::waveform, iconColour), tr("Audio Test"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_tabs);
    resize(520, 460);
}

void SettingsWindow::present()
{
    show();
    raise();
    activateWindow();
}
