#pragma once

#include "app/assistants/DetailTab.h"

class CallRow;
class CallsModel;
class CallsView;
class QLabel;
class SummaryService;

// The calls of an assistant (with each call's context) or of a context, newest first, one
// collapsible row each, or "No calls yet.".
class CallsTab : public DetailTab {
    Q_OBJECT

public:
    CallsTab(StoreHolder* holder, SaveAction* save, SummaryService* summary, ShownRecord shown, QWidget* parent);

    void refresh() override;
    // Saves the notes of every row.
    void commit() override;

    // Opens the call's row with its line (as CallSearchHit::line) in view; false when it is not listed.
    bool reveal(const QUuid& call, int line);

    // The rows, newest call first.
    QList<CallRow*> rows() const;
    QLabel* emptyText() const { return m_empty; }

private:
    CallsModel* m_model;
    CallsView* m_view;
    QLabel* m_empty;
};
