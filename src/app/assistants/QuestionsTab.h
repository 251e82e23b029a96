#pragma once

#include "app/assistants/DetailTab.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QStackedWidget;
class QuestionEditor;

// An assistant's Q&A bank: a searchable list, oldest first, and the editor of the chosen item.
// Every edit sets the item's update time and is saved.
class QuestionsTab : public DetailTab {
    Q_OBJECT

public:
    QuestionsTab(StoreHolder* holder, SaveAction* save, ShownRecord shown, QWidget* parent);

    void refresh() override;
    // Creates an empty, hand-written item, chooses it and puts the focus in its question.
    void addQuestion();

    // True when the question or the answer contains `search` (spaces and tabs trimmed at both
    // ends), ignoring letter case and diacritics; an empty search matches everything.
    static bool matches(const QAItem& item, const QString& search);

    QLineEdit* search() const { return m_search; }
    QPushButton* addButton() const { return m_add; }
    QListWidget* list() const { return m_list; }
    QuestionEditor* editor() const { return m_editor; }
    QStackedWidget* listArea() const { return m_listArea; }
    QStackedWidget* editorArea() const { return m_editorArea; }

private:
    void choose(const std::optional<QUuid>& item);
    void showChosen();
    template <typename Change> void editItem(const QUuid& id, Change change);

    QLineEdit* m_search;
    QPushButton* m_add;
    QStackedWidget* m_listArea;
    QListWidget* m_list;
    QStackedWidget* m_editorArea;
    QuestionEditor* m_editor;
    std::optional<QUuid> m_chosen;
};
