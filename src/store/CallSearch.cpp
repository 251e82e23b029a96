#include "store/CallSearch.h"

#include "common/Dates.h"
#include "common/Text.h"
#include "common/Uuid.h"
#include "store/Store.h"
#include "store/StoreContext.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include <algorithm>
#include <map>
#include <optional>
#include <string>

namespace callSearch {

namespace {

// Words of a passage, and how many of them come before its first matching word.
constexpr size_t passageWords = 16;
constexpr size_t wordsBefore = 4;
// Passages read, newest first, before the calls found so far are ranked, once there are enough of
// them: a word said in most calls would otherwise have every one of its passages ranked. Rarer words
// are ranked over all their passages.
constexpr int enoughPassages = 2000;

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

struct Word {
    qsizetype start;
    qsizetype length;
};

// The runs of letters and digits of `text`, as normalised words split it.
std::vector<Word> wordsOf(const QString& text)
{
    std::vector<Word> words;
    qsizetype start = -1;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        bool inWord = false;
        qsizetype width = 1;
        if (i < text.size()) {
            char32_t code = text.at(i).unicode();
            if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
                code = QChar::surrogateToUcs4(text.at(i), text.at(i + 1));
                width = 2;
            }
            inWord = QChar::isLetterOrNumber(code);
        }
        if (inWord && start < 0) {
            start = i;
        } else if (!inWord && start >= 0) {
            words.push_back({ start, i - start });
            start = -1;
        }
        i += width - 1;
    }
    return words;
}

// The passage of `text` around its first matching word, with every matching word marked.
void markPassage(const QString& text, const QStringList& queryWords, CallSearchHit& hit)
{
    const std::vector<Word> words = wordsOf(text);
    std::vector<bool> matching(words.size(), false);
    std::optional<size_t> first;
    for (size_t w = 0; w < words.size(); ++w) {
        const QStringList folded = text::normalizedWords(text.mid(words[w].start, words[w].length));
        const QString word = folded.isEmpty() ? QString() : folded.first();
        for (qsizetype q = 0; q < queryWords.size(); ++q) {
            const bool last = q == queryWords.size() - 1;
            if (word == queryWords[q] || (last && word.startsWith(queryWords[q]))) {
                matching[w] = true;
                first = first.value_or(w);
            }
        }
    }
    size_t from = 0;
    size_t to = words.size();
    if (words.size() > passageWords) {
        from = first ? (*first > wordsBefore ? *first - wordsBefore : 0) : 0;
        from = std::min(from, words.size() - passageWords);
        to = from + passageWords;
    }
    qsizetype begin = from == 0 ? 0 : words[from].start;
    qsizetype end = to == words.size() ? text.size() : words[to - 1].start + words[to - 1].length;
    while (begin < end && text.at(begin).isSpace()) {
        ++begin;
    }
    while (end > begin && text.at(end - 1).isSpace()) {
        --end;
    }
    const QString ellipsis = QStringLiteral("\u2026");
    const QString before = from > 0 ? ellipsis : QString();
    hit.passage = before + text.mid(begin, end - begin) + (to < words.size() ? ellipsis : QString());
    const qsizetype shift = before.size() - begin;
    for (size_t w = from; w < to; ++w) {
        if (matching[w]) {
            hit.marks.append({ words[w].start + shift, words[w].length });
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
        // Matching texts newest call first (the index's own order, so nothing is sorted), with their rank.
        const bool filtered = query.assistant || query.context;
        SQLite::Statement matches(db,
            std::string("SELECT \"CallSearch\".rowid, \"CallSearch\".rank FROM \"CallSearch\" ")
                + (filtered ? "JOIN \"CallKey\" AS k ON k.key = \"CallSearch\".rowid / "
                            + std::to_string(CallSearchHit::rowsPerCall) + " JOIN \"Call\" AS c ON c.id = k.call "
                            : "")
                + "WHERE \"CallSearch\" MATCH ?1 "
                + (filtered ? "AND (?2 IS NULL OR c.assistant = ?2) AND (?3 IS NULL OR c.context = ?3) " : "")
                + "ORDER BY \"CallSearch\".rowid DESC");
        bindText(matches, 1, expression);
        if (filtered) {
            bindOptional(matches, 2, query.assistant);
            bindOptional(matches, 3, query.context);
        }
        struct Best {
            double rank;
            int place;
        };
        std::map<qint64, Best> best; // by the call's key
        for (int rows = 1; matches.executeStep(); ++rows) {
            const qint64 row = matches.getColumn(0).getInt64();
            const Best found { matches.getColumn(1).getDouble(),
                static_cast<int>(row % CallSearchHit::rowsPerCall) - 2 };
            auto [at, added] = best.try_emplace(row / CallSearchHit::rowsPerCall, found);
            if (!added && found.rank < at->second.rank) {
                at->second = found;
            }
            if (rows >= enoughPassages && static_cast<int>(best.size()) >= query.limit) {
                break;
            }
        }

        // The calls found, in rank order, newest first among equal ranks.
        SQLite::Statement callRow(db,
            "SELECT c.id, c.startedAt, c.assistant, c.context FROM \"CallKey\" AS k "
            "JOIN \"Call\" AS c ON c.id = k.call WHERE k.key = ?");
        struct Found {
            double rank;
            qint64 row; // of the passage in the index
            CallSearchHit hit;
        };
        std::vector<Found> ranked;
        ranked.reserve(best.size());
        for (const auto& [key, passage] : best) {
            callRow.reset();
            callRow.bind(1, static_cast<int64_t>(key));
            if (!callRow.executeStep()) {
                continue;
            }
            CallSearchHit hit;
            hit.call = uuid::parse(QString::fromStdString(callRow.getColumn(0).getString())).value_or(QUuid());
            hit.startedAt = dates::fromReferenceSeconds(callRow.getColumn(1).getDouble());
            hit.assistant = optionalId(callRow.getColumn(2));
            hit.context = optionalId(callRow.getColumn(3));
            hit.line = passage.place;
            ranked.push_back({ passage.rank, key * CallSearchHit::rowsPerCall + passage.place + 2, std::move(hit) });
        }
        std::sort(ranked.begin(), ranked.end(), [](const Found& a, const Found& b) {
            return a.rank != b.rank ? a.rank < b.rank : a.hit.startedAt > b.hit.startedAt;
        });
        if (static_cast<int>(ranked.size()) > query.limit) {
            ranked.resize(static_cast<size_t>(query.limit));
        }
        SQLite::Statement passage(db, "SELECT text FROM \"CallSearch\" WHERE rowid = ?");
        const QStringList queryWords = text::normalizedWords(query.text);
        std::vector<CallSearchHit> hits;
        hits.reserve(ranked.size());
        for (Found& found : ranked) {
            passage.reset();
            passage.bind(1, static_cast<int64_t>(found.row));
            if (passage.executeStep()) {
                const SQLite::Column text = passage.getColumn(0);
                markPassage(text::fromUtf8(QByteArrayView(text.getText(), text.getBytes())), queryWords, found.hit);
            }
            hits.push_back(std::move(found.hit));
        }
        return hits;
    } catch (const std::exception& e) {
        return fail(QString::fromUtf8(e.what()));
    }
}

} // namespace callSearch
