#pragma once

#include "common/Error.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QUuid>

#include <optional>
#include <utility>
#include <vector>

class StoreContext;

struct CallSearchQuery {
    QString text;
    std::optional<QUuid> assistant; // only the calls of this assistant
    std::optional<QUuid> context; // only the calls of this context
    int limit = 20;
};

// One call that matched, with the passage that matched best.
struct CallSearchHit {
    // Where the passage comes from: a line's place in the call's lines, or one of these.
    static constexpr int summaryLine = -1;
    static constexpr int noteLine = -2;
    // In the index a call's texts are the rows from its key times this, plus the place plus 2.
    static constexpr qint64 rowsPerCall = qint64(1) << 20;

    QUuid call;
    QDateTime startedAt;
    std::optional<QUuid> assistant;
    std::optional<QUuid> context;
    int line = 0;
    // The line, summary or note, shortened around the match with "…".
    QString passage;
    // Where the matching words are in `passage`: start and length.
    QList<std::pair<qsizetype, qsizetype>> marks;

    bool operator==(const CallSearchHit&) const = default;
};

// Full-text search over the stored calls (the index the store keeps in step with every call).
namespace callSearch {

// The words of `text` (normalised as everywhere in the app) as an index query: each word must
// occur in the same line, summary or note, the last one also as the start of a longer word, so a
// query matches while it is being typed. Empty when the text has no word.
QString matchExpression(const QString& text);

// The calls whose text matches, best match first and newest first among equal matches, at most
// `limit` of them. A word said in most calls is ranked over its newest passages only (a few
// thousand, and always enough for `limit` calls). What the context holds unsaved is not searched.
Result<std::vector<CallSearchHit>> find(StoreContext& context, const CallSearchQuery& query);

} // namespace callSearch
