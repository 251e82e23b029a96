#include "app/assistants/ProposalView.h"

#include "app/assistants/EditorFields.h"
#include "app/widgets/AppStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLabel* textLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QLabel* secondary(const QString& text, QWidget* parent)
{
    QLabel* label = textLabel(text, parent);
    appStyle::setTextColor(*label, appStyle::textColor(*label, appStyle::secondaryOpacity));
    return label;
}

QPlainTextEdit* editor(const QString& name, const QString& text, QWidget* parent)
{
    auto* field = new QPlainTextEdit(text, parent);
    field->setAccessibleName(name);
    field->setTabChangesFocus(true);
    field->setMaximumHeight(120);
    return field;
}

} // namespace

ProposalView::ProposalView(ImprovementsSection* section, const Proposal& proposal, QWidget* parent)
    : QWidget(parent)
    , m_section(section)
    , m_row(proposal, section)
    , m_layout(new QVBoxLayout(this))
{
    setObjectName(QStringLiteral("proposal"));
    m_layout->setContentsMargins(0, 8, 0, 8);
    render();
}

void ProposalView::update(const Proposal& proposal)
{
    if (isEditing() || proposal == m_row.proposal()) {
        return;
    }
    m_row = ProposalRow(proposal, m_section);
    render();
}

QPushButton* ProposalView::button(const QString& text) const
{
    for (QPushButton* button : findChildren<QPushButton*>()) {
        if (button->text() == text && button->parent() != nullptr && !button->parent()->property("stale").toBool()) {
            return button;
        }
    }
    return nullptr;
}

void ProposalView::render()
{
    if (m_content) {
        // A button of the old content may be the one being pressed right now.
        m_content->setProperty("stale", true);
        m_content->hide();
        m_content->deleteLater();
    }
    m_content = new QWidget(this);
    m_question = nullptr;
    m_answer = nullptr;
    m_text = nullptr;
    m_confirm = nullptr;
    m_layout->addWidget(m_content);
    if (isEditing()) {
        showEditor();
    } else {
        showDecision();
    }
}

void ProposalView::showDecision()
{
    const ProposalRow::Content content = m_row.content();
    auto* layout = new QVBoxLayout(m_content);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* headline = textLabel(content.headline, m_content);
    headline->setFont(appStyle::font(*this, 14, QFont::DemiBold));
    layout->addWidget(headline);
    layout->addWidget(secondary(content.reason, m_content));
    for (const QString& detail : content.details) {
        layout->addWidget(textLabel(detail, m_content));
    }
    const ProposalKind kind = m_row.proposal().kindValue();
    if (kind == ProposalKind::newQA || kind == ProposalKind::editQA) {
        layout->addWidget(content.answer ? textLabel(*content.answer, m_content)
                                         : secondary(ProposalRow::missingAnswer(), m_content));
    }
    for (const QString& quote : content.quotes) {
        QLabel* label = secondary(quote, m_content);
        QFont font = appStyle::font(*this, 11);
        font.setItalic(true);
        label->setFont(font);
        label->setObjectName(QStringLiteral("quote"));
        layout->addWidget(label);
    }
    auto* buttons = new QHBoxLayout;
    layout->addLayout(buttons);
    buttons->addWidget(addButton(tr("Accept"), &ProposalView::accept));
    buttons->addWidget(addButton(tr("Edit and accept"), &ProposalView::editAndAccept));
    buttons->addWidget(addButton(tr("Discard"), &ProposalView::discard));
    buttons->addStretch();
}

void ProposalView::showEditor()
{
    auto* layout = new QVBoxLayout(m_content);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* headline = textLabel(proposalReview::kindLabel(m_row.proposal().kindValue()), m_content);
    headline->setFont(appStyle::font(*this, 14, QFont::DemiBold));
    layout->addWidget(headline);
    switch (m_row.proposal().kindValue()) {
    case ProposalKind::newQA:
        m_question = new QLineEdit(m_row.question, m_content);
        layout->addWidget(editorFields::label(tr("Question"), m_question, m_content));
        layout->addWidget(m_question);
        connect(m_question, &QLineEdit::textEdited, this, [this](const QString& text) {
            m_row.question = text;
            showConfirm();
        });
        [[fallthrough]];
    case ProposalKind::editQA:
        if (!m_question) {
            layout->addWidget(textLabel(m_row.fixedQuestion(), m_content));
        }
        m_answer = editor(tr("Answer"), m_row.answer, m_content);
        layout->addWidget(m_answer);
        connect(m_answer, &QPlainTextEdit::textChanged, this, [this] {
            m_row.answer = m_answer->toPlainText();
            showConfirm();
        });
        break;
    case ProposalKind::style:
    case ProposalKind::instruction:
        m_text = editor(proposalReview::kindLabel(m_row.proposal().kindValue()), m_row.text, m_content);
        layout->addWidget(m_text);
        connect(m_text, &QPlainTextEdit::textChanged, this, [this] {
            m_row.text = m_text->toPlainText();
            showConfirm();
        });
        break;
    }
    auto* buttons = new QHBoxLayout;
    layout->addLayout(buttons);
    m_confirm = addButton(tr("Confirm"), &ProposalView::confirm);
    buttons->addWidget(m_confirm);
    buttons->addWidget(addButton(tr("Cancel"), &ProposalView::cancel));
    buttons->addStretch();
    showConfirm();
}

QPushButton* ProposalView::addButton(const QString& text, void (ProposalView::*action)())
{
    auto* button = new QPushButton(text, m_content);
    connect(button, &QPushButton::clicked, this, action);
    return button;
}

void ProposalView::showConfirm()
{
    if (m_confirm) {
        m_confirm->setEnabled(m_row.canConfirm());
    }
}

void ProposalView::accept()
{
    m_row.accept();
    if (isEditing()) {
        // A question without an answer is edited first.
        render();
    }
}

void ProposalView::editAndAccept()
{
    m_row.editAndAccept();
    render();
}

void ProposalView::discard()
{
    m_row.discard();
}

void ProposalView::confirm()
{
    m_row.confirm();
}

void ProposalView::cancel()
{
    m_row.cancel();
    render();
}
