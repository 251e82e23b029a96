#pragma once

#include "app/assistants/DetailTab.h"

#include <QFileDialog>
#include <QPointer>

class QLabel;
class KnowledgeModel;
class QListView;
class QMenu;
class QPushButton;

// The knowledge files of an assistant or of a context: the list with word counts, files added with
// the desktop's file dialog or dropped on the tab (each through the knowledge import, failures
// listed per file until the next import), and removal from a file's context menu.
class KnowledgeTab : public DetailTab {
    Q_OBJECT

public:
    KnowledgeTab(StoreHolder* holder, SaveAction* save, ShownRecord shown, QWidget* parent);

    void refresh() override;

    // Imports the files in the order given; each success is added and saved at once.
    void importFiles(const QStringList& paths);
    // The context menu of a file's row.
    QMenu* menuFor(const QModelIndex& index);

    QListView* files() const { return m_files; }
    QLabel* dropArea() const { return m_dropArea; }
    QPushButton* addButton() const { return m_add; }
    QLabel* errors() const { return m_errors; }
    QFileDialog* fileDialog() const { return m_dialog; }

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void chooseFiles();
    void remove(const QUuid& id);

    KnowledgeModel* m_model;
    QListView* m_files;
    QLabel* m_dropArea;
    QPushButton* m_add;
    QLabel* m_errors;
    QPointer<QFileDialog> m_dialog;
};
