#include "app/assistants/CallsModel.h"

#include "store/StoreContext.h"

#include <QLocale>

#include <map>

CallsModel::CallsModel(ShownRecord owner, QObject* parent)
    : KeyedModel(parent)
    , m_owner(owner)
{
}

int CallsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant CallsModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || !checkIndex(index, CheckIndexOption::ParentIsInvalid)) {
        return {};
    }
    const Row& row = m_rows[size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole: return headerText(row.call, row.contextName);
    case IdRole: return row.call.id;
    case OutcomeRole: return int(row.call.outcomeValue());
    default: return {};
    }
}

QString CallsModel::headerText(const Call& call, const QString& contextName)
{
    const QLocale locale;
    QString text = locale.toString(call.startedAt.toLocalTime(), QLocale::ShortFormat) + QStringLiteral(" · ")
        + tr("%1 min").arg(call.durationMinutes());
    if (!contextName.isEmpty()) {
        text += QStringLiteral(" · ") + contextName;
    }
    return text;
}

QString CallsModel::outcomeText(CallOutcome outcome)
{
    switch (outcome) {
    case CallOutcome::positive: return tr("Good call");
    case CallOutcome::negative: return tr("Bad call");
    case CallOutcome::none: break;
    }
    return tr("No outcome");
}

void CallsModel::reload(StoreContext& context)
{
    Query query = m_owner.isAssistant() ? Query::ofAssistant(m_owner.id, Order::newestFirst)
                                        : Query::ofContext(m_owner.id, Order::newestFirst);
    query.withoutBlobs = true;
    std::map<QUuid, QString> contextNames;
    if (m_owner.isAssistant()) {
        for (const CallContext& callContext :
            context.fetch<CallContext>(Query::ofAssistant(m_owner.id)).value_or(std::vector<CallContext>())) {
            contextNames.emplace(callContext.id, callContext.name);
        }
    }
    std::vector<Row> next;
    for (Call& call : context.fetch<Call>(query).value_or(std::vector<Call>())) {
        const auto name = call.context ? contextNames.find(*call.context) : contextNames.end();
        next.push_back({ std::move(call), name != contextNames.end() ? name->second : QString() });
    }
    syncRows(
        QModelIndex(), m_rows, std::move(next), [](const Row& row) { return row.call.id; },
        [](Row& row, Row&& value, int) { return replaceIfChanged(row, std::move(value)); });
}
