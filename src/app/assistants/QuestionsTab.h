#pragma once

#include "app/assistants/DetailTab.h"

class QLabel;
class QLineEdit;
class QListView;
class QuestionFilter;
class QuestionsModel;
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

    QLineEdit* search() const { return m_search; }
    QPushButton* addButton() const { return m_add; }
    QListView* list() const { return m_list; }
    QuestionEditor* editor() const { return m_editor; }
    QStackedWidget* listArea() const { return m_listArea; }
    QStackedWidget* editorArea() const { return m_editorArea; }

private:
    void choose(const std::optional<QUuid>& item);
    void showChosen();
    // Marks the chosen item in the list, where the search shows it.
    void showCurrent();
    QModelIndex rowOf(const QUuid& id) const;
    template <typename Change> void editItem(const QUuid& id, Change change);

    QLineEdit* m_search;
    QPushButton* m_add;
    QuestionsModel* m_model;
    QuestionFilter* m_filter;
    QStackedWidget* m_listArea;
    QListView* m_list;
    QStackedWidget* m_editorArea;
    QuestionEditor* m_editor;
    std::optional<QUuid> m_chosen;
    // The current index moves by the tab's own doing (a reload, a search), not the user's.
    bool m_quiet = false;
};
