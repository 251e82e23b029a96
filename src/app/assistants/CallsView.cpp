#include "app/assistants/CallsView.h"

#include "app/assistants/CallRow.h"
#include "app/assistants/CallsModel.h"
#include "app/assistants/SaveAction.h"
#include "store/StoreHolder.h"
#include "summary/SummaryService.h"

#include <QVBoxLayout>

CallsView::CallsView(CallsModel* model, StoreHolder* holder, SaveAction* save, SummaryService* summary, QWidget* parent)
    : QScrollArea(parent)
    , m_model(model)
    , m_holder(holder)
    , m_save(save)
    , m_summary(summary)
{
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    auto* list = new QWidget(this);
    m_layout = new QVBoxLayout(list);
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);
    m_layout->addStretch();
    setWidget(list);

    connect(m_model, &QAbstractItemModel::rowsInserted, this,
        [this](const QModelIndex&, int first, int last) { insertRows(first, last); });
    connect(m_model, &QAbstractItemModel::rowsAboutToBeRemoved, this,
        [this](const QModelIndex&, int first, int last) { removeRows(first, last); });
    connect(m_model, &QAbstractItemModel::rowsMoved, this,
        [this](const QModelIndex&, int first, int last, const QModelIndex&, int row) { moveRows(first, last, row); });
    connect(m_model, &QAbstractItemModel::dataChanged, this,
        [this](const QModelIndex& top, const QModelIndex& bottom) { updateRows(top.row(), bottom.row()); });
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        removeRows(0, int(m_rows.size()) - 1);
        insertRows(0, m_model->rowCount() - 1);
    });
    insertRows(0, m_model->rowCount() - 1);
}

void CallsView::insertRows(int first, int last)
{
    for (int row = first; row <= last; ++row) {
        auto* callRow =
            new CallRow(m_holder, m_save, m_summary, m_model->callAt(row), m_model->contextNameAt(row), widget());
        m_rows.insert(m_rows.begin() + row, callRow);
        m_layout->insertWidget(row, callRow);
    }
}

void CallsView::removeRows(int first, int last)
{
    for (int row = last; row >= first; --row) {
        CallRow* callRow = m_rows[size_t(row)];
        m_rows.erase(m_rows.begin() + row);
        m_layout->removeWidget(callRow);
        callRow->deleteLater();
    }
}

void CallsView::moveRows(int first, int last, int destination)
{
    // `destination` counts the rows before the move, as the model's signal gives it.
    std::vector<CallRow*> moved(m_rows.begin() + first, m_rows.begin() + last + 1);
    m_rows.erase(m_rows.begin() + first, m_rows.begin() + last + 1);
    const int at = destination > last ? destination - int(moved.size()) : destination;
    m_rows.insert(m_rows.begin() + at, moved.begin(), moved.end());
    for (size_t row = 0; row < m_rows.size(); ++row) {
        m_layout->removeWidget(m_rows[row]);
        m_layout->insertWidget(int(row), m_rows[row]);
    }
}

void CallsView::updateRows(int first, int last)
{
    for (int row = first; row <= last; ++row) {
        m_rows[size_t(row)]->update(m_model->callAt(row), m_model->contextNameAt(row));
    }
}
