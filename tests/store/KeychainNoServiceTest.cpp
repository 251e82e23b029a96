#include "settings/Keychain.h"
#include "store/StoreSignal.h"

#include <QTest>

// Runs with DBUS_SESSION_BUS_ADDRESS naming a socket nobody listens on (set by CTest; set here
// too when run by hand). A hang would show as the test's timeout.
class KeychainNoServiceTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        if (!qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS").contains(QStringLiteral("quillora-no-bus"))) {
            qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/quillora-no-bus");
        }
    }

    void readsGiveNothing()
    {
        QCOMPARE(keychain::read(QStringLiteral("claude")), std::optional<QString>());
        QCOMPARE(keychain::read(QStringLiteral("openai")), std::optional<QString>());
    }

    void savesSayTheyFailed()
    {
        const Result<void> saved = keychain::save(QStringLiteral("sk-ant"), QStringLiteral("claude"));
        QVERIFY(!saved);
        QVERIFY(saved.error().message.startsWith(QStringLiteral("The key could not be saved in the system keyring: ")));
        QVERIFY(keychain::save(QString(), QStringLiteral("openai"))); // nothing to store: nothing failed
        QCOMPARE(keychain::read(QStringLiteral("claude")), std::optional<QString>());
    }

    // The store-changed signal needs the same bus: posting and observing quietly do nothing.
    void storeSignalWithoutBus()
    {
        StoreChangeObserver observer(nullptr);
        QVERIFY(!observer.isConnected());
        storeSignal::postStoreChanged();
    }
};

QTEST_GUILESS_MAIN(KeychainNoServiceTest)
#include "KeychainNoServiceTest.moc"
