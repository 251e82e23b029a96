#include "store/Store.h"

#include "common/Log.h"
#include "common/PrivateFiles.h"
#include "store/Schema.h"
#include "store/StoreContext.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <sqlite3.h>

#include <QFileInfo>
#include <QScopeGuard>
#include <QStringList>

#include <QThread>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <set>
#include <system_error>
#include <utility>
#include <vector>

namespace {

// Long enough for the other process's save to finish; short enough not to freeze the app.
constexpr int busyTimeoutMs = 5000;

template <typename R> std::set<std::string> existingColumns(SQLite::Database& db)
{
    std::set<std::string> existing;
    SQLite::Statement info(db, std::string("PRAGMA table_info(\"") + schema::Traits<R>::table + "\")");
    while (info.executeStep()) {
        existing.insert(info.getColumn(1).getString());
    }
    return existing;
}

// True when the table is missing or lacks one of its columns.
template <typename R> bool lacksColumns(SQLite::Database& db)
{
    const std::set<std::string> existing = existingColumns<R>(db);
    for (const auto& column : schema::Traits<R>::columns()) {
        if (!existing.contains(column.name)) {
            return true;
        }
    }
    return false;
}

template <typename R> void addMissingColumns(SQLite::Database& db)
{
    const std::set<std::string> existing = existingColumns<R>(db);
    for (const auto& column : schema::Traits<R>::columns()) {
        if (!existing.contains(column.name)) {
            db.exec(std::string("ALTER TABLE \"") + schema::Traits<R>::table + "\" ADD COLUMN \"" + column.name + "\" "
                + column.declaration);
        }
    }
}

// True when the store has every table and trigger of the search index.
bool hasSearchIndex(SQLite::Database& db)
{
    const QStringList names = schema::searchIndexObjects();
    SQLite::Statement present(db, "SELECT count(*) FROM sqlite_master WHERE name = ?");
    for (const QString& name : names) {
        present.reset();
        present.bind(1, name.toStdString());
        present.executeStep();
        if (present.getColumn(0).getInt() == 0) {
            return false;
        }
    }
    return true;
}

// Builds the search index from the stored calls. Whatever part of it a store has is built anew,
// so the index never counts a call twice.
void buildSearchIndex(SQLite::Database& db)
{
    std::vector<std::pair<std::string, std::string>> present; // type, name
    {
        SQLite::Statement kinds(db, "SELECT type, name FROM sqlite_master");
        const QStringList names = schema::searchIndexObjects();
        while (kinds.executeStep()) {
            const std::string name = kinds.getColumn(1).getString();
            if (names.contains(QString::fromStdString(name))) {
                present.emplace_back(kinds.getColumn(0).getString(), name);
            }
        }
    }
    // Tables first: dropping one drops its triggers too.
    std::stable_sort(present.begin(), present.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [type, name] : present) {
        db.exec((type == "trigger" ? "DROP TRIGGER IF EXISTS \"" : "DROP TABLE IF EXISTS \"") + name + "\"");
    }
    db.exec(schema::searchIndexStatements().toStdString());
    db.exec(schema::fillSearchIndex().toStdString());
}

} // namespace

Store::Store(std::unique_ptr<SQLite::Database> database, QString path)
    : m_database(std::move(database))
    , m_path(std::move(path))
{
}

Store::~Store() = default;

Store::CheckedOpen Store::prepare(std::unique_ptr<SQLite::Database> db, QString path, Check check)
{
    // SQLite waits out another process's lock on most statements, but not on all of opening (the
    // switch to WAL on a new file gives up at once): every step here is safe to repeat, so the
    // whole of it is tried again until the busy timeout has passed.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(busyTimeoutMs);
    while (true) {
        try {
            prepareSchema(*db, !path.isEmpty(), check);
            break;
        } catch (const SQLite::Exception& e) {
            const int code = e.getErrorCode() & 0xff;
            if (code == SQLITE_CORRUPT || code == SQLITE_NOTADB) {
                // Closed without a checkpoint (see openFile), so the damaged file stays as it was.
                return { fail(QString::fromUtf8(e.what())), true };
            }
            if ((code != SQLITE_BUSY && code != SQLITE_LOCKED) || std::chrono::steady_clock::now() >= deadline) {
                return { fail(QString::fromUtf8(e.what())) };
            }
            QThread::msleep(20);
        } catch (const std::exception& e) {
            return { fail(QString::fromUtf8(e.what())) };
        }
    }
    // Healthy: the last connection to close may move the write-ahead log into the file again.
    sqlite3_db_config(db->getHandle(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 0, nullptr);
    return { std::shared_ptr<Store>(new Store(std::move(db), std::move(path))) };
}

namespace {

// PRAGMA quick_check within Store::checkLimitMs; true when it found nothing or ran out of time.
bool passesQuickCheck(SQLite::Database& db)
{
    struct Deadline {
        std::chrono::steady_clock::time_point at;
        bool passed = false;
    } deadline { std::chrono::steady_clock::now() + std::chrono::milliseconds(Store::checkLimitMs) };
    sqlite3_progress_handler(
        db.getHandle(), 1000,
        [](void* data) -> int {
            auto* limit = static_cast<Deadline*>(data);
            limit->passed = std::chrono::steady_clock::now() >= limit->at;
            return limit->passed ? 1 : 0;
        },
        &deadline);
    const auto handlerOff = qScopeGuard([&db] { sqlite3_progress_handler(db.getHandle(), 0, nullptr, nullptr); });
    try {
        SQLite::Statement check(db, "PRAGMA quick_check(20)");
        QStringList problems;
        while (check.executeStep()) {
            problems.append(QString::fromStdString(check.getColumn(0).getString()));
        }
        if (problems == QStringList { QStringLiteral("ok") }) {
            return true;
        }
        qCCritical(lcAssistants, "The store is damaged: %s", qUtf8Printable(problems.join(QStringLiteral("; "))));
        return false;
    } catch (const SQLite::Exception& e) {
        if (deadline.passed) {
            qCWarning(lcAssistants, "Checking the store took longer than %d ms: taken as healthy", Store::checkLimitMs);
            return true;
        }
        throw;
    }
}

} // namespace

void Store::prepareSchema(SQLite::Database& database, bool onDisk, Check check)
{
    SQLite::Database* db = &database;
    {
        db->setBusyTimeout(busyTimeoutMs);
        // Reading the schema first makes a file that is not a database fail before anything
        // is written to it; so does a damaged one, checked before the first write.
        db->execAndGet("SELECT count(*) FROM sqlite_master");
        if (check == Check::quick && !passesQuickCheck(*db)) {
            throw SQLite::Exception(sqlite3_errstr(SQLITE_CORRUPT), SQLITE_CORRUPT);
        }
        if (onDisk) {
            db->execAndGet("PRAGMA journal_mode=WAL");
            // With WAL, FULL syncs the log on every commit: a saved call survives a power cut.
            db->exec("PRAGMA synchronous=FULL");
        }
        db->exec("PRAGMA foreign_keys=ON");
        const int version = db->execAndGet("PRAGMA user_version").getInt();
        // The version stayed 1.0.0 while columns were added, so a file can carry the current
        // version and still lack a column: the tables are checked whatever the version says.
        const bool incomplete = lacksColumns<Assistant>(*db) || lacksColumns<CallContext>(*db)
            || lacksColumns<KnowledgeFile>(*db) || lacksColumns<Call>(*db) || lacksColumns<QAItem>(*db)
            || lacksColumns<Proposal>(*db);
        if (incomplete || version < schema::userVersion || !hasSearchIndex(*db)) {
            db->exec("BEGIN IMMEDIATE");
            try {
                db->exec(schema::createStatements().toStdString());
                addMissingColumns<Assistant>(*db);
                addMissingColumns<CallContext>(*db);
                addMissingColumns<KnowledgeFile>(*db);
                addMissingColumns<Call>(*db);
                addMissingColumns<QAItem>(*db);
                addMissingColumns<Proposal>(*db);
                // Checked again inside the transaction: another process may have built it meanwhile.
                if (!hasSearchIndex(*db)) {
                    buildSearchIndex(*db);
                }
                if (version < schema::userVersion) {
                    db->exec("PRAGMA user_version=" + std::to_string(schema::userVersion));
                }
                db->exec("COMMIT");
            } catch (...) {
                db->tryExec("ROLLBACK");
                throw;
            }
        }
    }
}

Result<std::shared_ptr<Store>> Store::open(const QString& path)
{
    return openFile(path, Check::none).store;
}

Store::CheckedOpen Store::openChecked(const QString& path)
{
    return openFile(path, Check::quick);
}

Store::CheckedOpen Store::openFile(const QString& path, Check check)
{
    const std::filesystem::path folder = std::filesystem::path(path.toStdString()).parent_path();
    if (!folder.empty()) {
        std::error_code error;
        std::filesystem::create_directories(folder, error);
        if (error) {
            return { fail(QString::fromLocal8Bit(error.message())) };
        }
    }
    if (QFileInfo(path).isDir()) {
        return { fail(QString::fromLocal8Bit(std::strerror(EISDIR))) };
    }
    // Created owner-only before SQLite opens it; SQLite gives its -wal and -shm files the same
    // permissions. Files of an earlier start are tightened by name: none of the store's files is ever
    // opened outside SQLite, whose locks on them a closed descriptor would drop.
    privateFiles::ensureFile(path);
    privateFiles::tighten(path + QStringLiteral("-wal"));
    privateFiles::tighten(path + QStringLiteral("-shm"));
    std::unique_ptr<SQLite::Database> db;
    try {
        db = std::make_unique<SQLite::Database>(path.toStdString(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
    } catch (const std::exception& e) {
        return { fail(QString::fromUtf8(e.what())) };
    }
    // Until the file proves healthy, closing the connection must not move the write-ahead log into it.
    sqlite3_db_config(db->getHandle(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    return prepare(std::move(db), path, check);
}

Result<std::shared_ptr<Store>> Store::openInMemory()
{
    std::unique_ptr<SQLite::Database> db;
    try {
        db = std::make_unique<SQLite::Database>(":memory:", SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
    } catch (const std::exception& e) {
        return fail(QString::fromUtf8(e.what()));
    }
    return prepare(std::move(db), QString(), Check::none).store;
}

std::unique_ptr<StoreContext> Store::newContext()
{
    return std::make_unique<StoreContext>(shared_from_this());
}
