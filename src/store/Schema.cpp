#include "store/Schema.h"

#include "common/Dates.h"
#include "common/Text.h"
#include "common/Uuid.h"

namespace schema {

namespace {

// Field adapters between record members and SQL values.

SqlValue text(const QString& value)
{
    return value;
}

QString asText(const SqlValue& value)
{
    if (const auto* s = std::get_if<QString>(&value)) {
        return *s;
    }
    if (const auto* b = std::get_if<QByteArray>(&value)) {
        return text::fromUtf8(*b);
    }
    return {};
}

SqlValue blobValue(const QByteArray& value)
{
    return value;
}

QByteArray asBlob(const SqlValue& value)
{
    if (const auto* b = std::get_if<QByteArray>(&value)) {
        return *b;
    }
    if (const auto* s = std::get_if<QString>(&value)) {
        return s->toUtf8();
    }
    return {};
}

SqlValue date(const QDateTime& value)
{
    return dates::toReferenceSeconds(value);
}

double asDouble(const SqlValue& value)
{
    if (const auto* d = std::get_if<double>(&value)) {
        return *d;
    }
    if (const auto* i = std::get_if<qint64>(&value)) {
        return static_cast<double>(*i);
    }
    return 0;
}

QDateTime asDate(const SqlValue& value)
{
    return dates::fromReferenceSeconds(asDouble(value));
}

SqlValue optionalDate(const std::optional<QDateTime>& value)
{
    if (!value) {
        return std::monostate {};
    }
    return dates::toReferenceSeconds(*value);
}

std::optional<QDateTime> asOptionalDate(const SqlValue& value)
{
    if (std::holds_alternative<std::monostate>(value)) {
        return std::nullopt;
    }
    return asDate(value);
}

SqlValue boolean(bool value)
{
    return qint64(value ? 1 : 0);
}

bool asBool(const SqlValue& value)
{
    if (const auto* i = std::get_if<qint64>(&value)) {
        return *i != 0;
    }
    return asDouble(value) != 0;
}

qint64 asCount(const SqlValue& value)
{
    if (const auto* i = std::get_if<qint64>(&value)) {
        return *i;
    }
    return static_cast<qint64>(asDouble(value));
}

SqlValue id(const QUuid& value)
{
    return uuid::toText(value);
}

QUuid asId(const SqlValue& value)
{
    return uuid::parse(asText(value)).value_or(QUuid());
}

SqlValue reference(const std::optional<QUuid>& value)
{
    if (!value) {
        return std::monostate {};
    }
    return uuid::toText(*value);
}

std::optional<QUuid> asReference(const SqlValue& value)
{
    if (std::holds_alternative<std::monostate>(value)) {
        return std::nullopt;
    }
    return uuid::parse(asText(value));
}

#define TEXT_COLUMN(Type, field, sql)                                                                                  \
    Column<Type>                                                                                                       \
    {                                                                                                                  \
#field, sql, [](const Type& r) { return text(r.field); },                                                      \
            [](Type & r, const SqlValue& v) { r.field = asText(v); }                                                   \
    }
#define NAMED_TEXT_COLUMN(Type, field, column, sql)                                                                    \
    Column<Type>                                                                                                       \
    {                                                                                                                  \
        column, sql, [](const Type& r) { return text(r.field); },                                                      \
            [](Type& r, const SqlValue& v) { r.field = asText(v); }                                                    \
    }
#define BLOB_COLUMN(Type, field)                                                                                       \
    Column<Type>                                                                                                       \
    {                                                                                                                  \
#field, "BLOB NOT NULL DEFAULT x''", [](const Type& r) { return blobValue(r.field); },                         \
            [](Type & r, const SqlValue& v) { r.field = asBlob(v); }                                                   \
    }
#define DATE_COLUMN(Type, field)                                                                                       \
    Column<Type>                                                                                                       \
    {                                                                                                                  \
#field, "REAL NOT NULL DEFAULT 0", [](const Type& r) { return date(r.field); },                                \
            [](Type & r, const SqlValue& v) { r.field = asDate(v); }                                                   \
    }
#define BOOL_COLUMN(Type, field)                                                                                       \
    Column<Type>                                                                                                       \
    {                                                                                                                  \
#field, "INTEGER NOT NULL DEFAULT 0", [](const Type& r) { return boolean(r.field); },                          \
            [](Type & r, const SqlValue& v) { r.field = asBool(v); }                                                   \
    }
#define COUNT_COLUMN(Type, field)                                                                                      \
    Column<Type>                                                                                                       \
    {                                                                                                                  \
#field, "INTEGER NOT NULL DEFAULT 0", [](const Type& r) { return SqlValue(qint64(r.field)); },                 \
            [](Type & r, const SqlValue& v) { r.field = asCount(v); }                                                  \
    }
#define ID_COLUMN(Type)                                                                                                \
    Column<Type>                                                                                                       \
    {                                                                                                                  \
        "id", "TEXT PRIMARY KEY NOT NULL", [](const Type& r) { return id(r.id); },                                     \
            [](Type& r, const SqlValue& v) { r.id = asId(v); }                                                         \
    }
#define REFERENCE_COLUMN(Type, field, sql)                                                                             \
    Column<Type>                                                                                                       \
    {                                                                                                                  \
#field, sql, [](const Type& r) { return reference(r.field); },                                                 \
            [](Type & r, const SqlValue& v) { r.field = asReference(v); }                                              \
    }

constexpr const char* plainText = "TEXT NOT NULL DEFAULT ''";
constexpr const char* assistantReference = "TEXT REFERENCES \"Assistant\"(id) ON DELETE SET NULL";
constexpr const char* contextReference = "TEXT REFERENCES \"CallContext\"(id) ON DELETE SET NULL";

const std::array assistantColumns {
    ID_COLUMN(Assistant),
    TEXT_COLUMN(Assistant, name, plainText),
    NAMED_TEXT_COLUMN(Assistant, templateText, "template", plainText),
    TEXT_COLUMN(Assistant, instructions, plainText),
    TEXT_COLUMN(Assistant, styleNotes, plainText),
    BOOL_COLUMN(Assistant, archived),
    DATE_COLUMN(Assistant, createdAt),
};

const std::array contextColumns {
    ID_COLUMN(CallContext),
    TEXT_COLUMN(CallContext, name, plainText),
    TEXT_COLUMN(CallContext, stage, plainText),
    BOOL_COLUMN(CallContext, archived),
    DATE_COLUMN(CallContext, createdAt),
    REFERENCE_COLUMN(CallContext, assistant, assistantReference),
};

const std::array fileColumns {
    ID_COLUMN(KnowledgeFile),
    TEXT_COLUMN(KnowledgeFile, name, plainText),
    TEXT_COLUMN(KnowledgeFile, content, plainText),
    DATE_COLUMN(KnowledgeFile, importedAt),
    REFERENCE_COLUMN(KnowledgeFile, assistant, assistantReference),
    REFERENCE_COLUMN(KnowledgeFile, context, contextReference),
};

const std::array callColumns {
    ID_COLUMN(Call),
    DATE_COLUMN(Call, startedAt),
    DATE_COLUMN(Call, endedAt),
    REFERENCE_COLUMN(Call, assistant, assistantReference),
    REFERENCE_COLUMN(Call, context, contextReference),
    BLOB_COLUMN(Call, linesData),
    BLOB_COLUMN(Call, suggestionsData),
    TEXT_COLUMN(Call, summary, plainText),
    TEXT_COLUMN(Call, archiveFile, plainText),
    TEXT_COLUMN(Call, outcome, plainText),
    TEXT_COLUMN(Call, outcomeNote, plainText),
    BOOL_COLUMN(Call, reviewedForImprovement),
    // Schema 1.1.0.
    TEXT_COLUMN(Call, improvementFailure, plainText),
    COUNT_COLUMN(Call, improvementFailures),
};

const std::array qaColumns {
    ID_COLUMN(QAItem),
    TEXT_COLUMN(QAItem, question, plainText),
    TEXT_COLUMN(QAItem, answer, plainText),
    TEXT_COLUMN(QAItem, language, plainText),
    TEXT_COLUMN(QAItem, source, plainText),
    DATE_COLUMN(QAItem, createdAt),
    DATE_COLUMN(QAItem, updatedAt),
    REFERENCE_COLUMN(QAItem, assistant, assistantReference),
};

const std::array proposalColumns {
    ID_COLUMN(Proposal),
    TEXT_COLUMN(Proposal, kind, plainText),
    TEXT_COLUMN(Proposal, question, plainText),
    TEXT_COLUMN(Proposal, answer, plainText),
    TEXT_COLUMN(Proposal, language, plainText),
    TEXT_COLUMN(Proposal, targetQA, plainText),
    TEXT_COLUMN(Proposal, text, plainText),
    TEXT_COLUMN(Proposal, reason, plainText),
    BLOB_COLUMN(Proposal, quotesData),
    TEXT_COLUMN(Proposal, status, plainText),
    DATE_COLUMN(Proposal, createdAt),
    Column<Proposal> { "reviewedAt", "REAL", [](const Proposal& r) { return optionalDate(r.reviewedAt); },
        [](Proposal& r, const SqlValue& v) { r.reviewedAt = asOptionalDate(v); } },
    REFERENCE_COLUMN(Proposal, assistant, assistantReference),
};

template <typename R> QString createTable()
{
    QString sql = QStringLiteral("CREATE TABLE IF NOT EXISTS \"%1\" (").arg(QLatin1String(Traits<R>::table));
    bool first = true;
    for (const auto& column : Traits<R>::columns()) {
        if (!first) {
            sql += QStringLiteral(", ");
        }
        first = false;
        sql += QStringLiteral("\"%1\" %2").arg(QLatin1String(column.name), QLatin1String(column.declaration));
    }
    sql += QStringLiteral(");\n");
    return sql;
}

} // namespace

const char* Traits<Assistant>::table = "Assistant";
const char* Traits<Assistant>::dateColumn = "createdAt";
std::span<const Column<Assistant>> Traits<Assistant>::columns()
{
    return assistantColumns;
}
const char* Traits<CallContext>::table = "CallContext";
const char* Traits<CallContext>::dateColumn = "createdAt";
std::span<const Column<CallContext>> Traits<CallContext>::columns()
{
    return contextColumns;
}
const char* Traits<KnowledgeFile>::table = "KnowledgeFile";
const char* Traits<KnowledgeFile>::dateColumn = "importedAt";
std::span<const Column<KnowledgeFile>> Traits<KnowledgeFile>::columns()
{
    return fileColumns;
}
const char* Traits<Call>::table = "Call";
const char* Traits<Call>::dateColumn = "startedAt";
std::span<const Column<Call>> Traits<Call>::columns()
{
    return callColumns;
}
const char* Traits<QAItem>::table = "QAItem";
const char* Traits<QAItem>::dateColumn = "createdAt";
std::span<const Column<QAItem>> Traits<QAItem>::columns()
{
    return qaColumns;
}
const char* Traits<Proposal>::table = "Proposal";
const char* Traits<Proposal>::dateColumn = "createdAt";
std::span<const Column<Proposal>> Traits<Proposal>::columns()
{
    return proposalColumns;
}

double dateKey(const Assistant& r)
{
    return dates::toReferenceSeconds(r.createdAt);
}
double dateKey(const CallContext& r)
{
    return dates::toReferenceSeconds(r.createdAt);
}
double dateKey(const KnowledgeFile& r)
{
    return dates::toReferenceSeconds(r.importedAt);
}
double dateKey(const Call& r)
{
    return dates::toReferenceSeconds(r.startedAt);
}
double dateKey(const QAItem& r)
{
    return dates::toReferenceSeconds(r.createdAt);
}
double dateKey(const Proposal& r)
{
    return dates::toReferenceSeconds(r.createdAt);
}

namespace {

void clearIfDeleted(std::optional<QUuid>& reference, const std::set<QUuid>& deleted)
{
    if (reference && deleted.contains(*reference)) {
        reference.reset();
    }
}

} // namespace

void nullifyReferences(Assistant&, const DeletedOwners&) { }
void nullifyReferences(CallContext& r, const DeletedOwners& d)
{
    clearIfDeleted(r.assistant, d.assistants);
}
void nullifyReferences(KnowledgeFile& r, const DeletedOwners& d)
{
    clearIfDeleted(r.assistant, d.assistants);
    clearIfDeleted(r.context, d.contexts);
}
void nullifyReferences(Call& r, const DeletedOwners& d)
{
    clearIfDeleted(r.assistant, d.assistants);
    clearIfDeleted(r.context, d.contexts);
}
void nullifyReferences(QAItem& r, const DeletedOwners& d)
{
    clearIfDeleted(r.assistant, d.assistants);
}
void nullifyReferences(Proposal& r, const DeletedOwners& d)
{
    clearIfDeleted(r.assistant, d.assistants);
}

std::optional<QUuid> assistantOf(const Assistant&)
{
    return std::nullopt;
}
std::optional<QUuid> assistantOf(const CallContext& r)
{
    return r.assistant;
}
std::optional<QUuid> assistantOf(const KnowledgeFile& r)
{
    return r.assistant;
}
std::optional<QUuid> assistantOf(const Call& r)
{
    return r.assistant;
}
std::optional<QUuid> assistantOf(const QAItem& r)
{
    return r.assistant;
}
std::optional<QUuid> assistantOf(const Proposal& r)
{
    return r.assistant;
}
std::optional<QUuid> contextOf(const Assistant&)
{
    return std::nullopt;
}
std::optional<QUuid> contextOf(const CallContext&)
{
    return std::nullopt;
}
std::optional<QUuid> contextOf(const KnowledgeFile& r)
{
    return r.context;
}
std::optional<QUuid> contextOf(const Call& r)
{
    return r.context;
}
std::optional<QUuid> contextOf(const QAItem&)
{
    return std::nullopt;
}
std::optional<QUuid> contextOf(const Proposal&)
{
    return std::nullopt;
}

QString createStatements()
{
    return createTable<Assistant>() + createTable<CallContext>() + createTable<KnowledgeFile>() + createTable<Call>()
        + createTable<QAItem>() + createTable<Proposal>()
        + QStringLiteral("CREATE INDEX IF NOT EXISTS CallContext_assistant ON \"CallContext\"(assistant);\n"
                         "CREATE INDEX IF NOT EXISTS KnowledgeFile_assistant ON \"KnowledgeFile\"(assistant);\n"
                         "CREATE INDEX IF NOT EXISTS KnowledgeFile_context ON \"KnowledgeFile\"(context);\n"
                         "CREATE INDEX IF NOT EXISTS Call_assistant ON \"Call\"(assistant, startedAt);\n"
                         "CREATE INDEX IF NOT EXISTS Call_context ON \"Call\"(context, startedAt);\n"
                         "CREATE INDEX IF NOT EXISTS QAItem_assistant ON \"QAItem\"(assistant);\n"
                         "CREATE INDEX IF NOT EXISTS Proposal_assistant ON \"Proposal\"(assistant);\n");
}

} // namespace schema

namespace schema {

namespace {

// Where the calls to index come from: the trigger's own row, or every stored call.
struct CallRows {
    QString row; // "NEW", "OLD" or "Call"
    QString key; // the call's key in "CallKey"
    QString from; // the FROM clause that gives them (empty for a trigger's row)

    static CallRows of(const char* row)
    {
        return { QLatin1String(row),
            QStringLiteral("(SELECT key FROM \"CallKey\" WHERE call = %1.id)").arg(QLatin1String(row)), QString() };
    }
    static CallRows stored()
    {
        return { QStringLiteral("\"Call\""), QStringLiteral("k.key"),
            QStringLiteral(" FROM \"Call\" JOIN \"CallKey\" AS k ON k.call = \"Call\".id") };
    }
};

// The row of one text of a call: the call's key, then its place (a line's index, or the summary or the
// note) shifted past the negative places.
QString rowid(const QString& key, const QString& place)
{
    return QStringLiteral("%1 * %2 + %3 + 2").arg(key).arg(CallSearchHit::rowsPerCall).arg(place);
}

// The lines blob of `row` as JSON text, or an empty array when it is not an array.
QString linesJson(const QString& row)
{
    const QString text = QStringLiteral("CAST(%1.\"linesData\" AS TEXT)").arg(row);
    return QStringLiteral("(CASE WHEN json_valid(%1) AND json_type(%1) = 'array' THEN %1 ELSE '[]' END)").arg(text);
}

// True when every element of `lines` is a line as the blob decoder reads it (one bad line: no lines).
QString wellFormed(const QString& lines)
{
    return QStringLiteral("NOT EXISTS (SELECT 1 FROM json_each(%1) WHERE type <> 'object' "
                          "OR coalesce(json_type(value, '$.fromMe'), '') NOT IN ('true', 'false') "
                          "OR coalesce(json_type(value, '$.text'), '') <> 'text' "
                          "OR coalesce(json_type(value, '$.date'), '') NOT IN ('integer', 'real'))")
        .arg(lines);
}

// Indexes each non-empty line of the calls. The limit keeps SQLite from merging the inner selection
// into the join, which would check a call's lines again for each of its lines.
QString addLines(const CallRows& calls)
{
    const QString lines = linesJson(calls.row);
    return QStringLiteral("INSERT INTO \"CallSearch\"(rowid, text) SELECT %1, json_extract(j.value, '$.text') "
                          "FROM (SELECT %2 AS callKey, %3 AS lines%4 WHERE %5 LIMIT -1) AS c, json_each(c.lines) AS j "
                          "WHERE json_extract(j.value, '$.text') <> '';\n")
        .arg(rowid(QStringLiteral("c.callKey"), QStringLiteral("CAST(j.key AS INTEGER)")), calls.key, lines, calls.from,
            wellFormed(lines));
}

// Indexes a text column of the calls (the summary or the note) unless it is empty.
QString addField(const CallRows& calls, const char* column, int place)
{
    return QStringLiteral("INSERT INTO \"CallSearch\"(rowid, text) SELECT %1, %2.\"%3\"%4 WHERE %2.\"%3\" <> '';\n")
        .arg(rowid(calls.key, QString::number(place)), calls.row, QLatin1String(column), calls.from);
}

QString addEverything(const CallRows& calls)
{
    return addLines(calls) + addField(calls, "summary", CallSearchHit::summaryLine)
        + addField(calls, "outcomeNote", CallSearchHit::noteLine);
}

// Removes the old row's texts at places `first` to `last` (a range of rowids, which the index finds
// without reading any text).
QString removePlaces(int first, qint64 last)
{
    const QString key = CallRows::of("OLD").key;
    return QStringLiteral("DELETE FROM \"CallSearch\" WHERE rowid BETWEEN %1 AND %2;\n")
        .arg(rowid(key, QString::number(first)), rowid(key, QString::number(last)));
}

QString replaceField(const char* trigger, const char* column, int place)
{
    return QStringLiteral("CREATE TRIGGER IF NOT EXISTS \"%1\" AFTER UPDATE OF \"%2\" ON \"Call\" BEGIN\n")
               .arg(QLatin1String(trigger), QLatin1String(column))
        + removePlaces(place, place) + addField(CallRows::of("NEW"), column, place) + QStringLiteral("END;\n");
}

} // namespace

QString searchIndexStatements()
{
    const qint64 lastLine = CallSearchHit::rowsPerCall - 3;
    return QStringLiteral(
               "CREATE TABLE IF NOT EXISTS \"CallKey\" (key INTEGER PRIMARY KEY, call TEXT NOT NULL UNIQUE);\n"
               "CREATE VIRTUAL TABLE IF NOT EXISTS \"CallSearch\" USING fts5(text, "
               "tokenize='unicode61 remove_diacritics 2');\n"
               "CREATE TRIGGER IF NOT EXISTS \"Call_indexed\" AFTER INSERT ON \"Call\" BEGIN\n"
               "INSERT OR IGNORE INTO \"CallKey\"(call) VALUES (NEW.id);\n")
        + addEverything(CallRows::of("NEW"))
        + QStringLiteral("END;\n"
                         "CREATE TRIGGER IF NOT EXISTS \"Call_linesIndexed\" AFTER UPDATE OF \"linesData\" ON \"Call\" "
                         "BEGIN\n")
        + removePlaces(0, lastLine) + addLines(CallRows::of("NEW")) + QStringLiteral("END;\n")
        + replaceField("Call_summaryIndexed", "summary", CallSearchHit::summaryLine)
        + replaceField("Call_noteIndexed", "outcomeNote", CallSearchHit::noteLine)
        + QStringLiteral("CREATE TRIGGER IF NOT EXISTS \"Call_unindexed\" AFTER DELETE ON \"Call\" BEGIN\n")
        + removePlaces(CallSearchHit::noteLine, lastLine)
        + QStringLiteral("DELETE FROM \"CallKey\" WHERE call = OLD.id;\nEND;\n");
}

QStringList searchIndexObjects()
{
    return { QStringLiteral("CallKey"), QStringLiteral("CallSearch"), QStringLiteral("Call_indexed"),
        QStringLiteral("Call_linesIndexed"), QStringLiteral("Call_summaryIndexed"), QStringLiteral("Call_noteIndexed"),
        QStringLiteral("Call_unindexed") };
}

QString fillSearchIndex()
{
    return QStringLiteral("INSERT INTO \"CallKey\"(call) SELECT id FROM \"Call\" ORDER BY rowid;\n")
        + addEverything(CallRows::stored());
}

} // namespace schema
