#pragma once

#include "records/Records.h"

#include <QMessageBox>
#include <QPointer>
#include <QWidget>

#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// The editor of one Q&A item: question, answer, answer language, where the item came from, and its
// removal after a confirmation. It reports edits; the tab applies and saves them.
class QuestionEditor : public QWidget {
    Q_OBJECT

public:
    explicit QuestionEditor(QWidget* parent);

    // Shows the item's values, leaving a field the user is typing in as it is.
    void show(const QAItem& item);
    const std::optional<QUuid>& item() const { return m_item; }
    // Puts the keyboard focus in the question field.
    void focusQuestion();

    QLineEdit* question() const { return m_question; }
    QPlainTextEdit* answer() const { return m_answer; }
    QComboBox* language() const { return m_language; }
    QLabel* source() const { return m_source; }
    QPushButton* removeButton() const { return m_remove; }
    QMessageBox* confirmation() const { return m_confirmation; }

Q_SIGNALS:
    void questionEdited(const QUuid& item, const QString& text);
    void answerEdited(const QUuid& item, const QString& text);
    void languageChosen(const QUuid& item, const QString& code);
    void editingFinished();
    void removeConfirmed(const QUuid& item);

private:
    void confirmRemoval();

    QLineEdit* m_question;
    QPlainTextEdit* m_answer;
    QComboBox* m_language;
    QLabel* m_source;
    QPushButton* m_remove;
    QPointer<QMessageBox> m_confirmation;
    std::optional<QUuid> m_item;
};
