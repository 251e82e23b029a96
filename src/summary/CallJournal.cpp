#include "summary/CallJournal.h"

#include "common/Dates.h"
#include "common/Log.h"
#include "common/PrivateFiles.h"
#include "common/Uuid.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <memory>

#include <unistd.h>

namespace {

constexpr int busyTimeoutMs = 2000;

constexpr const char* schemaStatements = R"(
CREATE TABLE IF NOT EXISTS "JournalCall" ("id" TEXT PRIMARY KEY NOT NULL, "owner" TEXT NOT NULL,
  "assistant" TEXT, "context" TEXT, "summary" TEXT NOT NULL DEFAULT '', "archiveFile" TEXT NOT NULL DEFAULT '');
CREATE TABLE IF NOT EXISTS "JournalLine" ("call" TEXT NOT NULL, "fromMe" INTEGER NOT NULL, "text" TEXT NOT NULL,
  "date" REAL NOT NULL);
CREATE INDEX IF NOT EXISTS "JournalLineCall" ON "JournalLine"("call");
CREATE TABLE IF NOT EXISTS "JournalSuggestion" ("call" TEXT NOT NULL, "id" TEXT NOT NULL, "text" TEXT NOT NULL,
  "date" REAL NOT NULL, PRIMARY KEY ("call", "id"));
)";

QByteArray readProcFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// When the process started, in clock ticks after boot (field 22 of /proc/<pid>/stat); empty when
// there is no such process. With the boot it tells a process apart from a later one given its id.
QByteArray startTimeOf(qint64 pid)
{
    const QByteArray stat = readProcFile(QStringLiteral("/proc/%1/stat").arg(pid));
    // The command name (field 2) is in parentheses and may itself hold spaces and parentheses.
    const qsizetype nameEnd = stat.lastIndexOf(')');
    if (nameEnd < 0) {
        return {};
    }
    const QList<QByteArray> fields = stat.mid(nameEnd + 2).split(' ');
    return fields.size() > 19 ? fields.at(19) : QByteArray();
}

QByteArray bootId()
{
    static const QByteArray id = readProcFile(QStringLiteral("/proc/sys/kernel/random/boot_id")).trimmed();
    return id;
}

// "<boot> <pid> <start>": this process, as long as it runs.
QString thisProcess()
{
    const qint64 pid = ::getpid();
    return QString::fromLatin1(bootId() + ' ' + QByteArray::number(pid) + ' ' + startTimeOf(pid));
}

bool isRunning(const QString& owner)
{
    const QList<QByteArray> parts = owner.toLatin1().split(' ');
    if (parts.size() != 3 || parts.at(0) != bootId()) {
        return false;
    }
    bool ok = false;
    const qint64 pid = parts.at(1).toLongLong(&ok);
    return ok && !parts.at(2).isEmpty() && startTimeOf(pid) == parts.at(2);
}

std::optional<QUuid> uuidColumn(const SQLite::Column& column)
{
    return column.isNull() ? std::nullopt : uuid::parse(QString::fromStdString(column.getString()));
}

void bindUuid(SQLite::Statement& statement, int index, const std::optional<QUuid>& id)
{
    if (id) {
        statement.bind(index, uuid::toText(*id).toStdString());
    } else {
        statement.bind(index);
    }
}

} // namespace

// The journal's own connection, used only on the journal's thread.
class JournalWriter : public QObject {
public:
    JournalWriter(QString path, CallJournal* journal)
        : m_path(std::move(path))
        , m_owner(thisProcess())
        , m_journal(journal)
    {
    }

    void open()
    {
        if (auto folder = privateFiles::ensureFolder(QFileInfo(m_path).path()); !folder) {
            report(folder.error().message);
            return;
        }
        privateFiles::ensureFile(m_path);
        try {
            auto db = std::make_unique<SQLite::Database>(
                QFile::encodeName(m_path).toStdString(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
            db->setBusyTimeout(busyTimeoutMs);
            db->execAndGet("PRAGMA journal_mode=WAL");
            // A process that is killed loses nothing that was committed; only a power cut may take the
            // last moments back, and a call's lines are not worth an fsync each.
            db->exec("PRAGMA synchronous=NORMAL");
            db->exec(schemaStatements);
            m_db = std::move(db);
        } catch (const std::exception& e) {
            report(QString::fromUtf8(e.what()));
        }
    }

    void close() { m_db.reset(); }

    void begin(const QUuid& call, const std::optional<QUuid>& assistant, const std::optional<QUuid>& context)
    {
        run([&] {
            SQLite::Statement insert(*m_db,
                R"(INSERT OR IGNORE INTO "JournalCall" ("id", "owner", "assistant", "context") VALUES (?, ?, ?, ?))");
            insert.bind(1, uuid::toText(call).toStdString());
            insert.bind(2, m_owner.toStdString());
            bindUuid(insert, 3, assistant);
            bindUuid(insert, 4, context);
            insert.exec();
        });
    }

    void addLine(const QUuid& call, const CallLine& line)
    {
        run([&] {
            SQLite::Statement insert(
                *m_db, R"(INSERT INTO "JournalLine" ("call", "fromMe", "text", "date") VALUES (?, ?, ?, ?))");
            insert.bind(1, uuid::toText(call).toStdString());
            insert.bind(2, line.fromMe ? 1 : 0);
            insert.bind(3, line.text.toStdString());
            insert.bind(4, dates::toReferenceSeconds(line.date));
            insert.exec();
        });
    }

    void putSuggestions(const QUuid& call, const QList<Suggestion>& shown)
    {
        run([&] {
            const std::string callText = uuid::toText(call).toStdString();
            SQLite::Transaction transaction(*m_db);
            // Kept in the order first shown (the row order); a reply no longer shown goes.
            std::string shownIds;
            for (const Suggestion& suggestion : shown) {
                shownIds += (shownIds.empty() ? "'" : ",'") + uuid::toText(suggestion.id).toStdString() + "'";
            }
            SQLite::Statement remove(
                *m_db, R"(DELETE FROM "JournalSuggestion" WHERE "call" = ? AND "id" NOT IN ()" + shownIds + ")");
            remove.bind(1, callText);
            remove.exec();
            SQLite::Statement upsert(*m_db,
                R"(INSERT INTO "JournalSuggestion" ("call", "id", "text", "date") VALUES (?, ?, ?, ?)
                   ON CONFLICT ("call", "id") DO UPDATE SET "text" = excluded."text", "date" = excluded."date")");
            for (const Suggestion& suggestion : shown) {
                upsert.bind(1, callText);
                upsert.bind(2, uuid::toText(suggestion.id).toStdString());
                upsert.bind(3, suggestion.response.toStdString());
                upsert.bind(4, dates::toReferenceSeconds(suggestion.timestamp));
                upsert.exec();
                upsert.reset();
            }
            transaction.commit();
        });
    }

    void keep(const QUuid& call, const QString& summary, const QString& archiveFile)
    {
        run([&] {
            SQLite::Statement update(
                *m_db, R"(UPDATE "JournalCall" SET "summary" = ?, "archiveFile" = ? WHERE "id" = ?)");
            update.bind(1, summary.toStdString());
            update.bind(2, archiveFile.toStdString());
            update.bind(3, uuid::toText(call).toStdString());
            update.exec();
        });
    }

    void forget(const QUuid& call)
    {
        run([&] {
            const std::string callText = uuid::toText(call).toStdString();
            SQLite::Transaction transaction(*m_db);
            for (const char* table : { "JournalLine", "JournalSuggestion" }) {
                SQLite::Statement remove(*m_db, std::string("DELETE FROM \"") + table + "\" WHERE \"call\" = ?");
                remove.bind(1, callText);
                remove.exec();
            }
            SQLite::Statement remove(*m_db, R"(DELETE FROM "JournalCall" WHERE "id" = ?)");
            remove.bind(1, callText);
            remove.exec();
            transaction.commit();
        });
    }

    QList<JournaledCall> leftBehind()
    {
        QList<JournaledCall> calls;
        run([&] {
            SQLite::Statement select(*m_db,
                R"(SELECT "id", "owner", "assistant", "context", "summary", "archiveFile" FROM "JournalCall"
                   ORDER BY rowid)");
            while (select.executeStep()) {
                if (isRunning(QString::fromStdString(select.getColumn(1).getString()))) {
                    continue; // a call in progress, or one its process keeps for the next start
                }
                const std::optional<QUuid> id = uuidColumn(select.getColumn(0));
                if (!id) {
                    continue;
                }
                JournaledCall call;
                call.id = *id;
                call.assistant = uuidColumn(select.getColumn(2));
                call.context = uuidColumn(select.getColumn(3));
                call.summary = QString::fromStdString(select.getColumn(4).getString());
                call.archiveFile = QString::fromStdString(select.getColumn(5).getString());
                const std::string idText = select.getColumn(0).getString();
                SQLite::Statement lines(
                    *m_db, R"(SELECT "fromMe", "text", "date" FROM "JournalLine" WHERE "call" = ? ORDER BY rowid)");
                lines.bind(1, idText);
                while (lines.executeStep()) {
                    call.lines.append(CallLine { lines.getColumn(0).getInt() != 0,
                        QString::fromStdString(lines.getColumn(1).getString()),
                        dates::fromReferenceSeconds(lines.getColumn(2).getDouble()) });
                }
                SQLite::Statement suggestions(
                    *m_db, R"(SELECT "text", "date" FROM "JournalSuggestion" WHERE "call" = ? ORDER BY rowid)");
                suggestions.bind(1, idText);
                while (suggestions.executeStep()) {
                    call.suggestions.append(
                        CallSuggestion { QString::fromStdString(suggestions.getColumn(0).getString()),
                            dates::fromReferenceSeconds(suggestions.getColumn(1).getDouble()) });
                }
                calls.append(call);
            }
        });
        return calls;
    }

private:
    template <typename Work> void run(Work work)
    {
        if (!m_db) {
            return; // the failure was reported when opening
        }
        try {
            work();
        } catch (const std::exception& e) {
            report(QString::fromUtf8(e.what()));
        }
    }

    void report(const QString& message)
    {
        qCCritical(lcSummary, "Call journal %s: %s", qUtf8Printable(m_path), qUtf8Printable(message));
        QMetaObject::invokeMethod(
            m_journal,
            [journal = m_journal, message] {
                if (!journal->m_error) {
                    journal->m_error = message;
                    Q_EMIT journal->failed();
                }
            },
            Qt::QueuedConnection);
    }

    friend class CallJournal;
    const QString m_path;
    const QString m_owner;
    CallJournal* const m_journal;
    std::unique_ptr<SQLite::Database> m_db;
};

CallJournal::CallJournal(const QString& path, QObject* parent)
    : QObject(parent)
    , m_thread(new QThread(this))
    , m_writer(new JournalWriter(path, this))
{
    m_thread->setObjectName(QStringLiteral("Quillora.CallJournal"));
    m_writer->moveToThread(m_thread);
    m_thread->start();
    m_suggestionTimer.setSingleShot(true);
    m_suggestionTimer.setInterval(suggestionDelayMs);
    connect(&m_suggestionTimer, &QTimer::timeout, this, &CallJournal::postSuggestions);
    post([writer = m_writer] { writer->open(); });
}

CallJournal::~CallJournal()
{
    postSuggestions();
    QMetaObject::invokeMethod(
        m_writer, [writer = m_writer] { writer->close(); }, Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
    delete m_writer;
}

QString CallJournal::pathBeside(const QString& storePath)
{
    return QFileInfo(storePath).path() + QStringLiteral("/Calls.journal");
}

template <typename Work> void CallJournal::post(Work work)
{
    QMetaObject::invokeMethod(m_writer, std::move(work), Qt::QueuedConnection);
}

void CallJournal::begin(const QUuid& call, const std::optional<QUuid>& assistant, const std::optional<QUuid>& context)
{
    post([writer = m_writer, call, assistant, context] { writer->begin(call, assistant, context); });
}

void CallJournal::addLine(const QUuid& call, const TranscriptLine& line)
{
    post([writer = m_writer, call, line = CallLine { line.speaker == Speaker::me, line.text, line.date }] {
        writer->addLine(call, line);
    });
}

void CallJournal::showSuggestions(const QUuid& call, const QList<Suggestion>& shown)
{
    if (m_suggestionCall && *m_suggestionCall != call) {
        postSuggestions(); // the last list of the call before
    }
    m_suggestionCall = call;
    m_suggestions = shown;
    if (!m_suggestionTimer.isActive()) {
        m_suggestionTimer.start();
    }
}

void CallJournal::postSuggestions()
{
    m_suggestionTimer.stop();
    if (const std::optional<QUuid> call = std::exchange(m_suggestionCall, std::nullopt)) {
        post([writer = m_writer, call = *call, shown = std::exchange(m_suggestions, {})] {
            writer->putSuggestions(call, shown);
        });
    }
}

void CallJournal::keep(const QUuid& call, const QString& summary, const QString& archiveFile)
{
    postSuggestions();
    post([writer = m_writer, call, summary, archiveFile] { writer->keep(call, summary, archiveFile); });
}

void CallJournal::forget(const QUuid& call)
{
    postSuggestions();
    post([writer = m_writer, call] { writer->forget(call); });
}

void CallJournal::flush()
{
    postSuggestions();
    QMetaObject::invokeMethod(
        m_writer, [] {}, Qt::BlockingQueuedConnection);
}

QList<JournaledCall> CallJournal::leftBehind()
{
    QList<JournaledCall> calls;
    QMetaObject::invokeMethod(
        m_writer, [writer = m_writer, &calls] { calls = writer->leftBehind(); }, Qt::BlockingQueuedConnection);
    return calls;
}
