#pragma once

#include <QWidget>

class QLabel;
class QListWidget;
class StoreHolder;

// A plain window titled "Quillora" listing the active assistants, and the store's load error
// when there is one. It re-reads the list whenever the store is reopened.
class StartWindow : public QWidget {
    Q_OBJECT

public:
    StartWindow(StoreHolder& holder, const QString& loadError, QWidget* parent = nullptr);

private:
    void reload();
    void watchContainer();

    StoreHolder& m_holder;
    QLabel* m_error;
    QListWidget* m_assistants;
    QMetaObject::Connection m_savedConnection;
};
