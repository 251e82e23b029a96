#include "app/assistants/CallSearchModel.h"

#include "store/StoreContext.h"

#include <QLocale>
#include <QPoint>

#include <map>

namespace {

template <typename R>
std::optional<R> cached(StoreContext& context, const std::optional<QUuid>& id, std::map<QUuid, std::optional<R>>& seen)
{
    if (!id) {
        return std::nullopt;
    }
    auto found = seen.find(*id);
    if (found == seen.end()) {
        found = seen.emplace(*id, context.fetchOne<R>(*id).value_or(std::nullopt)).first;
    }
    return found->second;
}

} // namespace

CallSearchModel::CallSearchModel(QObject* parent)
    : QAbstractListModel(parent)
{
}

void CallSearchModel::setHits(StoreContext& context, std::vector<CallSearchHit> hits)
{
    std::map<QUuid, std::optional<Assistant>> assistants;
    std::map<QUuid, std::optional<CallContext>> contexts;
    const QLocale locale;
    std::vector<Row> rows;
    rows.reserve(hits.size());
    for (CallSearchHit& hit : hits) {
        const auto assistant = cached(context, hit.assistant, assistants);
        const auto callContext = cached(context, hit.context, contexts);
        const QString date = locale.toString(hit.startedAt.toLocalTime(), QLocale::ShortFormat);
        const QString assistantName = assistant ? assistant->name : tr("No assistant");
        const QString heading = callContext ? tr("%1 · %2 · %3").arg(date, assistantName, callContext->name)
                                            : tr("%1 · %2").arg(date, assistantName);
        rows.push_back({ std::move(hit), heading, assistant.has_value() });
    }
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

void CallSearchModel::clear()
{
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

int CallSearchModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

QVariant CallSearchModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
        return {};
    }
    const Row& row = m_rows[static_cast<size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole: return tr("%1: %2").arg(row.heading, row.hit.passage);
    case Qt::ToolTipRole:
        return row.canOpen ? QVariant() : QVariant(tr("This call belongs to no assistant, so it has no place here."));
    case headingRole: return row.heading;
    case passageRole: return row.hit.passage;
    case marksRole: {
        QList<QPoint> marks;
        for (const auto& [start, length] : row.hit.marks) {
            marks.append(QPoint(static_cast<int>(start), static_cast<int>(length)));
        }
        return QVariant::fromValue(marks);
    }
    case callRole: return row.hit.call;
    case lineRole: return row.hit.line;
    default: return {};
    }
}

Qt::ItemFlags CallSearchModel::flags(const QModelIndex& index) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
        return Qt::NoItemFlags;
    }
    return m_rows[static_cast<size_t>(index.row())].canOpen ? Qt::ItemIsEnabled | Qt::ItemIsSelectable
                                                            : Qt::NoItemFlags;
}
