#include "app/assistants/CallsTab.h"

#include "app/assistants/CallRow.h"
#include "app/assistants/EditorFields.h"

#include <QLabel>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>

CallsTab::CallsTab(StoreHolder* holder, SaveAction* save, ShownRecord shown, QWidget* parent)
    : DetailTab(holder, save, shown, parent)
    , m_scroll(new QScrollArea(this))
    , m_list(new QWidget(m_scroll))
    , m_rows(new QVBoxLayout(m_list))
    , m_empty(editorFields::placeholder(tr("No calls yet."), this))
{
    m_scroll->setObjectName(QStringLiteral("calls"));
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_rows->setContentsMargins(0, 0, 0, 0);
    m_rows->setSpacing(0);
    m_rows->addStretch();
    m_scroll->setWidget(m_list);
    m_empty->setObjectName(QStringLiteral("noCalls"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_scroll, 1);
    layout->addWidget(m_empty, 1);
}

void CallsTab::refresh()
{
    if (!hasStore()) {
        return;
    }
    StoreContext& store = context();
    Query query = shown().isAssistant() ? Query::ofAssistant(shown().id, Order::newestFirst)
                                        : Query::ofContext(shown().id, Order::newestFirst);
    query.withoutBlobs = true;
    const std::vector<Call> calls = store.fetch<Call>(query).value_or(std::vector<Call>());
    std::map<QUuid, QString> contextNames;
    if (shown().isAssistant()) {
        for (const CallContext& callContext :
            store.fetch<CallContext>(Query::ofAssistant(shown().id)).value_or(std::vector<CallContext>())) {
            contextNames.emplace(callContext.id, callContext.name);
        }
    }

    std::map<QUuid, CallRow*> kept;
    for (const Call& call : calls) {
        const auto name = call.context ? contextNames.find(*call.context) : contextNames.end();
        const QString contextName = name != contextNames.end() ? name->second : QString();
        CallRow* row = nullptr;
        if (auto found = m_byCall.find(call.id); found != m_byCall.end()) {
            row = found->second;
            m_byCall.erase(found);
            row->update(call, contextName);
        } else {
            row = new CallRow(holder(), &saver(), call, contextName, m_list);
        }
        kept.emplace(call.id, row);
        m_rows->removeWidget(row);
        m_rows->insertWidget(m_rows->count() - 1, row);
    }
    for (auto& [id, row] : m_byCall) {
        // A call that went away (deleted by another process) takes its row along.
        m_rows->removeWidget(row);
        row->deleteLater();
    }
    m_byCall = std::move(kept);
    m_scroll->setVisible(!calls.empty());
    m_empty->setVisible(calls.empty());
}

void CallsTab::commit()
{
    // A save refreshes this tab, which rebuilds the map: walk a copy.
    const std::map<QUuid, CallRow*> rows = m_byCall;
    for (const auto& [id, row] : rows) {
        row->saveNote();
    }
}

bool CallsTab::reveal(const QUuid& call, int line)
{
    const auto found = m_byCall.find(call);
    if (found == m_byCall.end()) {
        return false;
    }
    CallRow* row = found->second;
    // A row the last refresh added is shown by its layout only in a later turn of the event loop.
    row->show();
    QWidget* passage = row->showPassage(line);
    // The opened row is laid out first; only then can it be scrolled to.
    m_list->layout()->activate();
    m_scroll->ensureWidgetVisible(row->header(), 0, 0);
    m_scroll->ensureWidgetVisible(passage);
    return true;
}

QList<CallRow*> CallsTab::rows() const
{
    QList<CallRow*> rows;
    for (int index = 0; index < m_rows->count(); ++index) {
        if (auto* row = qobject_cast<CallRow*>(m_rows->itemAt(index)->widget())) {
            rows.append(row);
        }
    }
    return rows;
}
