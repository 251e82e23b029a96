#pragma once

#include "app/assistants/DetailTab.h"

#include <QPointer>

#include <map>

class CallRow;
class QLabel;
class QScrollArea;
class QVBoxLayout;
class SummaryService;

// The calls of an assistant (with each call's context) or of a context, newest first, one
// collapsible row each. Rows are kept across refreshes, so an open row and a note being typed
// survive a save or another process's write.
class CallsTab : public DetailTab {
    Q_OBJECT

public:
    // `summary` writes the summary a call lacks, from its row; may be null.
    CallsTab(StoreHolder* holder, SaveAction* save, SummaryService* summary, ShownRecord shown, QWidget* parent);

    void refresh() override;
    // Saves the notes of every row.
    void commit() override;

    // The rows, newest call first.
    QList<CallRow*> rows() const;
    QLabel* emptyText() const { return m_empty; }

private:
    QScrollArea* m_scroll;
    QWidget* m_list;
    QVBoxLayout* m_rows;
    QLabel* m_empty;
    std::map<QUuid, CallRow*> m_byCall;
    QPointer<SummaryService> m_summary;
};
