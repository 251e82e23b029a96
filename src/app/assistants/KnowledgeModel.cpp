#include "app/assistants/KnowledgeModel.h"

#include "common/Text.h"
#include "store/StoreContext.h"

#include <QLocale>

KnowledgeModel::KnowledgeModel(ShownRecord owner, QObject* parent)
    : KeyedModel(parent)
    , m_owner(owner)
{
}

int KnowledgeModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant KnowledgeModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || !checkIndex(index, CheckIndexOption::ParentIsInvalid)) {
        return {};
    }
    const Row& row = m_rows[size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole: return QString(row.name + u'\n' + row.detail);
    case Qt::AccessibleTextRole: return QString(row.name + QStringLiteral(", ") + row.detail);
    case IdRole: return row.id;
    default: return {};
    }
}

void KnowledgeModel::reload(StoreContext& context)
{
    const Query query = m_owner.isAssistant() ? Query::ofAssistant(m_owner.id) : Query::ofContext(m_owner.id);
    const QLocale locale;
    std::vector<Row> next;
    for (const KnowledgeFile& file : context.fetch<KnowledgeFile>(query).value_or(std::vector<KnowledgeFile>())) {
        next.push_back({ file.id, file.name,
            tr("%1 words · %2")
                .arg(locale.toString(text::wordCount(file.content)),
                    locale.toString(file.importedAt.toLocalTime(), QLocale::ShortFormat)) });
    }
    syncRows(
        QModelIndex(), m_rows, std::move(next), [](const Row& row) { return row.id; },
        [](Row& row, Row&& value, int) { return replaceIfChanged(row, std::move(value)); });
}
