#include "app/assistants/QuestionsModel.h"

#include "app/widgets/AppIcons.h"
#include "common/Text.h"
#include "store/StoreContext.h"

namespace {

QString folded(const QString& text)
{
    return text::foldDiacritics(text).toCaseFolded();
}

bool found(const QString& question, const QString& answer, const QString& needle)
{
    return needle.isEmpty() || folded(question).contains(needle) || folded(answer).contains(needle);
}

} // namespace

QuestionsModel::QuestionsModel(QUuid assistant, QObject* parent)
    : KeyedModel(parent)
    , m_assistant(assistant)
{
}

int QuestionsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant QuestionsModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || !checkIndex(index, CheckIndexOption::ParentIsInvalid)) {
        return {};
    }
    const Row& row = m_rows[size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole: {
        const QString question = row.question.isEmpty() ? tr("No question") : row.question;
        return row.answer.isEmpty() ? QString(question + u'\n' + tr("No answer")) : question;
    }
    case Qt::DecorationRole:
        return row.answer.isEmpty() ? QVariant(appIcon(AppIcon::warning, QColor(230, 150, 0))) : QVariant();
    case Qt::ForegroundRole:
        return row.question.isEmpty() && m_secondary.isValid() ? QVariant(m_secondary) : QVariant();
    case IdRole: return row.id;
    case QuestionRole: return row.question;
    case AnswerRole: return row.answer;
    default: return {};
    }
}

void QuestionsModel::reload(StoreContext& context)
{
    std::vector<Row> next;
    for (const QAItem& item : context.fetch<QAItem>(Query::ofAssistant(m_assistant)).value_or(std::vector<QAItem>())) {
        next.push_back({ item.id, item.question, item.answer });
    }
    syncRows(
        QModelIndex(), m_rows, std::move(next), [](const Row& row) { return row.id; },
        [](Row& row, Row&& value, int) { return replaceIfChanged(row, std::move(value)); });
}

QuestionFilter::QuestionFilter(QObject* parent)
    : QSortFilterProxyModel(parent)
{
}

void QuestionFilter::setSearch(const QString& search)
{
    const QString needle = folded(text::trimSpacesAndTabs(search));
    if (needle != m_needle) {
        m_needle = needle;
        invalidateFilter();
    }
}

bool QuestionFilter::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const
{
    const QModelIndex row = sourceModel()->index(sourceRow, 0, sourceParent);
    return found(
        row.data(QuestionsModel::QuestionRole).toString(), row.data(QuestionsModel::AnswerRole).toString(), m_needle);
}
