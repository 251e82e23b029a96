#include "app/assistants/CallsTab.h"

#include "app/assistants/CallRow.h"
#include "app/assistants/CallsModel.h"
#include "app/assistants/CallsView.h"
#include "app/assistants/EditorFields.h"

#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

CallsTab::CallsTab(StoreHolder* holder, SaveAction* save, SummaryService* summary, ShownRecord shown, QWidget* parent)
    : DetailTab(holder, save, shown, parent)
    , m_model(new CallsModel(shown, this))
    , m_view(new CallsView(m_model, holder, save, summary, this))
    , m_empty(editorFields::placeholder(tr("No calls yet."), this))
{
    m_view->setObjectName(QStringLiteral("calls"));
    m_empty->setObjectName(QStringLiteral("noCalls"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_view, 1);
    layout->addWidget(m_empty, 1);
}

void CallsTab::refresh()
{
    if (!hasStore()) {
        return;
    }
    m_model->reload(context());
    const bool empty = m_model->rowCount() == 0;
    m_view->setVisible(!empty);
    m_empty->setVisible(empty);
}

void CallsTab::commit()
{
    // A save refreshes this tab, which may change the rows: walk a copy.
    const std::vector<CallRow*> rows = m_view->rows();
    for (CallRow* row : rows) {
        row->saveNote();
    }
}

bool CallsTab::reveal(const QUuid& call, int line)
{
    const std::vector<CallRow*>& rows = m_view->rows();
    const auto found = std::find_if(rows.begin(), rows.end(), [&](CallRow* row) { return row->callID() == call; });
    if (found == rows.end()) {
        return false;
    }
    CallRow* row = *found;
    // A row the last refresh added is shown by its layout only in a later turn of the event loop.
    row->show();
    QWidget* passage = row->showPassage(line);
    // The opened row is laid out first; only then can it be scrolled to.
    m_view->widget()->layout()->activate();
    m_view->ensureWidgetVisible(row->header(), 0, 0);
    m_view->ensureWidgetVisible(passage);
    return true;
}

QList<CallRow*> CallsTab::rows() const
{
    return QList<CallRow*>(m_view->rows().begin(), m_view->rows().end());
}
