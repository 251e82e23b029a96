#include "store/StoreContext.h"

#include "common/Text.h"
#include "common/Uuid.h"
#include "store/Schema.h"
#include "store/Store.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include <algorithm>
#include <map>
#include <string_view>
#include <tuple>

using schema::SqlValue;

namespace {

void bindValue(SQLite::Statement& statement, int index, const SqlValue& value)
{
    std::visit(
        [&](const auto& v) {
            using V = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<V, std::monostate>) {
                statement.bind(index);
            } else if constexpr (std::is_same_v<V, qint64>) {
                statement.bind(index, static_cast<int64_t>(v));
            } else if constexpr (std::is_same_v<V, double>) {
                statement.bind(index, v);
            } else if constexpr (std::is_same_v<V, QString>) {
                const QByteArray utf8 = v.toUtf8();
                statement.bind(index, std::string(utf8.constData(), static_cast<size_t>(utf8.size())));
            } else {
                statement.bind(index, static_cast<const void*>(v.constData()), static_cast<int>(v.size()));
            }
        },
        value);
}

SqlValue readValue(const SQLite::Column& column)
{
    if (column.isNull()) {
        return std::monostate {};
    }
    if (column.isInteger()) {
        return qint64(column.getInt64());
    }
    if (column.isFloat()) {
        return column.getDouble();
    }
    if (column.isBlob()) {
        return QByteArray(static_cast<const char*>(column.getBlob()), column.getBytes());
    }
    return text::fromUtf8(QByteArrayView(column.getText(), column.getBytes()));
}

template <typename R> std::string columnList(bool withoutBlobs = false)
{
    std::string list;
    for (const auto& column : schema::Traits<R>::columns()) {
        if (!list.empty()) {
            list += ", ";
        }
        if (withoutBlobs && std::string_view(column.declaration).starts_with("BLOB")) {
            list += "x''";
        } else {
            list += std::string("\"") + column.name + "\"";
        }
    }
    return list;
}

template <typename R> R readRecord(SQLite::Statement& statement)
{
    R record;
    int index = 0;
    for (const auto& column : schema::Traits<R>::columns()) {
        column.set(record, readValue(statement.getColumn(index++)));
    }
    return record;
}

template <typename R> bool matches(const R& record, const Query& query)
{
    if (query.id && record.id != *query.id) {
        return false;
    }
    if (query.assistant && schema::assistantOf(record) != query.assistant) {
        return false;
    }
    if (query.context && schema::contextOf(record) != query.context) {
        return false;
    }
    return true;
}

// Runs `body`, turning the store library's exceptions into the store's message.
template <typename F> auto guarded(F&& body) -> decltype(body())
{
    try {
        return body();
    } catch (const std::exception& e) {
        return fail(QString::fromUtf8(e.what()));
    }
}

// One hash per column of a row. Kept instead of the row itself, so that remembering what a
// fetch returned costs a few bytes per row however large its text and blobs are.
using RowHashes = std::vector<size_t>;

size_t hashValue(const SqlValue& value)
{
    const size_t kind = value.index() * 0x9e3779b97f4a7c15ULL;
    return std::visit(
        [&](const auto& v) -> size_t {
            using V = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<V, std::monostate>) {
                return kind;
            } else {
                return qHash(v, kind);
            }
        },
        value);
}

template <typename R> RowHashes rowHashes(const R& record)
{
    RowHashes hashes;
    hashes.reserve(schema::Traits<R>::columns().size());
    for (const auto& column : schema::Traits<R>::columns()) {
        hashes.push_back(hashValue(column.get(record)));
    }
    return hashes;
}

template <typename R> struct PendingOf {
    using Record = R;
    std::map<QUuid, R> inserted; // new records
    std::map<QUuid, R> updated; // stored records with pending field values
    std::map<QUuid, RowHashes> baseline; // the rows the updates started from (empty: unknown)
    std::set<QUuid> removed; // stored records to delete
    std::vector<QUuid> insertOrder;

    bool empty() const { return inserted.empty() && updated.empty() && removed.empty(); }
    void clear() { *this = PendingOf {}; }
};

template <typename R> struct SeenOf {
    std::map<QUuid, RowHashes> rows;
};

} // namespace

struct StoreContext::Pending {
    std::tuple<PendingOf<Assistant>, PendingOf<CallContext>, PendingOf<KnowledgeFile>, PendingOf<Call>,
        PendingOf<QAItem>, PendingOf<Proposal>>
        byType;
    schema::DeletedOwners deletedOwners;
    // The rows as this context last fetched or saved them. An update is compared with these,
    // so that a field another process changed since this context read the row is not written
    // back with the stale value the caller still holds. Kept across saves and rollbacks.
    std::tuple<SeenOf<Assistant>, SeenOf<CallContext>, SeenOf<KnowledgeFile>, SeenOf<Call>, SeenOf<QAItem>,
        SeenOf<Proposal>>
        seenByType;

    template <typename R> PendingOf<R>& of() { return std::get<PendingOf<R>>(byType); }

    template <typename R> std::map<QUuid, RowHashes>& seen() { return std::get<SeenOf<R>>(seenByType).rows; }

    template <typename R> void remember(const std::vector<R>& stored)
    {
        auto& seenRows = seen<R>();
        for (const R& record : stored) {
            seenRows.insert_or_assign(record.id, rowHashes(record));
        }
    }

    template <typename F> void forEach(F&& f)
    {
        std::apply([&](auto&... pending) { (f(pending), ...); }, byType);
    }

    bool empty()
    {
        bool result = true;
        forEach([&](auto& pending) { result = result && pending.empty(); });
        return result;
    }
};

StoreContext::StoreContext(std::shared_ptr<Store> store)
    : m_store(std::move(store))
    , m_pending(std::make_unique<Pending>())
{
}

StoreContext::~StoreContext() = default;

namespace {

// The stored rows that match `query`, without this context's pending changes.
template <typename R> std::vector<R> loadRows(SQLite::Database& db, const Query& query, bool applyLimit)
{
    std::string sql = "SELECT " + columnList<R>(query.withoutBlobs) + " FROM \"" + schema::Traits<R>::table + "\"";
    std::vector<std::pair<std::string, SqlValue>> conditions;
    if (query.id) {
        conditions.emplace_back("id", uuid::toText(*query.id));
    }
    if (query.assistant) {
        conditions.emplace_back("assistant", uuid::toText(*query.assistant));
    }
    if (query.context) {
        conditions.emplace_back("context", uuid::toText(*query.context));
    }
    for (size_t i = 0; i < conditions.size(); ++i) {
        sql += (i == 0 ? " WHERE " : " AND ") + std::string("\"") + conditions[i].first + "\" = ?";
    }
    if (query.order != Order::unsorted) {
        const char* direction = query.order == Order::oldestFirst ? " ASC" : " DESC";
        sql += std::string(" ORDER BY \"") + schema::Traits<R>::dateColumn + "\"" + direction + ", rowid" + direction;
    }
    if (query.limit && applyLimit) {
        sql += " LIMIT " + std::to_string(std::max(0, *query.limit));
    }
    SQLite::Statement statement(db, sql);
    for (size_t i = 0; i < conditions.size(); ++i) {
        bindValue(statement, static_cast<int>(i + 1), conditions[i].second);
    }
    std::vector<R> records;
    while (statement.executeStep()) {
        records.push_back(readRecord<R>(statement));
    }
    return records;
}

} // namespace

template <typename R> Result<std::vector<R>> StoreContext::fetch(const Query& query)
{
    auto& pending = m_pending->template of<R>();
    const bool overlay =
        !pending.empty() || !m_pending->deletedOwners.assistants.empty() || !m_pending->deletedOwners.contexts.empty();
    return guarded([&]() -> Result<std::vector<R>> {
        std::vector<R> records = loadRows<R>(m_store->database(), query, !overlay);
        m_pending->remember(records);
        if (!overlay) {
            return records;
        }
        std::vector<R> merged;
        merged.reserve(records.size() + pending.inserted.size());
        for (R& record : records) {
            if (pending.removed.contains(record.id)) {
                continue;
            }
            if (auto it = pending.updated.find(record.id); it != pending.updated.end()) {
                record = it->second;
            }
            schema::nullifyReferences(record, m_pending->deletedOwners);
            if (matches(record, query)) {
                merged.push_back(std::move(record));
            }
        }
        // Updated records whose new owner now matches but whose stored row did not.
        for (const auto& [id, record] : pending.updated) {
            if (!matches(record, query)) {
                continue;
            }
            const bool present = std::any_of(merged.begin(), merged.end(), [&](const R& r) { return r.id == id; });
            if (!present) {
                merged.push_back(record);
            }
        }
        for (const QUuid& id : pending.insertOrder) {
            const R& record = pending.inserted.at(id);
            if (matches(record, query)) {
                merged.push_back(record);
            }
        }
        if (query.order != Order::unsorted) {
            const bool ascending = query.order == Order::oldestFirst;
            std::stable_sort(merged.begin(), merged.end(), [&](const R& a, const R& b) {
                return ascending ? schema::dateKey(a) < schema::dateKey(b) : schema::dateKey(a) > schema::dateKey(b);
            });
        }
        if (query.limit && static_cast<int>(merged.size()) > std::max(0, *query.limit)) {
            merged.resize(static_cast<size_t>(std::max(0, *query.limit)));
        }
        return merged;
    });
}

template <typename R> Result<std::optional<R>> StoreContext::fetchOne(const QUuid& id)
{
    auto records = fetch<R>(Query::byId(id));
    if (!records) {
        return std::unexpected(records.error());
    }
    if (records->empty()) {
        return std::optional<R>();
    }
    return std::optional<R>(std::move(records->front()));
}

template <typename R> Result<qint64> StoreContext::count()
{
    auto& pending = m_pending->template of<R>();
    return guarded([&]() -> Result<qint64> {
        SQLite::Statement statement(
            m_store->database(), std::string("SELECT count(*) FROM \"") + schema::Traits<R>::table + "\"");
        statement.executeStep();
        const qint64 stored = statement.getColumn(0).getInt64();
        // Only removals of rows that are still stored lower the count: an id removed twice over,
        // never stored, or already deleted by another process must not.
        qint64 removedStored = 0;
        if (!pending.removed.empty()) {
            SQLite::Statement present(m_store->database(),
                std::string("SELECT count(*) FROM \"") + schema::Traits<R>::table + "\" WHERE id = ?");
            for (const QUuid& id : pending.removed) {
                present.reset();
                bindValue(present, 1, uuid::toText(id));
                present.executeStep();
                removedStored += present.getColumn(0).getInt64();
            }
        }
        return stored + static_cast<qint64>(pending.inserted.size()) - removedStored;
    });
}

template <typename R> void StoreContext::insert(const R& record)
{
    auto& pending = m_pending->template of<R>();
    if (!pending.inserted.contains(record.id)) {
        pending.insertOrder.push_back(record.id);
    }
    R added = record;
    // An owner removed earlier in this unit of work is gone for this record too.
    schema::nullifyReferences(added, m_pending->deletedOwners);
    pending.inserted.insert_or_assign(record.id, std::move(added));
}

template <typename R> void StoreContext::update(const R& record)
{
    auto& pending = m_pending->template of<R>();
    R changed = record;
    schema::nullifyReferences(changed, m_pending->deletedOwners);
    if (auto it = pending.inserted.find(record.id); it != pending.inserted.end()) {
        it->second = std::move(changed);
        return;
    }
    if (pending.removed.contains(record.id)) {
        return;
    }
    if (!pending.baseline.contains(record.id)) {
        // Saving writes only the fields that differ from the row this context read; a record it
        // never read is compared with the row as it is now.
        const auto& seenRows = m_pending->template seen<R>();
        if (auto it = seenRows.find(record.id); it != seenRows.end()) {
            pending.baseline.insert_or_assign(record.id, it->second);
        } else {
            std::vector<R> stored;
            try {
                stored = loadRows<R>(m_store->database(), Query::byId(record.id), true);
            } catch (const std::exception&) {
                // Unreadable now: every field counts as changed, and the save reports the fault.
            }
            pending.baseline.insert_or_assign(record.id, stored.empty() ? RowHashes {} : rowHashes(stored.front()));
        }
    }
    pending.updated.insert_or_assign(record.id, std::move(changed));
}

template <typename R> void StoreContext::remove(const QUuid& id)
{
    auto& pending = m_pending->template of<R>();
    if (pending.inserted.erase(id) > 0) {
        std::erase(pending.insertOrder, id);
    } else {
        pending.updated.erase(id);
        pending.baseline.erase(id);
        pending.removed.insert(id);
    }
    if constexpr (std::is_same_v<R, Assistant> || std::is_same_v<R, CallContext>) {
        if constexpr (std::is_same_v<R, Assistant>) {
            m_pending->deletedOwners.assistants.insert(id);
        } else {
            m_pending->deletedOwners.contexts.insert(id);
        }
        m_pending->forEach([&](auto& other) {
            for (auto& [otherId, record] : other.inserted) {
                schema::nullifyReferences(record, m_pending->deletedOwners);
            }
            for (auto& [otherId, record] : other.updated) {
                schema::nullifyReferences(record, m_pending->deletedOwners);
            }
        });
    }
}

bool StoreContext::hasChanges() const
{
    return !m_pending->empty();
}

namespace {

template <typename R> void writeInserts(SQLite::Database& db, const PendingOf<R>& pending)
{
    if (pending.inserted.empty()) {
        return;
    }
    const auto columns = schema::Traits<R>::columns();
    std::string placeholders;
    for (size_t i = 0; i < columns.size(); ++i) {
        placeholders += i == 0 ? "?" : ", ?";
    }
    SQLite::Statement statement(db,
        std::string("INSERT INTO \"") + schema::Traits<R>::table + "\" (" + columnList<R>() + ") VALUES ("
            + placeholders + ")");
    for (const QUuid& id : pending.insertOrder) {
        const R& record = pending.inserted.at(id);
        statement.reset();
        int index = 1;
        for (const auto& column : columns) {
            bindValue(statement, index++, column.get(record));
        }
        statement.exec();
    }
}

template <typename R> void writeUpdates(SQLite::Database& db, const PendingOf<R>& pending)
{
    for (const auto& [id, record] : pending.updated) {
        const RowHashes& baseline = pending.baseline.at(id);
        std::string assignments;
        std::vector<SqlValue> values;
        size_t columnIndex = 0;
        for (const auto& column : schema::Traits<R>::columns()) {
            SqlValue value = column.get(record);
            const bool unchanged = columnIndex < baseline.size() && hashValue(value) == baseline[columnIndex];
            ++columnIndex;
            if (unchanged) {
                continue;
            }
            assignments += std::string(assignments.empty() ? "" : ", ") + "\"" + column.name + "\" = ?";
            values.push_back(std::move(value));
        }
        if (values.empty()) {
            continue;
        }
        SQLite::Statement statement(
            db, std::string("UPDATE \"") + schema::Traits<R>::table + "\" SET " + assignments + " WHERE id = ?");
        int index = 1;
        for (const SqlValue& value : values) {
            bindValue(statement, index++, value);
        }
        bindValue(statement, index, uuid::toText(id));
        statement.exec();
    }
}

template <typename R> void writeRemovals(SQLite::Database& db, const PendingOf<R>& pending)
{
    if (pending.removed.empty()) {
        return;
    }
    SQLite::Statement statement(db, std::string("DELETE FROM \"") + schema::Traits<R>::table + "\" WHERE id = ?");
    for (const QUuid& id : pending.removed) {
        statement.reset();
        bindValue(statement, 1, uuid::toText(id));
        statement.exec();
    }
}

// Commits on success; rolls back when left without commit (an exception or an early return).
class TransactionGuard {
public:
    explicit TransactionGuard(SQLite::Database& db)
        : m_db(db)
    {
        m_db.exec("BEGIN IMMEDIATE");
    }
    ~TransactionGuard()
    {
        if (!m_done) {
            try {
                m_db.exec("ROLLBACK");
            } catch (...) {
            }
        }
    }
    void commit()
    {
        m_db.exec("COMMIT");
        m_done = true;
    }

private:
    SQLite::Database& m_db;
    bool m_done = false;
};

} // namespace

Result<void> StoreContext::save()
{
    if (m_pending->empty()) {
        // Nothing to write, but an owner inserted and removed again leaves a note behind.
        rollback();
        return {};
    }
    auto result = guarded([&]() -> Result<void> {
        SQLite::Database& db = m_store->database();
        TransactionGuard transaction(db);
        // Owners before what they own, so references resolve; removals last, children first.
        m_pending->forEach([&](auto& pending) { writeInserts(db, pending); });
        m_pending->forEach([&](auto& pending) { writeUpdates(db, pending); });
        writeRemovals(db, m_pending->of<Proposal>());
        writeRemovals(db, m_pending->of<QAItem>());
        writeRemovals(db, m_pending->of<Call>());
        writeRemovals(db, m_pending->of<KnowledgeFile>());
        writeRemovals(db, m_pending->of<CallContext>());
        writeRemovals(db, m_pending->of<Assistant>());
        transaction.commit();
        return {};
    });
    if (result) {
        // What was written is now what this context last saw of those rows.
        m_pending->forEach([&](auto& pending) {
            using R = typename std::decay_t<decltype(pending)>::Record;
            auto& seenRows = m_pending->template seen<R>();
            for (const auto& [id, record] : pending.inserted) {
                seenRows.insert_or_assign(id, rowHashes(record));
            }
            for (const auto& [id, record] : pending.updated) {
                seenRows.insert_or_assign(id, rowHashes(record));
            }
            for (const QUuid& id : pending.removed) {
                seenRows.erase(id);
            }
        });
        rollback();
        Q_EMIT m_store->saved();
    }
    return result;
}

void StoreContext::rollback()
{
    m_pending->forEach([](auto& pending) { pending.clear(); });
    m_pending->deletedOwners = {};
}

#define QUILLORA_INSTANTIATE_CONTEXT(Type)                                                                             \
    template Result<std::vector<Type>> StoreContext::fetch<Type>(const Query&);                                        \
    template Result<std::optional<Type>> StoreContext::fetchOne<Type>(const QUuid&);                                   \
    template Result<qint64> StoreContext::count<Type>();                                                               \
    template void StoreContext::insert<Type>(const Type&);                                                             \
    template void StoreContext::update<Type>(const Type&);                                                             \
    template void StoreContext::remove<Type>(const QUuid&);
QUILLORA_INSTANTIATE_CONTEXT(Assistant)
QUILLORA_INSTANTIATE_CONTEXT(CallContext)
QUILLORA_INSTANTIATE_CONTEXT(KnowledgeFile)
QUILLORA_INSTANTIATE_CONTEXT(Call)
QUILLORA_INSTANTIATE_CONTEXT(QAItem)
QUILLORA_INSTANTIATE_CONTEXT(Proposal)
