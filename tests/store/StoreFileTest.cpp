#include "StoreTesting.h"

#include "store/Store.h"
#include "store/StoreContext.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include "common/PrivateFiles.h"
#include "settings/Settings.h"

#include <QDir>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <map>
#include <memory>
#include <vector>

#include <sys/stat.h>

using namespace storeTesting;

namespace {

// The tables as a build from before the outcome, review and status columns wrote them.
constexpr const char* oldSchema = R"(
CREATE TABLE "Assistant" ("id" TEXT PRIMARY KEY NOT NULL, "name" TEXT NOT NULL DEFAULT '',
  "template" TEXT NOT NULL DEFAULT '', "instructions" TEXT NOT NULL DEFAULT '',
  "styleNotes" TEXT NOT NULL DEFAULT '', "archived" INTEGER NOT NULL DEFAULT 0, "createdAt" REAL NOT NULL DEFAULT 0);
CREATE TABLE "CallContext" ("id" TEXT PRIMARY KEY NOT NULL, "name" TEXT NOT NULL DEFAULT '',
  "stage" TEXT NOT NULL DEFAULT '', "archived" INTEGER NOT NULL DEFAULT 0, "createdAt" REAL NOT NULL DEFAULT 0,
  "assistant" TEXT REFERENCES "Assistant"(id) ON DELETE SET NULL);
CREATE TABLE "KnowledgeFile" ("id" TEXT PRIMARY KEY NOT NULL, "name" TEXT NOT NULL DEFAULT '',
  "content" TEXT NOT NULL DEFAULT '', "importedAt" REAL NOT NULL DEFAULT 0,
  "assistant" TEXT REFERENCES "Assistant"(id) ON DELETE SET NULL,
  "context" TEXT REFERENCES "CallContext"(id) ON DELETE SET NULL);
CREATE TABLE "Call" ("id" TEXT PRIMARY KEY NOT NULL, "startedAt" REAL NOT NULL DEFAULT 0,
  "endedAt" REAL NOT NULL DEFAULT 0, "assistant" TEXT REFERENCES "Assistant"(id) ON DELETE SET NULL,
  "context" TEXT REFERENCES "CallContext"(id) ON DELETE SET NULL, "linesData" BLOB NOT NULL DEFAULT x'',
  "suggestionsData" BLOB NOT NULL DEFAULT x'', "summary" TEXT NOT NULL DEFAULT '',
  "archiveFile" TEXT NOT NULL DEFAULT '');
CREATE TABLE "QAItem" ("id" TEXT PRIMARY KEY NOT NULL, "question" TEXT NOT NULL DEFAULT '',
  "answer" TEXT NOT NULL DEFAULT '', "language" TEXT NOT NULL DEFAULT '', "source" TEXT NOT NULL DEFAULT '',
  "createdAt" REAL NOT NULL DEFAULT 0, "updatedAt" REAL NOT NULL DEFAULT 0,
  "assistant" TEXT REFERENCES "Assistant"(id) ON DELETE SET NULL);
CREATE TABLE "Proposal" ("id" TEXT PRIMARY KEY NOT NULL, "kind" TEXT NOT NULL DEFAULT '',
  "question" TEXT NOT NULL DEFAULT '', "answer" TEXT NOT NULL DEFAULT '', "language" TEXT NOT NULL DEFAULT '',
  "targetQA" TEXT NOT NULL DEFAULT '', "text" TEXT NOT NULL DEFAULT '', "reason" TEXT NOT NULL DEFAULT '',
  "quotesData" BLOB NOT NULL DEFAULT x'', "createdAt" REAL NOT NULL DEFAULT 0, "reviewedAt" REAL,
  "assistant" TEXT REFERENCES "Assistant"(id) ON DELETE SET NULL);
INSERT INTO "Assistant" VALUES ('0D3A2F47-9C61-4B9E-8C1D-2B7E5F0A1C33', 'Old one', 'interview', 'Be brief.', '', 0, 750000000.5);
INSERT INTO "Call" VALUES ('5B1E4C2A-7D3F-4A8B-9E6C-1F2A3B4C5D6E', 750000100, 750000400,
  '0D3A2F47-9C61-4B9E-8C1D-2B7E5F0A1C33', NULL, CAST('[{"fromMe":true,"text":"hi","date":750000101}]' AS BLOB),
  x'', 'An old call.', '');
INSERT INTO "Proposal" VALUES ('9A8B7C6D-5E4F-4321-8765-0FEDCBA98765', 'style', '', '', 'en', '', 'Warmer.', 'Because.',
  CAST('[{"callID":"5B1E4C2A-7D3F-4A8B-9E6C-1F2A3B4C5D6E","text":"hi"}]' AS BLOB), 750000500, NULL,
  '0D3A2F47-9C61-4B9E-8C1D-2B7E5F0A1C33');
)";

QString pragma(SQLite::Database& db, const char* name)
{
    return QString::fromStdString(db.execAndGet(std::string("PRAGMA ") + name).getString());
}

QStringList columnsOf(const QString& path, const char* table)
{
    SQLite::Database db(path.toStdString(), SQLite::OPEN_READONLY);
    SQLite::Statement info(db, std::string("PRAGMA table_info(\"") + table + "\")");
    QStringList names;
    while (info.executeStep()) {
        names.append(QString::fromStdString(info.getColumn(1).getString()));
    }
    return names;
}

} // namespace

class StoreFileTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void freshFileSettings();
    void inMemoryStore();
    void oldSchemaReadsDefaults_data();
    void oldSchemaReadsDefaults();
    void unusablePaths_data();
    void unusablePaths();
    void notADatabaseIsLeftAlone();
    void killedWriterLeavesLastCommit();
    void filesAreTheOwnersOnly();
    void concurrentFirstOpens_data();
    void concurrentFirstOpens();

private:
    QString freshPath(const QString& name);
    QTemporaryDir m_dir;
};

void StoreFileTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

QString StoreFileTest::freshPath(const QString& name)
{
    return m_dir.filePath(name + QLatin1Char('-') + uuid::toText(uuid::create()) + QStringLiteral("/Assistants.store"));
}

void StoreFileTest::freshFileSettings()
{
    const QString path = freshPath(QStringLiteral("nested/more"));
    QVERIFY(!QFileInfo::exists(QFileInfo(path).path()));
    auto store = Store::open(path);
    QVERIFY2(store, qPrintable(store ? QString() : store.error().message));
    QVERIFY(QFileInfo(path).isFile());
    SQLite::Database& db = (*store)->database();
    QCOMPARE(pragma(db, "user_version"), QStringLiteral("10200"));
    QCOMPARE(pragma(db, "journal_mode"), QStringLiteral("wal"));
    QCOMPARE(pragma(db, "synchronous"), QStringLiteral("2")); // FULL
    QCOMPARE(pragma(db, "foreign_keys"), QStringLiteral("1"));

    // Opening again neither fails nor changes the version.
    store->reset();
    auto again = Store::open(path);
    QVERIFY(again);
    QCOMPARE(pragma((*again)->database(), "user_version"), QStringLiteral("10200"));
}

void StoreFileTest::inMemoryStore()
{
    auto first = Store::openInMemory();
    auto second = Store::openInMemory();
    QVERIFY(first && second);
    auto context = (*first)->newContext();
    context->insert(makeAssistant(QStringLiteral("A"), 0));
    QVERIFY(context->save());
    QCOMPARE(context->count<Assistant>().value(), 1);
    QCOMPARE((*second)->newContext()->count<Assistant>().value(), 0); // each one is its own
    context->insert(makeCall(uuid::create(), 1));
    QVERIFY(!context->save()); // foreign keys enforced
}

void StoreFileTest::oldSchemaReadsDefaults_data()
{
    QTest::addColumn<int>("version");
    QTest::newRow("no version") << 0;
    // The schema kept its 1.0.0 version while columns were added.
    QTest::newRow("version 1.0.0 already") << 10000;
}

void StoreFileTest::oldSchemaReadsDefaults()
{
    QFETCH(int, version);
    const QString path = freshPath(QStringLiteral("old"));
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    {
        SQLite::Database db(path.toStdString(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
        db.exec(oldSchema);
        db.exec("PRAGMA user_version=" + std::to_string(version));
    }
    QVERIFY(!columnsOf(path, "Call").contains(QStringLiteral("outcome")));

    auto store = Store::open(path);
    QVERIFY2(store, qPrintable(store ? QString() : store.error().message));
    auto context = (*store)->newContext();
    const auto calls = context->fetch<Call>(Query::all());
    QVERIFY2(calls, qPrintable(calls ? QString() : calls.error().message));
    QCOMPARE(calls->size(), size_t(1));
    const Call& call = calls->front();
    QCOMPARE(call.outcome, QString());
    QCOMPARE(call.reviewedForImprovement, false);
    QCOMPARE(call.improvementFailure, QString());
    QCOMPARE(call.improvementFailures, 0);
    QCOMPARE(call.summary, QStringLiteral("An old call."));
    QCOMPARE(call.lines().size(), 1);

    const auto proposal =
        context->fetchOne<Proposal>(*uuid::parse(QStringLiteral("9A8B7C6D-5E4F-4321-8765-0FEDCBA98765")));
    QVERIFY(proposal && *proposal);
    QCOMPARE((*proposal)->status, QString());
    QCOMPARE((*proposal)->quotedCallIDs(), QList<QUuid> { call.id });
    QCOMPARE(context->fetch<Assistant>().value().front().name, QStringLiteral("Old one"));

    // The new fields can be written now.
    Call rated = call;
    rated.outcome = QStringLiteral("negative");
    rated.reviewedForImprovement = true;
    rated.improvementFailure = QStringLiteral("Claude declined to answer this one.");
    rated.improvementFailures = 2;
    context->update(rated);
    QVERIFY(context->save());
    QCOMPARE(pragma((*store)->database(), "user_version"), QStringLiteral("10200"));
    store->reset();
    context.reset();
    QVERIFY(columnsOf(path, "Proposal").contains(QStringLiteral("status")));
    auto reopened = Store::open(path);
    QVERIFY(reopened);
    QCOMPARE((*reopened)->newContext()->fetchOne<Call>(call.id).value(), std::optional(rated));
}

void StoreFileTest::unusablePaths_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("message");
    // As root no permission bit stops a write, so these fail for reasons root cannot override.
    const QString file = m_dir.filePath(QStringLiteral("plain-file"));
    QFile(file).open(QIODevice::WriteOnly);
    QTest::newRow("parent is a regular file")
        << file + QStringLiteral("/Quillora/Assistants.store") << QStringLiteral("Not a directory");
    QTest::newRow("inside /proc") << QStringLiteral("/proc/quillora-test/Quillora/Assistants.store")
                                  << QStringLiteral("No such file or directory");
    const QString folder = m_dir.filePath(QStringLiteral("folder-store"));
    QDir().mkpath(folder + QStringLiteral("/Assistants.store"));
    QTest::newRow("a folder where the file should be")
        << folder + QStringLiteral("/Assistants.store") << QStringLiteral("Is a directory");
}

void StoreFileTest::unusablePaths()
{
    QFETCH(QString, path);
    QFETCH(QString, message);
    auto store = Store::open(path);
    QVERIFY(!store);
    QCOMPARE(store.error().message, message);
}

void StoreFileTest::notADatabaseIsLeftAlone()
{
    const QString path = freshPath(QStringLiteral("garbage"));
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    QByteArray garbage;
    for (int i = 0; i < 512; ++i) {
        garbage += "These bytes are not a SQLite database. ";
    }
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(garbage);
    }
    auto store = Store::open(path);
    QVERIFY(!store);
    QCOMPARE(store.error().message, QStringLiteral("file is not a database"));
    QCOMPARE(fileBytes(path), garbage);
    QVERIFY(!QFileInfo::exists(path + QStringLiteral("-wal")));
}

void StoreFileTest::killedWriterLeavesLastCommit()
{
    // Killed at three different moments into its writing.
    for (int killAfterSaves : { 3, 17, 41 }) {
        const QString path = freshPath(QStringLiteral("killed"));
        QProcess writer;
        writer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        writer.start(QStringLiteral(QUILLORA_STORE_WRITER), { QStringLiteral("loop"), path });
        QVERIFY(writer.waitForStarted());
        qint64 reported = 0;
        while (reported < killAfterSaves) {
            if (!writer.canReadLine() && !writer.waitForReadyRead(10000)) {
                QFAIL("the writer stopped reporting saves");
            }
            while (writer.canReadLine()) {
                const QByteArray line = writer.readLine().trimmed();
                reported = line.mid(6).toLongLong();
            }
        }
        writer.kill(); // SIGKILL, most likely in the middle of the next save
        QVERIFY(writer.waitForFinished());
        QCOMPARE(writer.exitStatus(), QProcess::CrashExit);

        auto store = Store::open(path);
        QVERIFY2(store, qPrintable(store ? QString() : store.error().message));
        QCOMPARE(pragma((*store)->database(), "integrity_check"), QStringLiteral("ok"));
        auto context = (*store)->newContext();
        const auto calls = context->fetch<Call>(Query::all()).value();
        std::map<QString, int> perBatch;
        for (const Call& call : calls) {
            ++perBatch[call.summary];
            QCOMPARE(call.lines().size(), 200);
        }
        const auto assistants = context->fetch<Assistant>().value();
        QCOMPARE(assistants.size(), size_t(1));
        const qint64 lastBatch = assistants.front().instructions.toLongLong();
        // Every batch is whole, and the assistant's edit belongs to the same last commit.
        QVERIFY2(lastBatch >= reported, qPrintable(QStringLiteral("%1 < %2").arg(lastBatch).arg(reported)));
        QCOMPARE(qint64(perBatch.size()), lastBatch);
        for (const auto& [summary, count] : perBatch) {
            QCOMPARE(count, 5);
            QVERIFY(summary.mid(6).toLongLong() <= lastBatch);
        }
    }
}

// Transcripts and notes are kept from other users of the machine whatever the umask: the store and
// its journal files 0600, the app's folders 0700, and files of an earlier start tightened.
void StoreFileTest::filesAreTheOwnersOnly()
{
    const mode_t previous = ::umask(022);
    const auto restore = qScopeGuard([previous] { ::umask(previous); });
    const auto mode = [](const QString& path) {
        struct stat info { };
        return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 0777) : -1;
    };
    const QString folder = m_dir.filePath(QStringLiteral("modes/Quillora"));
    QVERIFY(privateFiles::ensureFolder(folder));
    QCOMPARE(mode(folder), 0700);
    const QString path = folder + QStringLiteral("/Assistants.store");
    {
        auto store = Store::open(path);
        QVERIFY(store);
        auto context = (*store)->newContext();
        context->insert(makeAssistant(QStringLiteral("A"), 0));
        QVERIFY(context->save());
        for (const QString& file : { path, path + QStringLiteral("-wal"), path + QStringLiteral("-shm") }) {
            QCOMPARE(mode(file), 0600);
        }
    }
    QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0755) == 0);
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 0644) == 0);
    QVERIFY(privateFiles::ensureFolder(folder));
    QVERIFY(Store::open(path));
    QCOMPARE(mode(folder), 0700);
    QCOMPARE(mode(path), 0600);

    const QString settingsFile = m_dir.filePath(QStringLiteral("modes/config/Vessaro/Quillora.conf"));
    Settings settings(settingsFile, nullptr);
    settings.setText(SettingKey::callNotes, QStringLiteral("notes"));
    QCOMPARE(mode(QFileInfo(settingsFile).path()), 0700);
    QCOMPARE(mode(settingsFile), 0600);
}

// Several processes opening a store that does not exist yet, while another connection holds its
// lock for a second: each one waits its turn instead of giving up at once.
void StoreFileTest::concurrentFirstOpens_data()
{
    QTest::addColumn<int>("processes");
    QTest::newRow("two") << 2;
    QTest::newRow("four") << 4;
}

void StoreFileTest::concurrentFirstOpens()
{
    QFETCH(int, processes);
    const QString path = freshPath(QStringLiteral("race"));
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    std::vector<std::unique_ptr<QProcess>> openers;
    {
        SQLite::Database holder(path.toStdString(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
        holder.exec("BEGIN EXCLUSIVE");
        for (int i = 0; i < processes; ++i) {
            auto opener = std::make_unique<QProcess>();
            opener->setProcessChannelMode(QProcess::MergedChannels);
            opener->start(QStringLiteral(QUILLORA_STORE_WRITER), { QStringLiteral("open"), path });
            QVERIFY(opener->waitForStarted());
            openers.push_back(std::move(opener));
        }
        QTest::qWait(1000);
        holder.exec("COMMIT");
    }
    for (const auto& opener : openers) {
        QVERIFY(opener->waitForFinished(20000));
        QVERIFY2(opener->exitCode() == 0, opener->readAll().constData());
    }
    auto store = Store::open(path);
    QVERIFY(store);
    QCOMPARE(pragma((*store)->database(), "journal_mode"), QStringLiteral("wal"));
}

QTEST_GUILESS_MAIN(StoreFileTest)
#include "StoreFileTest.moc"
