#include "StoreTesting.h"

#include "fakes/LogCapture.h"
#include "fakes/ManualClock.h"
#include "mcp/ServerProcess.h"
#include "store/Store.h"
#include "store/StoreContext.h"
#include "store/StoreHolder.h"
#include "store/StoreSignal.h"

#include <QDBusConnection>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace storeTesting;

namespace {

QStringList assistantNames(StoreContext& context)
{
    QStringList names;
    const std::vector<Assistant> assistants = context.fetch<Assistant>(Query::all()).value();
    for (const Assistant& assistant : assistants) {
        names.append(assistant.name);
    }
    return names;
}

} // namespace

class StoreRefreshTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup() { m_log.reset(); }
    void cleanupTestCase();

    void externalSaveIsPickedUp();
    void burstCausesOneReopen();
    void saveBeforeRefreshGivesUpAfterThreeAttempts();
    void fallbackIgnoresExternalWrites();
    void failedReopenKeepsTheStore();
    void callStoredAmongToolServersIsKept();

private:
    std::unique_ptr<StoreHolder> holderOn(const QString& path);
    bool runWriter(const QStringList& arguments);
    QStringList logged() const { return m_log->texts(QStringLiteral("Vessaro.Quillora.assistants")); }

    QTemporaryDir m_dir;
    ManualClock m_clock;
    QProcess m_bus;
    QString m_path;
    std::unique_ptr<LogCapture> m_log;
};

void StoreRefreshTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // A private session bus of our own, so signals posted by other tests running at the same
    // time never reach this one.
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (daemon.isEmpty()) {
        QSKIP("dbus-daemon is not installed");
    }
    m_bus.start(daemon,
        { QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--nopidfile"),
            QStringLiteral("--print-address=1") });
    QVERIFY(m_bus.waitForStarted());
    QVERIFY(m_bus.waitForReadyRead(10000));
    const QByteArray address = m_bus.readLine().trimmed();
    QVERIFY(!address.isEmpty());
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    QVERIFY(QDBusConnection::sessionBus().isConnected());
}

void StoreRefreshTest::init()
{
    m_log = std::make_unique<LogCapture>();
    m_path = m_dir.filePath(uuid::toText(uuid::create()) + QStringLiteral("/Assistants.store"));
}

void StoreRefreshTest::cleanupTestCase()
{
    if (m_bus.state() != QProcess::NotRunning) {
        m_bus.terminate();
        m_bus.waitForFinished(5000);
    }
}

std::unique_ptr<StoreHolder> StoreRefreshTest::holderOn(const QString& path)
{
    auto store = Store::open(path);
    if (!store) {
        qFatal("cannot open %s: %s", qPrintable(path), qPrintable(store.error().message));
    }
    return std::make_unique<StoreHolder>(
        *store, false, [path] { return Store::open(path); }, nullptr, &m_clock);
}

bool StoreRefreshTest::runWriter(const QStringList& arguments)
{
    QProcess writer;
    writer.setProcessChannelMode(QProcess::ForwardedChannels);
    writer.start(QStringLiteral(QUILLORA_STORE_WRITER), arguments);
    return writer.waitForFinished(20000) && writer.exitStatus() == QProcess::NormalExit && writer.exitCode() == 0;
}

void StoreRefreshTest::externalSaveIsPickedUp()
{
    auto holder = holderOn(m_path);
    StoreChangeObserver observer(nullptr);
    QVERIFY(observer.isConnected());
    connect(&observer, &StoreChangeObserver::changed, holder.get(), &StoreHolder::externalWrite);
    QSignalSpy notices(&observer, &StoreChangeObserver::changed);
    QSignalSpy changes(holder.get(), &StoreHolder::changed);
    const auto oldContainer = holder->container();

    // An edit of this process, not yet saved.
    holder->context().insert(makeAssistant(QStringLiteral("Mine"), 1));

    QVERIFY(runWriter({ QStringLiteral("post"), m_path, QStringLiteral("Theirs") }));
    QVERIFY(notices.count() > 0 || notices.wait(5000));
    QVERIFY(holder->isRefreshPending());
    QCOMPARE(changes.count(), 0);
    m_clock.advance(std::chrono::milliseconds(StoreHolder::debounceMs));
    QCOMPARE(changes.count(), 2); // the save of "Mine", then the reopen
    QCOMPARE(holder->generation(), 1);
    QVERIFY(holder->container() != oldContainer);

    QStringList names = assistantNames(holder->context());
    names.sort();
    QCOMPARE(names, (QStringList { QStringLiteral("Mine"), QStringLiteral("Theirs") }));
    QVERIFY(!holder->context().hasChanges()); // "Mine" was saved before the reopen
}

void StoreRefreshTest::burstCausesOneReopen()
{
    auto holder = holderOn(m_path);
    StoreChangeObserver observer(nullptr);
    connect(&observer, &StoreChangeObserver::changed, holder.get(), &StoreHolder::externalWrite);
    QSignalSpy notices(&observer, &StoreChangeObserver::changed);

    // Five notices, each 0.1 s after the one before; the reopen waits for 0.3 s of quiet.
    connect(&observer, &StoreChangeObserver::changed, this, [&] { m_clock.advance(std::chrono::milliseconds(100)); });
    QVERIFY(runWriter({ QStringLiteral("signal"), QStringLiteral("5"), QStringLiteral("20") }));
    QTRY_COMPARE_WITH_TIMEOUT(notices.count(), 5, 5000);
    QCOMPARE(holder->generation(), 0);
    m_clock.advance(std::chrono::milliseconds(StoreHolder::debounceMs - 101));
    QCOMPARE(holder->generation(), 0);
    m_clock.advance(std::chrono::milliseconds(1));
    QCOMPARE(holder->generation(), 1);
    m_clock.advance(std::chrono::seconds(10));
    QCOMPARE(holder->generation(), 1);
}

void StoreRefreshTest::saveBeforeRefreshGivesUpAfterThreeAttempts()
{
    auto holder = holderOn(m_path);
    QSignalSpy changes(holder.get(), &StoreHolder::changed);
    // A pending call that names a missing assistant: every save fails on its foreign key.
    holder->context().insert(makeCall(uuid::create(), 1));

    holder->externalWrite();
    m_clock.advance(std::chrono::milliseconds(StoreHolder::debounceMs));
    QCOMPARE(logged().size(), 1);
    m_clock.advance(std::chrono::milliseconds(2 * StoreHolder::retryMs));
    QCOMPARE(logged().size(), 3);
    for (int attempt = 1; attempt <= 3; ++attempt) {
        const QString prefix = QStringLiteral("Save before refresh failed (attempt %1 of 3): ").arg(attempt);
        QVERIFY2(logged()[attempt - 1].startsWith(prefix), qPrintable(logged()[attempt - 1]));
        QVERIFY(logged()[attempt - 1].contains(QStringLiteral("FOREIGN KEY")));
    }
    QVERIFY(!holder->isRefreshPending());
    m_clock.advance(std::chrono::seconds(10)); // no fourth attempt, no reopen
    QCOMPARE(logged().size(), 3);
    QCOMPARE(changes.count(), 0);
    QCOMPARE(holder->generation(), 0);
    QVERIFY(holder->context().hasChanges()); // the edit stays in memory
}

void StoreRefreshTest::fallbackIgnoresExternalWrites()
{
    auto memory = Store::openInMemory();
    QVERIFY(memory);
    int reopens = 0;
    StoreHolder holder(
        *memory, true,
        [&] {
            ++reopens;
            return Store::openInMemory();
        },
        nullptr, &m_clock);
    QVERIFY(holder.isFallback());
    holder.externalWrite();
    QVERIFY(!holder.isRefreshPending());
    QCOMPARE(logged(), QStringList { QStringLiteral("External write ignored: running on the in-memory store") });
    m_clock.advance(std::chrono::seconds(1));
    QCOMPARE(reopens, 0);
    QCOMPARE(holder.generation(), 0);
}

void StoreRefreshTest::failedReopenKeepsTheStore()
{
    auto store = Store::open(m_path);
    QVERIFY(store);
    StoreHolder holder(
        *store, false, [] { return Result<std::shared_ptr<Store>>(fail(QStringLiteral("disk gone"))); }, nullptr,
        &m_clock);
    holder.context().insert(makeAssistant(QStringLiteral("Mine"), 1));
    holder.externalWrite();
    m_clock.advance(std::chrono::milliseconds(StoreHolder::debounceMs));
    QCOMPARE(logged(), QStringList { QStringLiteral("Reopening the store failed: disk gone") });
    QCOMPARE(holder.generation(), 0);
    QCOMPARE(holder.container(), *store);
    QCOMPARE(assistantNames(holder.context()), QStringList { QStringLiteral("Mine") });
    QVERIFY(!holder.context().hasChanges()); // saved before the attempt
}

// An agent works with the tool server during a call: one server process writes (the app reopens its
// store), a second one only reads and ends, the call is stored, a third server writes. The call stays
// in the store, for this process and for the others, and after this process closes the store.
void StoreRefreshTest::callStoredAmongToolServersIsKept()
{
    QTemporaryDir home;
    const auto toolServer = [&home](const QByteArray& request) {
        ServerProcess server(home.path());
        if (!server.start()) {
            return QJsonObject();
        }
        QJsonObject answer = server.request(request);
        return server.finish() == 0 ? answer : QJsonObject();
    };
    const auto toolCall = [](const char* tool, const QByteArray& arguments) {
        return QByteArray(R"({"jsonrpc":"2.0","id":1,"method":"tools/call","params":{"name":")") + tool
            + R"(","arguments":)" + arguments + "}}";
    };
    const QString path = ServerProcess(home.path()).storePath();
    QVERIFY(!toolServer(toolCall("list_assistants", "{}")).isEmpty()); // creates the store
    auto holder = holderOn(path);
    StoreChangeObserver observer(nullptr);
    connect(&observer, &StoreChangeObserver::changed, holder.get(), &StoreHolder::externalWrite);
    QSignalSpy notices(&observer, &StoreChangeObserver::changed);
    const auto reopenAfterNotice = [&] {
        QVERIFY(notices.count() > 0 || notices.wait(5000));
        notices.clear();
        const int before = holder->generation();
        m_clock.advance(std::chrono::milliseconds(StoreHolder::debounceMs));
        QCOMPARE(holder->generation(), before + 1);
    };

    QVERIFY(!toolServer(toolCall("create_assistant", R"({"name":"First"})")).isEmpty());
    reopenAfterNotice();
    QVERIFY(!toolServer(toolCall("list_assistants", "{}")).isEmpty());
    Call call = makeCall(std::nullopt, 10);
    QList<CallLine> lines;
    for (int i = 0; i < 8; ++i) {
        lines.append({ i % 2 == 0, QStringLiteral("line %1").arg(i), instant(11 + i) });
    }
    call.linesData = blob::encodeLines(lines);
    holder->context().insert(call);
    const Result<void> saved = holder->context().save();
    QVERIFY2(saved, qPrintable(saved ? QString() : saved.error().message));
    QVERIFY(!toolServer(toolCall("create_assistant", R"({"name":"Second"})")).isEmpty());
    reopenAfterNotice();

    const Result<qint64> calls = holder->context().count<Call>();
    QVERIFY2(calls, qPrintable(calls ? QString() : calls.error().message));
    QCOMPARE(*calls, 1);
    const QByteArray read =
        QJsonDocument(toolServer(toolCall("get_call", R"({"call":")" + uuid::toText(call.id).toUtf8() + R"("})")))
            .toJson();
    QVERIFY2(read.contains("line 7") && !read.contains("\"isError\": true"), read.constData());
    holder.reset();
    auto reopened = Store::open(path);
    QVERIFY(reopened);
    auto stored = StoreContext(*reopened).fetchOne<Call>(call.id);
    QVERIFY(stored && *stored);
    QCOMPARE((*stored)->lines().size(), 8);
}

QTEST_GUILESS_MAIN(StoreRefreshTest)
#include "StoreRefreshTest.moc"
