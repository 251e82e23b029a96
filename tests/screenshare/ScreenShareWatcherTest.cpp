#include "screenshare/ScreenShareWatcher.h"
#include "app/hotkeys/GlobalHotKey.h"
#include "app/screenshare/ScreenShareHider.h"
#include "screenshare/CaptureClient.h"
#include "settings/Settings.h"

#include <QAction>
#include <QApplication>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <memory>

namespace {

// A Wayland session as the watcher sees it; the daemon is found through PIPEWIRE_RUNTIME_DIR.
QProcessEnvironment waylandSession()
{
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland"));
    environment.insert(QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("wayland-0"));
    return environment;
}

} // namespace

class ScreenShareWatcherTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { m_daemonRuns = m_daemon.start(&m_daemonError); }

    void x11OnlySession_data()
    {
        QTest::addColumn<QString>("sessionType");
        QTest::addColumn<bool>("display");
        QTest::addColumn<bool>("wayland");
        QTest::addColumn<bool>("x11Only");
        QTest::newRow("X11 session") << u"x11"_qs << true << false << true;
        QTest::newRow("Wayland session") << u"wayland"_qs << true << true << false;
        QTest::newRow("Wayland session, Wayland socket not exported") << u"wayland"_qs << true << false << false;
        QTest::newRow("no session type, plain X server") << QString() << true << false << true;
        QTest::newRow("no session type, Wayland socket") << QString() << true << true << false;
        QTest::newRow("no display at all") << QString() << false << false << false;
    }

    void x11OnlySession()
    {
        QFETCH(QString, sessionType);
        QFETCH(bool, display);
        QFETCH(bool, wayland);
        QFETCH(bool, x11Only);
        QProcessEnvironment environment;
        if (!sessionType.isEmpty()) {
            environment.insert(QStringLiteral("XDG_SESSION_TYPE"), sessionType);
        }
        if (display) {
            environment.insert(QStringLiteral("DISPLAY"), QStringLiteral(":0"));
        }
        if (wayland) {
            environment.insert(QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("wayland-0"));
        }
        QCOMPARE(ScreenShareWatcher::isX11OnlySession(environment), x11Only);
    }

    // No daemon, or a session whose captures never pass through PipeWire: unavailable, and the hand-held
    // toggle is offered instead.
    void unavailable_data()
    {
        QTest::addColumn<bool>("daemon");
        QTest::addColumn<QString>("sessionType");
        QTest::newRow("no PipeWire daemon") << false << u"wayland"_qs;
        QTest::newRow("X11 session with PipeWire") << true << u"x11"_qs;
    }

    void unavailable()
    {
        QFETCH(bool, daemon);
        QFETCH(QString, sessionType);
        if (daemon && !m_daemonRuns) {
            QSKIP(qPrintable(u"PipeWire cannot run here: "_qs + m_daemonError));
        }
        const QByteArray runtime = qgetenv("PIPEWIRE_RUNTIME_DIR");
        QTemporaryDir empty;
        if (!daemon) {
            qputenv("PIPEWIRE_RUNTIME_DIR", QFile::encodeName(empty.path()));
        }
        QProcessEnvironment environment = waylandSession();
        environment.insert(QStringLiteral("XDG_SESSION_TYPE"), sessionType);
        Settings settings(m_settingsDir.filePath(u"unavailable.conf"_qs), nullptr);
        ScreenShareWatcher watcher;
        ScreenShareHider hider(settings, watcher);
        QAction byHand(u"Hide while sharing"_qs);
        hider.offerByHand(&byHand);
        QSignalSpy started(&watcher, &ScreenShareWatcher::started);
        watcher.start(environment);
        QVERIFY(started.wait(10000));
        qputenv("PIPEWIRE_RUNTIME_DIR", runtime);
        QCOMPARE(started.first().at(0).toBool(), false);
        QVERIFY(!watcher.isAvailable());
        QVERIFY(byHand.isVisible());

        // By hand the windows hide whatever the watcher knows, and come back when unchecked.
        QWidget window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        byHand.trigger();
        QVERIFY(hider.isHiding());
        QVERIFY(!window.isVisible());
        byHand.trigger();
        QVERIFY(window.isVisible());
    }

    // The brief's whole case: a Mutter-like capture linked to a consumer hides the app's windows, a hot key
    // still works meanwhile, and the windows come back without taking the focus when it ends.
    void hidesWhileShared()
    {
        if (!m_daemonRuns) {
            QSKIP(qPrintable(u"PipeWire cannot run here: "_qs + m_daemonError));
        }
        Settings settings(m_settingsDir.filePath(u"hides.conf"_qs), nullptr);
        ScreenShareWatcher watcher;
        ScreenShareHider hider(settings, watcher);
        QAction byHand(u"Hide while sharing"_qs);
        hider.offerByHand(&byHand);
        QSignalSpy available(&watcher, &ScreenShareWatcher::availableChanged);
        QSignalSpy started(&watcher, &ScreenShareWatcher::started);
        watcher.start(waylandSession());
        QVERIFY(started.wait(10000));
        QVERIFY(watcher.isAvailable());
        QVERIFY(!byHand.isVisible());

        QWidget callWindow;
        QWidget settingsWindow;
        QWidget closedWindow; // never shown: must stay hidden
        for (QWidget* window : { &callWindow, &settingsWindow }) {
            window->show();
            QVERIFY(QTest::qWaitForWindowExposed(window));
        }
        GlobalHotKey hotKeys({ HotKeyFacility::x11 }, nullptr);
        int pressed = 0;
        hotKeys.registerHotKey(Qt::Key_Space, Qt::ControlModifier | Qt::AltModifier, [&pressed] { ++pressed; });

        QSignalSpy hiding(&hider, &ScreenShareHider::hidingChanged);
        QSignalSpy lastClosed(qApp, &QGuiApplication::lastWindowClosed);
        CaptureClient capture;
        QVERIFY(capture.isConnected());
        capture.startCapture("meta-screen-cast-src");
        QVERIFY(hiding.wait(10000));
        QCOMPARE(hiding.last().at(0).toBool(), true);
        QVERIFY(watcher.isSharing());
        QVERIFY(!callWindow.isVisible());
        QVERIFY(!settingsWindow.isVisible());
        // Hiding is not closing: the app must not take it for its last window going away.
        QCOMPARE(lastClosed.count(), 0);

        QVERIFY(QProcess::execute(u"xdotool"_qs, { u"key"_qs, u"ctrl+alt+space"_qs }) == 0);
        QTRY_COMPARE_WITH_TIMEOUT(pressed, 1, 10000);

        capture.stopCapture();
        QVERIFY(hiding.wait(10000));
        QCOMPARE(hiding.last().at(0).toBool(), false);
        QVERIFY(callWindow.isVisible());
        QVERIFY(settingsWindow.isVisible());
        QVERIFY(!closedWindow.isVisible());
        QVERIFY(QTest::qWaitForWindowExposed(&callWindow));
        QVERIFY(QApplication::activeWindow() == nullptr);
        QVERIFY(!callWindow.testAttribute(Qt::WA_ShowWithoutActivating));
        QCOMPARE(available.count(), 1);
    }

    // With "hideFromScreenShare" off nothing hides; turning it on during the share hides at once.
    void settingOff()
    {
        if (!m_daemonRuns) {
            QSKIP(qPrintable(u"PipeWire cannot run here: "_qs + m_daemonError));
        }
        Settings settings(m_settingsDir.filePath(u"off.conf"_qs), nullptr);
        settings.setBoolean(SettingKey::hideFromScreenShare, false);
        ScreenShareWatcher watcher;
        ScreenShareHider hider(settings, watcher);
        QSignalSpy started(&watcher, &ScreenShareWatcher::started);
        watcher.start(waylandSession());
        QVERIFY(started.wait(10000));
        QWidget callWindow;
        callWindow.show();
        QVERIFY(QTest::qWaitForWindowExposed(&callWindow));

        QSignalSpy sharing(&watcher, &ScreenShareWatcher::sharingChanged);
        CaptureClient capture;
        capture.startCapture("meta-screen-cast-src");
        QVERIFY(sharing.wait(10000));
        QVERIFY(!hider.isHiding());
        QVERIFY(callWindow.isVisible());

        settings.setBoolean(SettingKey::hideFromScreenShare, true);
        QVERIFY(!callWindow.isVisible());
        capture.stopCapture();
        QVERIFY(sharing.wait(10000));
        QVERIFY(callWindow.isVisible());
    }

    // PipeWire ending during a share must not leave the windows hidden: they come back, and the watcher
    // says it can no longer see, so the hand-held toggle is offered.
    void daemonGoneWhileShared()
    {
        if (!m_daemonRuns) {
            QSKIP(qPrintable(u"PipeWire cannot run here: "_qs + m_daemonError));
        }
        PrivatePipeWire doomed;
        QString error;
        QVERIFY2(doomed.start(&error), qPrintable(error));
        Settings settings(m_settingsDir.filePath(u"gone.conf"_qs), nullptr);
        ScreenShareWatcher watcher;
        ScreenShareHider hider(settings, watcher);
        QAction byHand(u"Hide while sharing"_qs);
        hider.offerByHand(&byHand);
        QSignalSpy started(&watcher, &ScreenShareWatcher::started);
        watcher.start(waylandSession());
        QVERIFY(started.wait(10000));
        QVERIFY(watcher.isAvailable());
        QWidget callWindow;
        callWindow.show();
        QVERIFY(QTest::qWaitForWindowExposed(&callWindow));

        QSignalSpy hiding(&hider, &ScreenShareHider::hidingChanged);
        auto capture = std::make_unique<CaptureClient>();
        capture->startCapture("xdpw-stream-k3v9qa");
        QVERIFY(hiding.wait(10000));
        QVERIFY(!callWindow.isVisible());

        QSignalSpy available(&watcher, &ScreenShareWatcher::availableChanged);
        doomed.kill();
        QVERIFY(available.wait(10000));
        m_daemon.select();
        QVERIFY(!watcher.isAvailable());
        QVERIFY(!watcher.isSharing());
        QVERIFY(!hider.isHiding());
        QVERIFY(callWindow.isVisible());
        QVERIFY(byHand.isVisible());
        capture.reset();
    }

private:
    PrivatePipeWire m_daemon;
    bool m_daemonRuns = false;
    QString m_daemonError;
    QTemporaryDir m_settingsDir;
};

QTEST_MAIN(ScreenShareWatcherTest)
#include "ScreenShareWatcherTest.moc"
