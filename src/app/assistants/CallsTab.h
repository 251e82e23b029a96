#pragma once

#include "app/assistants/DetailTab.h"

#include <map>

class CallRow;
class QLabel;
class QScrollArea;
class QVBoxLayout;

// The calls of an assistant (with each call's context) or of a context, newest first, one
// collapsible row each. Rows are kept across refreshes, so an open row and a note being typed
// survive a save or another process's write.
class CallsTab : public DetailTab {
    Q_OBJECT

public:
    CallsTab(StoreHolder* holder, SaveAction* save, ShownRecord shown, QWidget* parent);

    void refresh() override;
    // Saves the notes of every row.
    void commit() override;

    // Opens the call's row with its line (as CallSearchHit::line) in view; false when it is not listed.
    bool reveal(const QUuid& call, int line);

    // The rows, newest call first.
    QList<CallRow*> rows() const;
    QLabel* emptyText() const { return m_empty; }

private:
    QScrollArea* m_scroll;
    QWidget* m_list;
    QVBoxLayout* m_rows;
    QLabel* m_empty;
    std::map<QUuid, CallRow*> m_byCall;
};
