#pragma once

#include "common/Error.h"

#include <QObject>
#include <QString>

#include <memory>

namespace SQLite {
class Database;
}

class StoreContext;

// One open store (the "container"): a SQLite file in WAL mode, or an in-memory database.
// Every StoreContext made from it shares its one connection, so all of them must be used on
// the thread that opened it. Saving through any context announces `saved`.
class Store : public QObject, public std::enable_shared_from_this<Store> {
    Q_OBJECT

public:
    ~Store() override;

    // Creates the parent folder and the file on first use; refuses a file that is not a store.
    static Result<std::shared_ptr<Store>> open(const QString& path);

    // The outcome of `openChecked`: the store, or why not; `damaged` when SQLite found the file damaged
    // (or not a database at all), in which case nothing was written to it.
    struct CheckedOpen {
        Result<std::shared_ptr<Store>> store;
        bool damaged = false;
    };
    // Opens like `open`, after checking the file with PRAGMA quick_check. A check that takes longer than
    // `checkLimitMs` is given up and the store taken as healthy, so a very large store never holds up
    // the start for long.
    static CheckedOpen openChecked(const QString& path);
    static constexpr int checkLimitMs = 1500;
    static Result<std::shared_ptr<Store>> openInMemory();

    // Empty for the in-memory store.
    QString path() const { return m_path; }
    bool isInMemory() const { return m_path.isEmpty(); }

    std::unique_ptr<StoreContext> newContext();

    SQLite::Database& database() { return *m_database; }

Q_SIGNALS:
    // A context of this store committed changes.
    void saved();

private:
    friend class StoreContext;
    Store(std::unique_ptr<SQLite::Database> database, QString path);
    enum class Check { none, quick };
    static CheckedOpen openFile(const QString& path, Check check);
    static CheckedOpen prepare(std::unique_ptr<SQLite::Database> database, QString path, Check check);
    // Journal, checks and the schema brought up to date; throws SQLite's errors.
    static void prepareSchema(SQLite::Database& database, bool onDisk, Check check);

    std::unique_ptr<SQLite::Database> m_database;
    QString m_path;
};
