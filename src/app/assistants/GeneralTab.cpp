#include "app/assistants/GeneralTab.h"

#include "app/assistants/EditorFields.h"
#include "app/assistants/SaveAction.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QVBoxLayout>

GeneralTab::GeneralTab(StoreHolder* holder, SaveAction* save, ShownRecord shown, QWidget* parent)
    : DetailTab(holder, save, shown, parent)
    , m_name(new QLineEdit(this))
    , m_instructions(new QPlainTextEdit(this))
    , m_styleNotes(new QPlainTextEdit(this))
{
    m_name->setObjectName(QStringLiteral("name"));
    m_instructions->setObjectName(QStringLiteral("instructions"));
    m_styleNotes->setObjectName(QStringLiteral("styleNotes"));
    m_instructions->setTabChangesFocus(true);
    m_styleNotes->setTabChangesFocus(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(editorFields::label(tr("Name"), m_name, this));
    layout->addWidget(m_name);
    layout->addSpacing(8);
    layout->addWidget(editorFields::label(tr("Instructions"), m_instructions, this));
    layout->addWidget(m_instructions, 1);
    layout->addWidget(editorFields::help(
        tr("How suggestions should sound in this situation. They go into every suggestion from this assistant."),
        this));
    layout->addSpacing(8);
    layout->addWidget(editorFields::label(tr("How you answer"), m_styleNotes, this));
    layout->addWidget(m_styleNotes, 1);
    layout->addWidget(editorFields::help(
        tr("Your tone, length and expressions. Improvements from history add notes here when you accept them."), this));

    bind(m_name, &Assistant::name);
    bind(m_instructions, &Assistant::instructions);
    bind(m_styleNotes, &Assistant::styleNotes);
}

void GeneralTab::refresh()
{
    if (!hasStore()) {
        return;
    }
    const auto assistant = context().fetchOne<Assistant>(shown().id);
    if (!assistant || !*assistant) {
        return;
    }
    editorFields::show(*m_name, (*assistant)->name);
    editorFields::show(*m_instructions, (*assistant)->instructions);
    editorFields::show(*m_styleNotes, (*assistant)->styleNotes);
}
