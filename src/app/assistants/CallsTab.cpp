#include "app/assistants/CallsTab.h"

#include "app/assistants/CallRow.h"
#include "app/assistants/EditorFields.h"
#include "summary/SummaryService.h"

#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>

CallsTab::CallsTab(StoreHolder* holder, SaveAction* save, SummaryService* summary, ShownRecord shown, QWidget* parent)
    : DetailTab(holder, save, shown, parent)
    , m_scroll(new QScrollArea(this))
    , m_list(new QWidget(m_scroll))
    , m_rows(new QVBoxLayout(m_list))
    , m_empty(editorFields::placeholder(tr("No calls yet."), this))
    , m_summary(summary)
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
            row = new CallRow(holder(), &saver(), m_summary, call, contextName, m_list);
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
