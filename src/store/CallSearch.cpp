#include "store/CallSearch.h"

#include "common/Dates.h"
#include "common/Text.h"
#include "common/Uuid.h"
#include "store/Store.h"
#include "store/StoreContext.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

namespace callSearch {

namespace {

// Around each matching word of a passage; control characters that no transcript carries.
constexpr char16_t markStart = u'\x01';
constexpr char16_t markEnd = u'\x02';
// Words of a passage around the match.
constexpr int passageWords = 16;

void bindText(SQLite::Statement& statement, int index, const QString& value)
{
    statement.bind(index, value.toStdString());
}

void bindOptional(SQLite::Statement& statement, int index, const std::optional<QUuid>& id)
{
    if (id) {
        bindText(statement, index, uuid::toText(*id));
    } else {
        statement.bind(index);
    }
}

std::optional<QUuid> optionalId(const SQLite::Column& column)
{
    return column.isNull() ? std::nullopt : uuid::parse(QString::fromStdString(column.getString()));
}

// Takes the marks out of a passage and keeps where they were.
void unmark(const QString& marked, CallSearchHit& hit)
{
    hit.passage.reserve(marked.size());
    qsizetype start = -1;
    for (const QChar ch : marked) {
        if (ch == markStart) {
            start = hit.passage.size();
        } else if (ch == markEnd) {
            if (start >= 0) {
                hit.marks.append({ start, hit.passage.size() - start });
            }
            start = -1;
        } else {
            hit.passage.append(ch);
        }
    }
}

} // namespace

QString matchExpression(const QString& text)
{
    const QStringList words = text::normalizedWords(text);
    QStringList terms;
    for (const QString& word : words) {
        // A word holds letters and digits only, so it needs no escaping inside the quotes.
        terms.append(u'"' + word + u'"');
    }
    if (!terms.isEmpty()) {
        terms.last() += u'*';
    }
    return terms.join(u' ');
}

Result<std::vector<CallSearchHit>> find(StoreContext& context, const CallSearchQuery& query)
{
    const QString expression = matchExpression(query.text);
    if (expression.isEmpty() || query.limit <= 0) {
        return std::vector<CallSearchHit>();
    }
    try {
        SQLite::Database& db = context.store()->database();
        // The best-ranked passage of each call, then the calls in rank order.
        SQLite::Statement calls(db,
            "SELECT c.id, c.startedAt, c.assistant, c.context, best.line, best.rowid FROM "
            "(SELECT t.call AS call, t.line AS line, \"CallSearch\".rowid AS rowid, min(\"CallSearch\".rank) AS rank "
            "FROM \"CallSearch\" JOIN \"CallText\" AS t ON t.id = \"CallSearch\".rowid "
            "WHERE \"CallSearch\" MATCH ?1 GROUP BY t.call) AS best "
            "JOIN \"Call\" AS c ON c.id = best.call "
            "WHERE (?2 IS NULL OR c.assistant = ?2) AND (?3 IS NULL OR c.context = ?3) "
            "ORDER BY best.rank, c.startedAt DESC, c.rowid DESC LIMIT ?4");
        bindText(calls, 1, expression);
        bindOptional(calls, 2, query.assistant);
        bindOptional(calls, 3, query.context);
        calls.bind(4, query.limit);
        SQLite::Statement passage(db,
            "SELECT snippet(\"CallSearch\", 0, char(1), char(2), '\u2026', " + std::to_string(passageWords)
                + ") FROM \"CallSearch\" WHERE \"CallSearch\" MATCH ?1 AND rowid = ?2");
        bindText(passage, 1, expression);
        std::vector<CallSearchHit> hits;
        while (calls.executeStep()) {
            CallSearchHit hit;
            hit.call = uuid::parse(QString::fromStdString(calls.getColumn(0).getString())).value_or(QUuid());
            hit.startedAt = dates::fromReferenceSeconds(calls.getColumn(1).getDouble());
            hit.assistant = optionalId(calls.getColumn(2));
            hit.context = optionalId(calls.getColumn(3));
            hit.line = calls.getColumn(4).getInt();
            passage.reset();
            passage.bind(2, calls.getColumn(5).getInt64());
            if (passage.executeStep()) {
                const SQLite::Column text = passage.getColumn(0);
                unmark(text::fromUtf8(QByteArrayView(text.getText(), text.getBytes())), hit);
            }
            hits.push_back(std::move(hit));
        }
        return hits;
    } catch (const std::exception& e) {
        return fail(QString::fromUtf8(e.what()));
    }
}

} // namespace callSearch
