#include "app/assistants/QuestionEditor.h"

#include "app/assistants/EditorFields.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

QuestionEditor::QuestionEditor(QWidget* parent)
    : QWidget(parent)
    , m_question(new QLineEdit(this))
    , m_answer(new QPlainTextEdit(this))
    , m_language(new QComboBox(this))
    , m_source(new QLabel(this))
    , m_remove(new QPushButton(tr("Remove question"), this))
{
    m_question->setObjectName(QStringLiteral("question"));
    m_question->setPlaceholderText(tr("e.g. What are your salary expectations?"));
    m_answer->setObjectName(QStringLiteral("answer"));
    m_answer->setTabChangesFocus(true);
    m_language->setObjectName(QStringLiteral("answerLanguage"));
    m_language->addItem(tr("Any"), QString());
    m_language->addItem(tr("Portuguese"), language::portuguese);
    m_language->addItem(tr("English"), language::english);
    m_source->setObjectName(QStringLiteral("source"));
    m_remove->setObjectName(QStringLiteral("removeQuestion"));

    auto* languageRow = new QHBoxLayout;
    languageRow->addWidget(editorFields::label(tr("Answer language"), m_language, this));
    languageRow->addWidget(m_language);
    languageRow->addStretch();
    auto* sourceRow = new QHBoxLayout;
    // The value label keeps its own text as its name, so a screen reader reads where the item came from.
    sourceRow->addWidget(editorFields::label(tr("Source"), nullptr, this));
    sourceRow->addWidget(m_source, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(editorFields::label(tr("Question"), m_question, this));
    layout->addWidget(m_question);
    layout->addWidget(editorFields::label(tr("Your answer"), m_answer, this));
    layout->addWidget(m_answer, 1);
    layout->addWidget(editorFields::help(
        tr("The suggestion uses this answer as its base and translates it to the language of the question."), this));
    layout->addWidget(
        editorFields::help(tr("Without a question and an answer, this item is left out of suggestions."), this));
    layout->addLayout(languageRow);
    layout->addLayout(sourceRow);
    layout->addWidget(m_remove, 0, Qt::AlignLeft);

    connect(m_question, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (m_item) {
            Q_EMIT questionEdited(*m_item, text);
        }
    });
    connect(m_question, &QLineEdit::editingFinished, this, &QuestionEditor::editingFinished);
    connect(m_answer, &QPlainTextEdit::textChanged, this, [this] {
        if (m_item) {
            Q_EMIT answerEdited(*m_item, m_answer->toPlainText());
        }
    });
    connect(m_language, &QComboBox::activated, this, [this](int index) {
        if (m_item) {
            Q_EMIT languageChosen(*m_item, m_language->itemData(index).toString());
        }
    });
    connect(m_remove, &QPushButton::clicked, this, &QuestionEditor::confirmRemoval);
}

void QuestionEditor::show(const QAItem& item)
{
    if (m_item != item.id) {
        // Another item: its values replace whatever the fields held.
        m_item = item.id;
        const QSignalBlocker questionBlocker(m_question);
        const QSignalBlocker answerBlocker(m_answer);
        m_question->setText(item.question);
        m_answer->setPlainText(item.answer);
    } else {
        editorFields::show(*m_question, item.question);
        editorFields::show(*m_answer, item.answer);
    }
    const int languageIndex = m_language->findData(item.language);
    const QSignalBlocker languageBlocker(m_language);
    m_language->setCurrentIndex(languageIndex < 0 ? 0 : languageIndex);
    m_source->setText(item.source == u"manual" ? tr("Written by you") : tr("Improvement from history"));
}

void QuestionEditor::focusQuestion()
{
    m_question->setFocus(Qt::OtherFocusReason);
}

void QuestionEditor::confirmRemoval()
{
    if (!m_item || m_confirmation) {
        return;
    }
    m_confirmation = new QMessageBox(
        QMessageBox::Question, tr("Remove question"), tr("Remove this question?"), QMessageBox::NoButton, this);
    m_confirmation->setAttribute(Qt::WA_DeleteOnClose);
    QPushButton* remove = m_confirmation->addButton(tr("Remove"), QMessageBox::DestructiveRole);
    m_confirmation->addButton(QMessageBox::Cancel);
    m_confirmation->setDefaultButton(QMessageBox::Cancel);
    const QUuid item = *m_item;
    connect(m_confirmation, &QMessageBox::buttonClicked, this, [this, remove, item](QAbstractButton* clicked) {
        if (clicked == remove) {
            Q_EMIT removeConfirmed(item);
        }
    });
    m_confirmation->open();
}
