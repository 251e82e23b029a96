#include "app/hotkeys/GlobalHotKey.h"
#include "FakePortal.h"

#include <QGuiApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <cstdlib>
#include <memory>

namespace {

const QString listen = QStringLiteral("listen");
const QString suggest = QStringLiteral("suggest");

// Presses keys on the test's X server through XTEST, as the user's keyboard would.
bool press(const QString& keys)
{
    return QProcess::execute(QStringLiteral("xdotool"), QStringList { QStringLiteral("key") } + keys.split(u' ')) == 0;
}

xcb_connection_t* appConnection()
{
    return qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
}

xcb_window_t rootOf(xcb_connection_t* connection)
{
    return xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
}

struct Locks {
    bool numLock = false;
    bool capsLock = false;
    bool operator==(const Locks&) const = default;
};

// NumLock is Mod2 and CapsLock is Lock in the X server's default keyboard map.
Locks locks()
{
    xcb_connection_t* connection = appConnection();
    auto* reply = xcb_query_pointer_reply(connection, xcb_query_pointer(connection, rootOf(connection)), nullptr);
    if (!reply) {
        return {};
    }
    const Locks state { (reply->mask & XCB_MOD_MASK_2) != 0, (reply->mask & XCB_MOD_MASK_LOCK) != 0 };
    std::free(reply);
    return state;
}

} // namespace

// Stands for the app's services: each action says which one it reached.
class Recorder : public QObject {
    Q_OBJECT

public:
    std::function<void()> action(const QString& name)
    {
        return [this, name] {
            fired.append(name);
            Q_EMIT firedOne();
        };
    }

    QStringList fired;

Q_SIGNALS:
    void firedOne();
};

class GlobalHotKeyTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();
    void x11Keys_data();
    void x11Keys();
    void x11GrabTakenByAnotherApp();
    void portalBindsAndActivates_data();
    void portalBindsAndActivates();
    void portalKeyRegisteredLater();
    void missingPortalFallsBack_data();
    void missingPortalFallsBack();

private:
    void registerBoth(GlobalHotKey& hotKeys);
    void setLocks(Locks wanted);

    Recorder m_recorder;
    std::unique_ptr<GlobalHotKey> m_hotKeys;
};

void GlobalHotKeyTest::initTestCase()
{
    if (QGuiApplication::platformName() != QStringLiteral("xcb")) {
        QSKIP("needs an X server (run under scripts/with-services)");
    }
    QVERIFY(!QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty());
    setLocks({});
}

void GlobalHotKeyTest::cleanup()
{
    m_hotKeys.reset();
    m_recorder.fired.clear();
    setLocks({});
}

void GlobalHotKeyTest::setLocks(Locks wanted)
{
    const Locks now = locks();
    QStringList keys;
    if (now.numLock != wanted.numLock) {
        keys.append(QStringLiteral("Num_Lock"));
    }
    if (now.capsLock != wanted.capsLock) {
        keys.append(QStringLiteral("Caps_Lock"));
    }
    if (!keys.isEmpty()) {
        QVERIFY(press(keys.join(u' ')));
        QTRY_COMPARE(locks(), wanted);
    }
}

void GlobalHotKeyTest::registerBoth(GlobalHotKey& hotKeys)
{
    hotKeys.registerHotKey(Qt::Key_Space, Qt::ControlModifier | Qt::AltModifier, m_recorder.action(listen),
        QStringLiteral("Start or stop listening"));
    hotKeys.registerHotKey(Qt::Key_Return, Qt::ControlModifier | Qt::AltModifier, m_recorder.action(suggest),
        QStringLiteral("Suggest a reply now"));
}

void GlobalHotKeyTest::x11Keys_data()
{
    QTest::addColumn<bool>("numLock");
    QTest::addColumn<bool>("capsLock");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QStringList>("fired");

    const QString space = QStringLiteral("ctrl+alt+space");
    const QString enter = QStringLiteral("ctrl+alt+Return");
    QTest::newRow("Ctrl+Alt+Space") << false << false << space << QStringList { listen };
    QTest::newRow("Ctrl+Alt+Return") << false << false << enter << QStringList { suggest };
    QTest::newRow("Space with NumLock on") << true << false << space << QStringList { listen };
    QTest::newRow("Return with CapsLock on") << false << true << enter << QStringList { suggest };
    QTest::newRow("Space with both locks on") << true << true << space << QStringList { listen };
    QTest::newRow("Space twice in quick succession")
        << false << false << space + u' ' + space << QStringList { listen, listen };
}

void GlobalHotKeyTest::x11Keys()
{
    QFETCH(bool, numLock);
    QFETCH(bool, capsLock);
    QFETCH(QString, keys);
    QFETCH(QStringList, fired);

    m_hotKeys = std::make_unique<GlobalHotKey>(QList { HotKeyFacility::x11 }, nullptr);
    registerBoth(*m_hotKeys);
    QCOMPARE(m_hotKeys->facility(), HotKeyFacility::x11);
    setLocks({ numLock, capsLock });

    QSignalSpy spy(&m_recorder, &Recorder::firedOne);
    QVERIFY(press(keys));
    while (spy.count() < fired.size()) {
        QVERIFY(spy.wait());
    }
    QCOMPARE(m_recorder.fired, fired);
}

void GlobalHotKeyTest::x11GrabTakenByAnotherApp()
{
    // Another client holds Ctrl+Alt+Space, with every lock variant.
    using Connection = std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)>;
    Connection other(xcb_connect(nullptr, nullptr), &xcb_disconnect);
    QVERIFY(!xcb_connection_has_error(other.get()));
    xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(other.get());
    xcb_keycode_t* keycodes = xcb_key_symbols_get_keycode(symbols, 0x20);
    QVERIFY(keycodes && keycodes[0] != XCB_NO_SYMBOL);
    const xcb_keycode_t space = keycodes[0];
    std::free(keycodes);
    xcb_key_symbols_free(symbols);
    for (int locks : { 0, int(XCB_MOD_MASK_LOCK), int(XCB_MOD_MASK_2), XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2 }) {
        const auto cookie = xcb_grab_key_checked(other.get(), 0, rootOf(other.get()),
            std::uint16_t(XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | locks), space, XCB_GRAB_MODE_ASYNC,
            XCB_GRAB_MODE_ASYNC);
        QCOMPARE(xcb_request_check(other.get(), cookie), nullptr);
    }

    QTest::ignoreMessage(
        QtWarningMsg, QRegularExpression(QStringLiteral("^Ctrl\\+Alt\\+Space is taken by another application")));
    m_hotKeys = std::make_unique<GlobalHotKey>(QList { HotKeyFacility::x11 }, nullptr);
    registerBoth(*m_hotKeys);

    // The refused key keeps id 1, so Ctrl+Alt+Return still reaches its own action; had Space
    // reached this app, its action would have come first.
    QSignalSpy spy(&m_recorder, &Recorder::firedOne);
    QVERIFY(press(QStringLiteral("ctrl+alt+space ctrl+alt+Return")));
    QVERIFY(spy.wait());
    QCOMPARE(m_recorder.fired, QStringList { suggest });
}

void GlobalHotKeyTest::portalBindsAndActivates_data()
{
    QTest::addColumn<FakePortal::Kind>("kind");
    QTest::addColumn<QString>("shortcut");
    QTest::addColumn<QString>("fired");

    QTest::newRow("Space") << FakePortal::Kind::complete << QStringLiteral("CTRL+ALT+space") << listen;
    QTest::newRow("Return") << FakePortal::Kind::complete << QStringLiteral("CTRL+ALT+Return") << suggest;
    QTest::newRow("Return, portal without the app registry")
        << FakePortal::Kind::withoutRegistry << QStringLiteral("CTRL+ALT+Return") << suggest;
}

void GlobalHotKeyTest::portalBindsAndActivates()
{
    QFETCH(FakePortal::Kind, kind);
    QFETCH(QString, shortcut);
    QFETCH(QString, fired);

    FakePortal portal(kind);
    QVERIFY(portal.isServing());
    QSignalSpy bound(&portal, &FakePortal::bound);
    m_hotKeys = std::make_unique<GlobalHotKey>(QList { HotKeyFacility::portal }, nullptr);
    registerBoth(*m_hotKeys);
    QCOMPARE(m_hotKeys->facility(), HotKeyFacility::portal);
    QVERIFY(bound.wait());

    // The app id goes first, the portal allows it only before any other call.
    QCOMPARE(portal.calls,
        QStringList({ QStringLiteral("Registry.Register"), QStringLiteral("GlobalShortcuts.CreateSession"),
            QStringLiteral("GlobalShortcuts.BindShortcuts") }));
    if (kind == FakePortal::Kind::complete) {
        QCOMPARE(portal.appId, QStringLiteral("Vessaro.Quillora"));
    }
    QCOMPARE(portal.shortcuts.size(), 2);
    const QStringList triggers { QStringLiteral("CTRL+ALT+space"), QStringLiteral("CTRL+ALT+Return") };
    const QStringList descriptions { QStringLiteral("Start or stop listening"), QStringLiteral("Suggest a reply now") };
    for (qsizetype i = 0; i < 2; ++i) {
        QCOMPARE(portal.shortcuts[i].id, triggers[i]);
        QCOMPARE(portal.shortcuts[i].properties.value(QStringLiteral("preferred_trigger")).toString(), triggers[i]);
        QCOMPARE(portal.shortcuts[i].properties.value(QStringLiteral("description")).toString(), descriptions[i]);
    }

    // Signals arrive in order: had the other session's activation fired, it would come first.
    QSignalSpy spy(&m_recorder, &Recorder::firedOne);
    portal.activate(portal.session + QStringLiteral("_other"), QStringLiteral("CTRL+ALT+space"));
    portal.activate(portal.session, shortcut);
    QVERIFY(spy.wait());
    QCOMPARE(m_recorder.fired, QStringList { fired });

    // Ending the app ends its session, so the desktop drops the bindings.
    QSignalSpy closed(&portal, &FakePortal::closed);
    const QString session = portal.session;
    m_hotKeys.reset();
    QVERIFY(closed.wait());
    QCOMPARE(closed.at(0).at(0).toString(), session);
}

void GlobalHotKeyTest::portalKeyRegisteredLater()
{
    FakePortal portal(FakePortal::Kind::complete);
    QVERIFY(portal.isServing());
    QSignalSpy bound(&portal, &FakePortal::bound);
    QSignalSpy closed(&portal, &FakePortal::closed);
    m_hotKeys = std::make_unique<GlobalHotKey>(QList { HotKeyFacility::portal }, nullptr);
    m_hotKeys->registerHotKey(Qt::Key_Space, Qt::ControlModifier | Qt::AltModifier, m_recorder.action(listen));
    QVERIFY(bound.wait());
    const QString first = portal.session;
    QCOMPARE(portal.shortcuts.size(), 1);
    QCOMPARE(portal.shortcuts[0].properties.value(QStringLiteral("description")).toString(),
        QStringLiteral("Ctrl+Alt+Space"));

    // A session binds once: the later key comes with a new session that binds both.
    m_hotKeys->registerHotKey(Qt::Key_Return, Qt::ControlModifier | Qt::AltModifier, m_recorder.action(suggest));
    QVERIFY(bound.wait());
    QCOMPARE(portal.shortcuts.size(), 2);
    QVERIFY(portal.session != first);
    QCOMPARE(closed.size(), 1);
    QCOMPARE(closed.at(0).at(0).toString(), first);

    QSignalSpy spy(&m_recorder, &Recorder::firedOne);
    portal.activate(portal.session, QStringLiteral("CTRL+ALT+Return"));
    QVERIFY(spy.wait());
    QCOMPARE(m_recorder.fired, QStringList { suggest });
}

void GlobalHotKeyTest::missingPortalFallsBack_data()
{
    QTest::addColumn<bool>("hasPortal");
    QTest::addColumn<FakePortal::Kind>("kind");

    QTest::newRow("no portal") << false << FakePortal::Kind::complete;
    QTest::newRow("portal without GlobalShortcuts") << true << FakePortal::Kind::withoutGlobalShortcuts;
    QTest::newRow("portal refusing the session") << true << FakePortal::Kind::refusingSessions;
}

void GlobalHotKeyTest::missingPortalFallsBack()
{
    QFETCH(bool, hasPortal);
    QFETCH(FakePortal::Kind, kind);

    std::unique_ptr<FakePortal> portal;
    if (hasPortal) {
        portal = std::make_unique<FakePortal>(kind);
        QVERIFY(portal->isServing());
    }
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
    m_hotKeys = std::make_unique<GlobalHotKey>(QList { HotKeyFacility::portal, HotKeyFacility::x11 }, nullptr);
    QSignalSpy changed(m_hotKeys.get(), &GlobalHotKey::facilityChanged);
    registerBoth(*m_hotKeys);
    QCOMPARE(m_hotKeys->facility(), HotKeyFacility::portal);
    QVERIFY(changed.wait());
    QCOMPARE(m_hotKeys->facility(), HotKeyFacility::x11);

    QSignalSpy spy(&m_recorder, &Recorder::firedOne);
    QVERIFY(press(QStringLiteral("ctrl+alt+Return")));
    QVERIFY(spy.wait());
    QCOMPARE(m_recorder.fired, QStringList { suggest });
}

QTEST_MAIN(GlobalHotKeyTest)
#include "GlobalHotKeyTest.moc"
