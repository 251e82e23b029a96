#pragma once

#include <QPointer>
#include <QScrollArea>

#include <vector>

class CallRow;
class CallsModel;
class QVBoxLayout;
class SaveAction;
class StoreHolder;
class SummaryService;

// `CallsModel`'s calls, one collapsible `CallRow` each, kept in step with the model row by row: a new
// call adds its row, a changed one updates it, a moved one moves it, a call that went away takes its
// row along. An open row and a note being typed survive every refresh. Rows are widgets rather than
// painted items so that their buttons and note field stay within reach of screen readers.
class CallsView : public QScrollArea {
    Q_OBJECT

public:
    // `summary` writes the summary a stored call lacks, from its row; none offers no such button.
    CallsView(CallsModel* model, StoreHolder* holder, SaveAction* save, SummaryService* summary, QWidget* parent);

    // The rows, in the model's order.
    const std::vector<CallRow*>& rows() const { return m_rows; }

private:
    void insertRows(int first, int last);
    void removeRows(int first, int last);
    void moveRows(int first, int last, int destination);
    void updateRows(int first, int last);

    CallsModel* m_model;
    QPointer<StoreHolder> m_holder;
    QPointer<SaveAction> m_save;
    QPointer<SummaryService> m_summary;
    QVBoxLayout* m_layout;
    std::vector<CallRow*> m_rows;
};
