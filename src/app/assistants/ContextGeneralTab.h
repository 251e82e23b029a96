#pragma once

#include "app/assistants/DetailTab.h"

class QLineEdit;
class QMenu;
class QToolButton;

// A context's name and stage, with the stages of its assistant's template offered as suggestions;
// every change is saved.
class ContextGeneralTab : public DetailTab {
    Q_OBJECT

public:
    ContextGeneralTab(StoreHolder* holder, SaveAction* save, ShownRecord shown, QWidget* parent);

    void refresh() override;

    QLineEdit* name() const { return m_name; }
    QLineEdit* stage() const { return m_stage; }
    QToolButton* suggestions() const { return m_suggestions; }

private:
    void setStage(const QString& stage);

    QLineEdit* m_name;
    QLineEdit* m_stage;
    QToolButton* m_suggestions;
    QMenu* m_stages;
    QStringList m_shownStages;
};
