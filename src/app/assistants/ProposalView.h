#pragma once

#include "app/assistants/ImprovementsSection.h"

#include <QWidget>

#include <optional>

class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QVBoxLayout;

// One pending proposal in the improvements tab: its kind, reason, what it changes and the quoted
// evidence, with "Accept", "Edit and accept" and "Discard"; while it is edited, the fields of its
// kind with "Confirm" and "Cancel". What is being edited belongs to the view and survives refreshes.
class ProposalView : public QWidget {
    Q_OBJECT

public:
    ProposalView(ImprovementsSection* section, const Proposal& proposal, QWidget* parent);

    // The stored proposal again; ignored while it is being edited.
    void update(const Proposal& proposal);
    bool isEditing() const { return m_row.isEditing(); }
    const Proposal& proposal() const { return m_row.proposal(); }

    // The button with the given text, or null (also for buttons of the other mode).
    QPushButton* button(const QString& text) const;
    // While editing: the fields its kind has (null otherwise).
    QLineEdit* questionField() const { return m_question; }
    QPlainTextEdit* answerField() const { return m_answer; }
    QPlainTextEdit* textField() const { return m_text; }

private:
    void render();
    void showDecision();
    void showEditor();
    QPushButton* addButton(const QString& text, void (ProposalView::*action)());
    void accept();
    void editAndAccept();
    void discard();
    void confirm();
    void cancel();
    void showConfirm();

    ImprovementsSection* m_section;
    ProposalRow m_row;
    QVBoxLayout* m_layout;
    QWidget* m_content = nullptr;
    QLineEdit* m_question = nullptr;
    QPlainTextEdit* m_answer = nullptr;
    QPlainTextEdit* m_text = nullptr;
    QPushButton* m_confirm = nullptr;
};
