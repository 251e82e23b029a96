#include "app/tray/AppMenu.h"

#include "app/services/DesktopServices.h"
#include "app/widgets/AppIcons.h"
#include "app/widgets/AppStyle.h"
#include "transcription/TranscriptionService.h"

#include <QAction>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QWidget>

AppMenu::AppMenu(DesktopServices& services, QObject* parent)
    : QObject(parent)
    , m_services(&services)
    , m_transcription(&services.transcription())
    , m_menu(std::make_unique<QMenu>())
{
    m_menu->setObjectName(QStringLiteral("appMenu"));
    m_showWindow = m_menu->addAction(tr("Show Quillora"));
    connect(m_showWindow, &QAction::triggered, this, &AppMenu::showWindowRequested);
    m_listen = m_menu->addAction(QString());
    connect(m_listen, &QAction::triggered, this, [this] {
        if (m_services) {
            m_services->toggleListening();
        }
    });
    m_hideWhileSharing = m_menu->addAction(tr("Hide while sharing"));
    m_hideWhileSharing->setCheckable(true);
    m_hideWhileSharing->setVisible(false);
    m_menu->addSeparator();
    m_assistants = m_menu->addAction(tr("Assistants…"));
    m_assistants->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A));
    connect(m_assistants, &QAction::triggered, this, &AppMenu::assistantsRequested);
    m_settings = m_menu->addAction(tr("Settings…"));
    m_settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    connect(m_settings, &QAction::triggered, this, &AppMenu::settingsRequested);
    m_setup = m_menu->addAction(tr("Setup…"));
    connect(m_setup, &QAction::triggered, this, &AppMenu::setupRequested);
    // Enabled while the updater can check (CheckForUpdatesView).
    m_updates = m_menu->addAction(tr("Check for Updates…"));
    m_updates->setEnabled(false);
    m_menu->addSeparator();
    m_quit = m_menu->addAction(tr("Quit Quillora"));
    connect(m_quit, &QAction::triggered, this, &AppMenu::quitRequested);
    for (QAction* action : m_menu->actions()) {
        // Shortcuts act in every window the menu is attached to, not only in the focused widget.
        action->setShortcutContext(Qt::WindowShortcut);
    }

    m_tray = new QSystemTrayIcon(appIcon(AppIcon::waveform, appStyle::green()), this);
    m_tray->setToolTip(tr("Quillora"));
    m_tray->setContextMenu(m_menu.get());
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) {
            Q_EMIT showWindowRequested();
        }
    });

    connect(m_transcription, &TranscriptionService::runningChanged, this, &AppMenu::showListening);
    showListening();
}

AppMenu::~AppMenu() = default;

void AppMenu::attachTo(QWidget* window)
{
    for (QAction* action : m_menu->actions()) {
        if (!action->shortcut().isEmpty()) {
            window->addAction(action);
        }
    }
    window->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(window, &QWidget::customContextMenuRequested, m_menu.get(),
        [menu = m_menu.get(), window](const QPoint& position) { menu->popup(window->mapToGlobal(position)); });
}

void AppMenu::showTrayIcon()
{
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        m_tray->show();
    }
}

void AppMenu::showListening()
{
    const bool running = m_transcription && m_transcription->isRunning();
    m_listen->setText(running ? tr("Stop Listening") : tr("Start Listening"));
}
