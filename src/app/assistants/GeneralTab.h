#pragma once

#include "app/assistants/DetailTab.h"

class QLineEdit;
class QPlainTextEdit;

// An assistant's name, instructions and style notes; every change is saved.
class GeneralTab : public DetailTab {
    Q_OBJECT

public:
    GeneralTab(StoreHolder* holder, SaveAction* save, ShownRecord shown, QWidget* parent);

    void refresh() override;

    QLineEdit* name() const { return m_name; }
    QPlainTextEdit* instructions() const { return m_instructions; }
    QPlainTextEdit* styleNotes() const { return m_styleNotes; }

private:
    QLineEdit* m_name;
    QPlainTextEdit* m_instructions;
    QPlainTextEdit* m_styleNotes;
};
