#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

class QAction;
class QWidget;
class ScreenShareWatcher;
class Settings;

// Keeps the app out of a shared screen: while the watcher sees a capture and "hideFromScreenShare" is
// on, or while the user asked for it by hand, every visible window of the app is hidden; when that
// ends, the windows it hid come back without taking the focus. Hot keys and tray commands keep working
// meanwhile, since neither needs a visible window.
class ScreenShareHider : public QObject {
    Q_OBJECT

public:
    ScreenShareHider(Settings& settings, ScreenShareWatcher& watcher, QObject* parent = nullptr);

    bool isHiding() const { return m_hiding; }
    bool isHiddenByHand() const { return m_byHand; }
    // The hand-held form, for desktops where the watcher cannot see a capture.
    void setHiddenByHand(bool hidden);

    // Offers `action` (checkable) as the hand-held toggle while the watcher is unavailable.
    void offerByHand(QAction* action);

Q_SIGNALS:
    void hidingChanged(bool hiding);

private:
    void update();
    void hideWindows();
    void showWindows();

    QPointer<Settings> m_settings;
    QPointer<ScreenShareWatcher> m_watcher;
    bool m_byHand = false;
    bool m_hiding = false;
    QList<QPointer<QWidget>> m_hidden;
};
