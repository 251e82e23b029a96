#include "app/widgets/Autostart.h"
#include "app/widgets/LoginToggle.h"
#include "app/widgets/ProviderPicker.h"
#include "fakes/FakeHttpServer.h"
#include "settings/Settings.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace std::chrono_literals;

// The controls the settings window and the guide share, each on files of its own.
class WidgetKitTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void loginToggle_data();
    void loginToggle();
    void loginToggleRefused_data();
    void loginToggleRefused();
    void localModels_data();
    void localModels();
};

void WidgetKitTest::loginToggle_data()
{
    QTest::addColumn<QString>("executable");
    QTest::addColumn<QString>("execLine");
    QTest::newRow("plain") << QStringLiteral("/usr/bin/quillora") << QStringLiteral("Exec=/usr/bin/quillora");
    QTest::newRow("blanks") << QStringLiteral("/opt/My Apps/quillora")
                            << QStringLiteral("Exec=\"/opt/My Apps/quillora\"");
    // Inside quotes ", `, $ and \ take a backslash, and each backslash is then doubled as a string
    // value requires; a percent sign is doubled so it is no field code.
    QTest::newRow("shell characters") << QStringLiteral("/home/a$b/q\"u`x\\y")
                                      << QStringLiteral("Exec=\"/home/a\\\\$b/q\\\\\"u\\\\`x\\\\\\\\y\"");
    QTest::newRow("percent") << QStringLiteral("/opt/100%/quillora") << QStringLiteral("Exec=/opt/100%%/quillora");
}

void WidgetKitTest::loginToggle()
{
    QFETCH(QString, executable);
    QFETCH(QString, execLine);
    QTemporaryDir directory;
    const QString entry = directory.filePath(QStringLiteral("autostart/quillora.desktop"));
    LoginToggle toggle(entry, executable, nullptr);
    QVERIFY(!toggle.isChecked());
    toggle.click();
    QVERIFY(toggle.isChecked());
    QFile written(entry);
    QVERIFY(written.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(written.readAll()).split(u'\n');
    QCOMPARE(lines.first(), QStringLiteral("[Desktop Entry]"));
    QVERIFY2(lines.contains(execLine), qPrintable(lines.join(u'|')));
    QVERIFY(lines.contains(QStringLiteral("Type=Application")));
    toggle.click();
    QVERIFY(!toggle.isChecked());
    QVERIFY(!QFile::exists(entry));

    // An entry the session was told to ignore counts as off, and switching on replaces it.
    QFile hidden(entry);
    QVERIFY(hidden.open(QIODevice::WriteOnly));
    hidden.write("[Desktop Entry]\nType=Application\nExec=quillora\nHidden = true\n");
    hidden.close();
    toggle.showStored();
    QVERIFY(!toggle.isChecked());
    toggle.click();
    QVERIFY(autostart::isEnabled(entry));
}

void WidgetKitTest::loginToggleRefused_data()
{
    QTest::addColumn<QString>("blocker");
    QTest::addColumn<bool>("startsEnabled");
    QTest::newRow("a file where the folder goes") << QStringLiteral("file") << false;
    QTest::newRow("read-only folder, switching on") << QStringLiteral("read-only") << false;
    QTest::newRow("read-only folder, switching off") << QStringLiteral("read-only") << true;
}

void WidgetKitTest::loginToggleRefused()
{
    QFETCH(QString, blocker);
    QFETCH(bool, startsEnabled);
    if (blocker == u"read-only" && ::geteuid() == 0) {
        QSKIP("root writes into read-only folders");
    }
    QTemporaryDir directory;
    const QString folder = directory.filePath(QStringLiteral("autostart"));
    const QString entry = folder + QStringLiteral("/quillora.desktop");
    if (blocker == u"file") {
        QFile file(folder);
        QVERIFY(file.open(QIODevice::WriteOnly));
    } else {
        QVERIFY(QDir().mkpath(folder));
        if (startsEnabled) {
            QVERIFY(autostart::enable(entry, QStringLiteral("/usr/bin/quillora")));
        }
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
    }
    const auto restore =
        qScopeGuard([&] { QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner); });
    LoginToggle toggle(entry, QStringLiteral("/usr/bin/quillora"), nullptr);
    QCOMPARE(toggle.isChecked(), startsEnabled);
    toggle.click();
    // The write failed, so the toggle shows what is really there.
    QCOMPARE(toggle.isChecked(), startsEnabled);
    QCOMPARE(autostart::isEnabled(entry), startsEnabled);
}

void WidgetKitTest::localModels_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("hangs");
    QTest::addColumn<int>("choices");
    QTest::addColumn<QStringList>("shown");
    const QString first = QStringLiteral("First model the server lists");
    const QString stored = QStringLiteral("mistral"); // not listed by the server
    const int listed = int(LocalModelPicker::Choices::listed);
    const int withDefault = int(LocalModelPicker::Choices::withServerDefault);
    QTest::newRow("listed") << 200 << false << listed << QStringList { QStringLiteral("llama3") };
    QTest::newRow("with the server's default")
        << 200 << false << withDefault << QStringList { first, QStringLiteral("llama3"), stored };
    QTest::newRow("server error") << 500 << false << withDefault << QStringList { first, stored };
    QTest::newRow("no answer in time") << 200 << true << listed << QStringList();
}

void WidgetKitTest::localModels()
{
    QFETCH(int, status);
    QFETCH(bool, hangs);
    QFETCH(int, choices);
    QFETCH(QStringList, shown);
    QTemporaryDir directory;
    Settings settings(directory.filePath(QStringLiteral("Quillora.conf")), nullptr);
    settings.setText(SettingKey::llmModelOnDevice, QStringLiteral("mistral"));
    FakeHttpServer server;
    FakeHttpServer::Response answer;
    answer.status = status;
    answer.contentType = "application/json";
    // Headers and a part of the list, then nothing more, when it hangs.
    answer.chunks = { hangs ? QByteArray("{\"data\":[") : QByteArray(R"({"data":[{"id":"llama3"}]})") };
    answer.ending = hangs ? FakeHttpServer::Ending::hang : FakeHttpServer::Ending::complete;
    server.respond("/v1/models", answer);
    LocalModelPicker picker(settings, LocalModelPicker::Choices(choices), nullptr);
    picker.setTimeout(500ms);
    QSignalSpy listed(&picker, &LocalModelPicker::listed);
    // A listing from a server that refuses at once, then one from the fake: only the newer one counts.
    settings.setText(SettingKey::localModelURL, QStringLiteral("http://127.0.0.1:1/v1"));
    picker.list();
    settings.setText(SettingKey::localModelURL, server.baseURL() + QStringLiteral("/v1"));
    picker.list();
    QVERIFY(listed.wait(5000));
    QCOMPARE(listed.size(), 1);
    QCOMPARE(listed.first().first().toStringList().isEmpty(), status != 200 || hangs);
    QStringList items;
    for (int index = 0; index < picker.count(); ++index) {
        items.append(picker.itemText(index));
    }
    QCOMPARE(items, shown);
    if (!shown.isEmpty()) {
        // A pick is stored as the on-device model.
        Q_EMIT picker.activated(1 % picker.count());
        QCOMPARE(
            settings.text(SettingKey::llmModelOnDevice), std::optional(picker.itemData(1 % picker.count()).toString()));
    }
}

QTEST_MAIN(WidgetKitTest)
#include "WidgetKitTest.moc"
