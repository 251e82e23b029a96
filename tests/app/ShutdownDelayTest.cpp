#include "app/services/ShutdownDelay.h"
#include "fakes/LogCapture.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QSignalSpy>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

// Stands in for logind's manager: each inhibitor lock is the write end of a pipe, released once every
// copy of it is closed.
class FakeLogind : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")

public:
    QStringList asked;
    int readEnd = -1;

    // True while someone holds the newest lock.
    bool held() const
    {
        char byte = 0;
        return readEnd >= 0 && ::read(readEnd, &byte, 1) < 0 && errno == EAGAIN;
    }

public Q_SLOTS:
    QDBusUnixFileDescriptor Inhibit(const QString& what, const QString& who, const QString& why, const QString& mode)
    {
        asked = { what, who, why, mode };
        int ends[2] = { -1, -1 };
        if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
            return {};
        }
        if (readEnd >= 0) {
            ::close(readEnd);
        }
        readEnd = ends[0];
        QDBusUnixFileDescriptor lock(ends[1]); // a copy goes to the caller
        ::close(ends[1]);
        return lock;
    }
};

class ShutdownDelayTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The sandbox has no system bus: the session bus of the suite stands in for it.
    void initTestCase()
    {
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", qgetenv("DBUS_SESSION_BUS_ADDRESS"));
        QVERIFY(QDBusConnection::systemBus().isConnected());
    }

    void shutdownWaitsForTheCall()
    {
        {
            // No logind: nothing is held, the log says so, and the app goes on.
            LogCapture log;
            ShutdownDelay delay(nullptr);
            delay.setNeeded(true);
            QTRY_COMPARE(log.texts(QStringLiteral("Vessaro.Quillora.assistants")).size(), 1);
            QVERIFY(log.texts(QStringLiteral("Vessaro.Quillora.assistants")).first().startsWith(u"No shutdown delay"));
            QVERIFY(!delay.isHeld());
        }
        FakeLogind logind;
        QDBusConnection bus = QDBusConnection::connectToBus(
            QString::fromUtf8(qgetenv("DBUS_SESSION_BUS_ADDRESS")), QStringLiteral("logind"));
        QVERIFY(
            bus.registerObject(QStringLiteral("/org/freedesktop/login1"), &logind, QDBusConnection::ExportAllSlots));
        QVERIFY(bus.registerService(QStringLiteral("org.freedesktop.login1")));
        const auto announce = [&bus](bool starting) {
            QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/login1"),
                QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForShutdown"));
            signal << starting;
            bus.send(signal);
        };

        ShutdownDelay delay(nullptr);
        QSignalSpy held(&delay, &ShutdownDelay::heldChanged);
        delay.setNeeded(true);
        QVERIFY(held.wait(5000));
        QCOMPARE(logind.asked.first(), QStringLiteral("shutdown"));
        QCOMPARE(logind.asked.last(), QStringLiteral("delay"));
        QVERIFY(logind.held());

        // The call is stored while the shutdown still waits; then the lock goes.
        bool heldWhileStoring = false;
        connect(&delay, &ShutdownDelay::shutdownAhead, this, [&] { heldWhileStoring = logind.held(); });
        QSignalSpy ahead(&delay, &ShutdownDelay::shutdownAhead);
        announce(true);
        QVERIFY(ahead.wait(5000));
        QVERIFY(heldWhileStoring);
        QVERIFY(!logind.held());

        // Shutdown cancelled, the call goes on: held again; the call ends: released.
        announce(false);
        QVERIFY(held.wait(5000));
        QVERIFY(logind.held());
        delay.setNeeded(false);
        QTRY_VERIFY(!logind.held()); // once the reply that brought the lock is gone too
        ::close(logind.readEnd);
    }
};

QTEST_GUILESS_MAIN(ShutdownDelayTest)
#include "ShutdownDelayTest.moc"
