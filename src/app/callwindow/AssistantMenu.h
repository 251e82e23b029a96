#pragma once

#include <QPointer>
#include <QWidget>

class QLabel;
class QMenu;
class QToolButton;
class Settings;
class StoreHolder;

// The header's assistant and context choice for the call: a borderless menu button naming the chosen
// assistant and context, whose menu lists the active assistants and the chosen assistant's active
// contexts by name. With a store load error it shows that error in red instead. Follows the store and
// the selection settings, so a change made anywhere shows at once.
class AssistantMenu : public QWidget {
    Q_OBJECT

public:
    AssistantMenu(StoreHolder* holder, Settings* settings, const QString& loadError, QWidget* parent);

    QToolButton* button() const { return m_button; }
    QMenu* menu() const { return m_menu; }

private:
    void refresh();

    QPointer<StoreHolder> m_holder;
    QPointer<Settings> m_settings;
    QToolButton* m_button;
    QMenu* m_menu;
    QLabel* m_error;
};
