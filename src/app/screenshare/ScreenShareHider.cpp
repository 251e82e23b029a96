#include "app/screenshare/ScreenShareHider.h"

#include "screenshare/ScreenShareWatcher.h"
#include "settings/Settings.h"

#include <QAction>
#include <QApplication>
#include <QWidget>

ScreenShareHider::ScreenShareHider(Settings& settings, ScreenShareWatcher& watcher, QObject* parent)
    : QObject(parent)
    , m_settings(&settings)
    , m_watcher(&watcher)
{
    connect(m_watcher, &ScreenShareWatcher::sharingChanged, this, &ScreenShareHider::update);
    connect(m_watcher, &ScreenShareWatcher::availableChanged, this, &ScreenShareHider::update);
    connect(m_settings, &Settings::changed, this, [this](SettingKey key) {
        if (key == SettingKey::hideFromScreenShare) {
            update();
        }
    });
    update();
}

void ScreenShareHider::setHiddenByHand(bool hidden)
{
    if (m_byHand != hidden) {
        m_byHand = hidden;
        update();
    }
}

void ScreenShareHider::offerByHand(QAction* action)
{
    action->setCheckable(true);
    action->setChecked(m_byHand);
    connect(action, &QAction::toggled, this, &ScreenShareHider::setHiddenByHand);
    const auto showAction = [this, action = QPointer<QAction>(action)] {
        if (action) {
            action->setVisible(!m_watcher || !m_watcher->isAvailable());
        }
    };
    connect(m_watcher, &ScreenShareWatcher::availableChanged, action, showAction);
    showAction();
}

void ScreenShareHider::update()
{
    const bool sharing = m_watcher && m_watcher->isAvailable() && m_watcher->isSharing() && m_settings
        && m_settings->hideFromScreenShare();
    const bool hiding = m_byHand || sharing;
    if (hiding == m_hiding) {
        return;
    }
    m_hiding = hiding;
    if (hiding) {
        hideWindows();
    } else {
        showWindows();
    }
    Q_EMIT hidingChanged(hiding);
}

void ScreenShareHider::hideWindows()
{
    m_hidden.clear();
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (!window->isVisible()) {
            continue;
        }
        // An open menu or tooltip is dismissed, not brought back later.
        const Qt::WindowType type = window->windowType();
        if (type != Qt::Popup && type != Qt::ToolTip) {
            m_hidden.append(window);
        }
        window->hide();
    }
}

void ScreenShareHider::showWindows()
{
    for (const QPointer<QWidget>& window : std::as_const(m_hidden)) {
        if (!window || window->isVisible()) {
            continue;
        }
        // Coming back must not take the keyboard from whatever the user is typing into.
        const bool withoutActivating = window->testAttribute(Qt::WA_ShowWithoutActivating);
        window->setAttribute(Qt::WA_ShowWithoutActivating, true);
        window->show();
        window->setAttribute(Qt::WA_ShowWithoutActivating, withoutActivating);
    }
    m_hidden.clear();
}
