#include "app/bus/BusActions.h"
#include "store/StoreSignal.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <memory>

namespace {

int connections = 0;
const Result<InstanceClaim> owner = InstanceClaim::owner;

// Another client of the session bus, as a second process would be.
QDBusConnection otherConnection()
{
    return QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("other-%1").arg(++connections));
}

// The names of the signals `actions` emits, in order, and the threads they come on.
struct Emitted {
    QStringList names;
    QList<QThread*> threads;

    void follow(BusActions& actions, QObject* context)
    {
        const auto record = [this](const QString& name) {
            names.append(name);
            threads.append(QThread::currentThread());
        };
        QObject::connect(&actions, &BusActions::toggleListeningRequested, context,
            [record] { record(QStringLiteral("toggleListening")); });
        QObject::connect(
            &actions, &BusActions::suggestNowRequested, context, [record] { record(QStringLiteral("suggestNow")); });
        QObject::connect(
            &actions, &BusActions::activateRequested, context, [record] { record(QStringLiteral("activate")); });
    }
};

} // namespace

// The desktop app's bus name and methods, against a BusActions object in this process and the
// built executable's switches.
class BusActionsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void methods_data();
    void methods();
    void secondInstanceRaisesTheFirst();
    void storeChangedStillArrives_data();
    void storeChangedStillArrives();
    void switches_data();
    void switches();
};

void BusActionsTest::initTestCase()
{
    QVERIFY2(QDBusConnection::sessionBus().isConnected(), "needs a session bus (run under scripts/with-services)");
    QVERIFY(QFileInfo(QStringLiteral(QUILLORA_BINARY)).isExecutable());
}

void BusActionsTest::methods_data()
{
    QTest::addColumn<BusCommand>("command");
    QTest::addColumn<QString>("signal");

    QTest::newRow("ToggleListening") << BusCommand::toggleListening << QStringLiteral("toggleListening");
    QTest::newRow("SuggestNow") << BusCommand::suggestNow << QStringLiteral("suggestNow");
    QTest::newRow("Activate") << BusCommand::activate << QStringLiteral("activate");
}

void BusActionsTest::methods()
{
    QFETCH(BusCommand, command);
    QFETCH(QString, signal);

    BusActions actions(nullptr);
    QCOMPARE(actions.claim(), owner);
    Emitted emitted;
    emitted.follow(actions, this);

    QCOMPARE(busActions::call(otherConnection(), command), Result<void>());
    QTRY_COMPARE(emitted.names, QStringList { signal });
    QCOMPARE(emitted.threads, QList<QThread*> { thread() });
}

void BusActionsTest::secondInstanceRaisesTheFirst()
{
    auto first = std::make_unique<BusActions>(nullptr);
    QCOMPARE(first->claim(), owner);
    QSignalSpy activated(first.get(), &BusActions::activateRequested);

    QDBusConnection secondBus = otherConnection();
    {
        BusActions second(secondBus, nullptr);
        QCOMPARE(second.claim(), Result<InstanceClaim>(InstanceClaim::otherInstance));
        QTRY_COMPARE(activated.size(), 1);
    }

    // Once the first one ends, the next start owns the name.
    first.reset();
    BusActions third(secondBus, nullptr);
    QCOMPARE(third.claim(), owner);
}

void BusActionsTest::storeChangedStillArrives_data()
{
    QTest::addColumn<bool>("fromThisProcess");

    QTest::newRow("posted by this process") << true;
    QTest::newRow("posted by another client") << false;
}

void BusActionsTest::storeChangedStillArrives()
{
    QFETCH(bool, fromThisProcess);

    // The exported object shares the signal's path and interface.
    BusActions actions(nullptr);
    QCOMPARE(actions.claim(), owner);
    StoreChangeObserver observer(this);
    QVERIFY(observer.isConnected());
    QSignalSpy changed(&observer, &StoreChangeObserver::changed);
    if (fromThisProcess) {
        storeSignal::postStoreChanged();
    } else {
        QVERIFY(otherConnection().send(QDBusMessage::createSignal(
            QStringLiteral("/Vessaro/Quillora"), QStringLiteral("Vessaro.Quillora"), QStringLiteral("storeChanged"))));
    }
    QVERIFY(changed.wait());
}

void BusActionsTest::switches_data()
{
    QTest::addColumn<QString>("argument");
    QTest::addColumn<bool>("running");
    QTest::addColumn<QString>("signal");

    QTest::newRow("--toggle-listening") << QStringLiteral("--toggle-listening") << true
                                        << QStringLiteral("toggleListening");
    QTest::newRow("--suggest-now") << QStringLiteral("--suggest-now") << true << QStringLiteral("suggestNow");
    QTest::newRow("--suggest-now, no app") << QStringLiteral("--suggest-now") << false << QString();
}

void BusActionsTest::switches()
{
    QFETCH(QString, argument);
    QFETCH(bool, running);
    QFETCH(QString, signal);

    BusActions actions(nullptr);
    if (running) {
        QCOMPARE(actions.claim(), owner);
    }
    Emitted emitted;
    emitted.follow(actions, this);

    // This process answers the call: wait on the event loop, not in a blocking wait.
    QProcess process;
    QSignalSpy finished(&process, &QProcess::finished);
    process.start(QStringLiteral(QUILLORA_BINARY), { argument });
    QVERIFY(finished.wait(30000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), running ? 0 : 1);
    QCOMPARE(
        process.readAllStandardError(), running ? QByteArray() : QByteArray("quillora: Quillora is not running.\n"));
    if (running) {
        QTRY_COMPARE(emitted.names, QStringList { signal });
    } else {
        QCOMPARE(emitted.names, QStringList());
    }
}

QTEST_GUILESS_MAIN(BusActionsTest)
#include "BusActionsTest.moc"
