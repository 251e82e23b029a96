#pragma once

#include <QObject>
#include <QPointer>

#include <memory>

class DesktopServices;
class QAction;
class QMenu;
class QSystemTrayIcon;
class QWidget;
class TranscriptionService;

// The app's commands. The floating window has no menu bar, so they are offered as the menu of a tray
// icon (a status notifier item where the desktop has one) and as the context menu of the app's
// windows. Its actions are the one owner of their keys (Ctrl+Shift+A for the assistants, Ctrl+, for
// the settings) in every window the menu is attached to: a second binding of the same keys in a
// window would make Qt fire neither.
class AppMenu : public QObject {
    Q_OBJECT

public:
    AppMenu(DesktopServices& services, QObject* parent);
    ~AppMenu() override;

    QMenu* menu() const { return m_menu.get(); }
    QAction* showWindowAction() const { return m_showWindow; }
    QAction* listenAction() const { return m_listen; }
    // "Hide while sharing": checkable, hidden until someone offers it (where captures cannot be seen).
    QAction* hideWhileSharingAction() const { return m_hideWhileSharing; }
    QAction* assistantsAction() const { return m_assistants; }
    QAction* settingsAction() const { return m_settings; }
    QAction* setupAction() const { return m_setup; }
    QAction* updatesAction() const { return m_updates; }
    QAction* quitAction() const { return m_quit; }
    QSystemTrayIcon* trayIcon() const { return m_tray; }

    // Offers the menu as `window`'s context menu and makes its shortcuts work while `window` is active.
    void attachTo(QWidget* window);
    // Shows the tray icon where the desktop has a tray; the context menus serve where it has none.
    void showTrayIcon();

Q_SIGNALS:
    void showWindowRequested();
    void assistantsRequested();
    void settingsRequested();
    void setupRequested();
    void quitRequested();

private:
    void showListening();

    QPointer<DesktopServices> m_services;
    QPointer<TranscriptionService> m_transcription;
    std::unique_ptr<QMenu> m_menu;
    QAction* m_showWindow = nullptr;
    QAction* m_listen = nullptr;
    QAction* m_hideWhileSharing = nullptr;
    QAction* m_assistants = nullptr;
    QAction* m_settings = nullptr;
    QAction* m_setup = nullptr;
    QAction* m_updates = nullptr;
    QAction* m_quit = nullptr;
    QSystemTrayIcon* m_tray = nullptr;
};
