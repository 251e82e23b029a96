#pragma once

#include <QPointer>
#include <QWidget>

class QLabel;
class QListWidget;
class StoreHolder;

// A plain window titled "Quillora" listing the active assistants, and the store's load error
// when there is one. Like every view, it follows the store through the holder's `changed` signal
// and asks the holder for its context when it reads.
class StartWindow : public QWidget {
    Q_OBJECT

public:
    StartWindow(StoreHolder* holder, const QString& loadError, QWidget* parent = nullptr);

private:
    void reload();

    QPointer<StoreHolder> m_holder;
    QLabel* m_error;
    QListWidget* m_assistants;
};
