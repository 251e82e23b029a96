#include "app/updates/Updater.h"
#include "WindowHarness.h"
#include "app/updates/Appcast.h"
#include "app/updates/CheckForUpdatesView.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTcpServer>

namespace {

QByteArray feed(const QByteArray& items)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
           "<rss version=\"2.0\" xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/sparkle\">"
           "<channel><title>Quillora</title>"
        + items + "</channel></rss>";
}

QByteArray item(const QByteArray& version, const QByteArray& extra = {})
{
    return "<item><title>Quillora " + version + "</title><sparkle:version>" + version + "</sparkle:version>" + extra
        + "</item>";
}

// A port on 127.0.0.1 where nothing listens.
quint16 closedPort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost);
    return server.serverPort();
}

enum class Outcome { newer, upToDate, failed };

// An updater on the harness's settings file for app version 1.4.2, its menu command, and the harness's
// loopback server as the update feed.
struct Harness : WindowHarness {
    Harness()
        : updater(settings, nullptr, QStringLiteral("1.4.2"))
        , view(updater, &action, nullptr)
    {
    }

    void serve(QByteArray body, int status = 200)
    {
        model.respond("/appcast.xml", { status, "application/rss+xml", { std::move(body) } });
        settings.setText(SettingKey::updateFeedURL, model.baseURL() + QStringLiteral("/appcast.xml"));
    }

    // Chooses "Check for Updates…" and waits for the outcome on screen.
    std::optional<UpdateCheckResult> check()
    {
        QSignalSpy finished(&updater, &Updater::checkFinished);
        QSignalSpy shown(&view, &CheckForUpdatesView::shown);
        action.trigger();
        if (finished.isEmpty() && !finished.wait(10000)) {
            return std::nullopt;
        }
        if (shown.isEmpty()) {
            return std::nullopt;
        }
        return finished.first().first().value<UpdateCheckResult>();
    }

    // The dialog the command opened, and its texts.
    static QDialog* dialog() { return gui::topLevel<QDialog>(QStringLiteral("updates")); }
    static QString text(const QString& name) { return gui::find<QLabel>(dialog(), name)->text(); }

    QAction action;
    Updater updater;
    CheckForUpdatesView view;
};

} // namespace

class UpdaterTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void check_data();
    void check();
    void releaseFields();
    void noFeed();
    void cannotCheckWhileChecking();
    void compareVersions_data();
    void compareVersions();
};

void UpdaterTest::check_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status"); // 0: nothing listens
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QString>("shown"); // the version offered, or the failure text

    const QByteArray older = item("1.3.9") + item("0.9");
    QTest::newRow("newer") << feed(older + item("1.10")) << 200 << int(Outcome::newer) << QStringLiteral("1.10");
    QTest::newRow("same") << feed(older + item("1.4.2")) << 200 << int(Outcome::upToDate) << QString();
    QTest::newRow("older") << feed(older) << 200 << int(Outcome::upToDate) << QString();
    QTest::newRow("version in the enclosure")
        << feed("<item><title>Next</title><enclosure url=\"https://example.invalid/q.deb\" sparkle:version=\"1.5\"/>"
                "</item>")
        << 200 << int(Outcome::newer) << QStringLiteral("1.5");

    const QString unreadable =
        QStringLiteral("The update feed could not be read: the server did not send a valid update feed.");
    QTest::newRow("malformed") << feed(item("2.0")).chopped(12) << 200 << int(Outcome::failed) << unreadable;
    QTest::newRow("undeclared namespace") << QByteArray(
        "<rss version=\"2.0\"><channel><item><sparkle:version>2.0</sparkle:version></item></channel></rss>")
                                          << 200 << int(Outcome::failed) << unreadable;
    QTest::newRow("no versions") << feed("<item><title>Soon</title></item>") << 200 << int(Outcome::failed)
                                 << QStringLiteral("The update feed lists no version of Quillora.");
    QTest::newRow("server error")
        << feed(item("2.0")) << 404 << int(Outcome::failed)
        << QStringLiteral("The update server answered with an error (HTTP status 404). Try again later.");
    QTest::newRow("unreachable") << QByteArray() << 0 << int(Outcome::failed)
                                 << QStringLiteral(
                                        "Could not reach the update server. Check your internet connection and try "
                                        "again.");
}

void UpdaterTest::check()
{
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    QFETCH(int, outcome);
    QFETCH(QString, shown);
    Harness harness;
    if (status == 0) {
        harness.settings.setText(
            SettingKey::updateFeedURL, QStringLiteral("http://127.0.0.1:%1/appcast.xml").arg(closedPort()));
    } else {
        harness.serve(body, status);
    }
    QVERIFY(harness.action.isEnabled());

    const std::optional<UpdateCheckResult> result = harness.check();
    QVERIFY(result);
    QCOMPARE(harness.model.requests().size(), status == 0 ? 0 : 1);
    QVERIFY(harness.updater.canCheck());
    QVERIFY(harness.action.isEnabled());
    QVERIFY(Harness::dialog()->isVisible());
    QCOMPARE(QAccessible::queryAccessibleInterface(Harness::dialog())->text(QAccessible::Name),
        QStringLiteral("Software Update")); // named by its title, as every window
    switch (Outcome(outcome)) {
    case Outcome::newer:
        QVERIFY(*result && result->value());
        QCOMPARE(result->value()->version, shown);
        QCOMPARE(Harness::text(QStringLiteral("headline")), QStringLiteral("Quillora %1 is available").arg(shown));
        break;
    case Outcome::upToDate:
        QVERIFY(*result && !result->value());
        QCOMPARE(Harness::text(QStringLiteral("headline")), QStringLiteral("Quillora is up to date"));
        QCOMPARE(
            Harness::text(QStringLiteral("detail")), QStringLiteral("Version 1.4.2 is the newest version available."));
        break;
    case Outcome::failed:
        QVERIFY(!*result);
        QCOMPARE(result->error().message, shown);
        QCOMPARE(Harness::text(QStringLiteral("headline")), QStringLiteral("Could not check for updates"));
        QCOMPARE(Harness::text(QStringLiteral("detail")), shown);
        break;
    }
}

void UpdaterTest::releaseFields()
{
    Harness harness;
    // Out of order; the newest carries HTML notes, a notes page and a date; a link that is no web
    // address is dropped.
    harness.serve(feed(item("1.5", "<link>javascript:alert(1)</link><description>Old</description>")
        + item("2.1",
            "<sparkle:shortVersionString>2.1</sparkle:shortVersionString><sparkle:version>2100</sparkle:version>"
            "<description><![CDATA[<h2>Changes</h2><ul><li>Faster start</li><li>Fixes &amp; more</li></ul>]]>"
            "</description><sparkle:releaseNotesLink>https://example.invalid/notes/2.1</sparkle:releaseNotesLink>"
            "<link>https://example.invalid/</link><pubDate>Mon, 07 Dec 2026 10:00:00 +0000</pubDate>")
        + item("1.9")));
    const std::optional<UpdateCheckResult> result = harness.check();
    QVERIFY(result && *result && result->value());
    const AppcastItem& newest = *result->value();
    // The short version is the one compared, not the build number beside it.
    QCOMPARE(newest.version, QStringLiteral("2.1"));
    QCOMPARE(newest.title, QStringLiteral("Quillora 2.1"));
    QCOMPARE(newest.notes.split(u'\n', Qt::SkipEmptyParts).size(), 3);
    QVERIFY(newest.notes.contains(QStringLiteral("Fixes & more")));
    QVERIFY(!newest.notes.contains(u'<'));
    QCOMPARE(newest.link, QUrl(QStringLiteral("https://example.invalid/notes/2.1")));
    QCOMPARE(newest.published, QDateTime(QDate(2026, 12, 7), QTime(10, 0), Qt::UTC));
    QCOMPARE(
        gui::named<QPlainTextEdit>(Harness::dialog(), QStringLiteral("Release notes"))->toPlainText(), newest.notes);
    QVERIFY(
        Harness::text(QStringLiteral("link")).contains(QStringLiteral("href=\"https://example.invalid/notes/2.1\"")));

    const Result<QList<AppcastItem>> items = appcast::parse(feed(item("1.5", "<link>javascript:alert(1)</link>")));
    QVERIFY(items);
    QVERIFY(items->first().link.isEmpty());
}

void UpdaterTest::noFeed()
{
    // Without a feed (the default) the command still answers: the package manager updates the app.
    Harness harness;
    QVERIFY(harness.action.isEnabled());
    QSignalSpy shown(&harness.view, &CheckForUpdatesView::shown);
    harness.action.trigger();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(Harness::text(QStringLiteral("headline")), QStringLiteral("Quillora 1.4.2 is installed"));
    QCOMPARE(Harness::text(QStringLiteral("detail")),
        QStringLiteral("Updates for Quillora come from your system's package manager. To check a release feed from "
                       "here as well, enter its address in Settings, under Updates."));
}

void UpdaterTest::cannotCheckWhileChecking()
{
    Harness harness;
    harness.serve(feed(item("1.5")));
    QSignalSpy changes(&harness.updater, &Updater::canCheckChanged);
    QSignalSpy finished(&harness.updater, &Updater::checkFinished);
    harness.action.trigger();
    // The request is under way until the event loop runs again.
    QVERIFY(harness.updater.isChecking());
    QVERIFY(!harness.updater.canCheck());
    QVERIFY(!harness.action.isEnabled());
    QCOMPARE(changes.size(), 1);
    harness.updater.checkForUpdates();

    QVERIFY(finished.wait(10000));
    QCOMPARE(harness.model.requests().size(), 1);
    QCOMPARE(finished.size(), 1);
    QVERIFY(harness.updater.canCheck());
    QVERIFY(harness.action.isEnabled());
    QCOMPARE(changes.size(), 2);
    QCOMPARE((*finished.first().first().value<UpdateCheckResult>())->version, QStringLiteral("1.5"));
}

void UpdaterTest::compareVersions_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<int>("expected");
    QTest::newRow("equal") << QStringLiteral("1.2.3") << QStringLiteral("1.2.3") << 0;
    QTest::newRow("missing parts are 0") << QStringLiteral("1.2") << QStringLiteral("1.2.0.0") << 0;
    QTest::newRow("numeric, not textual") << QStringLiteral("1.10") << QStringLiteral("1.9") << 1;
    QTest::newRow("older major") << QStringLiteral("0.99") << QStringLiteral("1.0") << -1;
    QTest::newRow("letters after digits ignored") << QStringLiteral("2.0b1") << QStringLiteral("2.0") << 0;
    QTest::newRow("unreadable is older") << QStringLiteral("beta") << QStringLiteral("0.1") << -1;
    QTest::newRow("empty part unreadable") << QStringLiteral("1..2") << QStringLiteral("1") << -1;
    QTest::newRow("huge numbers exact") << QStringLiteral("1.123456789012345679")
                                        << QStringLiteral("1.123456789012345678") << 1;
    QTest::newRow("too many digits unreadable") << QStringLiteral("1234567890123456789") << QStringLiteral("1") << -1;
}

void UpdaterTest::compareVersions()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(int, expected);
    QCOMPARE(appcast::compareVersions(a, b), expected);
    QCOMPARE(appcast::compareVersions(b, a), -expected);
}

QTEST_MAIN(UpdaterTest)
#include "UpdaterTest.moc"
