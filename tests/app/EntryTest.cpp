#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// The built executable chooses its mode from its arguments: the tool server ends as soon as its
// input is closed; the desktop app stays open until it is ended.
class EntryTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void mode_data();
    void mode();

private:
    QTemporaryDir m_home;
};

void EntryTest::initTestCase()
{
    QVERIFY(m_home.isValid());
    QVERIFY(QFileInfo(QStringLiteral(QUILLORA_BINARY)).isExecutable());
}

void EntryTest::mode_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("toolServer");
    QTest::newRow("--mcp alone") << QStringList { QStringLiteral("--mcp") } << true;
    QTest::newRow("--mcp second of two") << QStringList { QStringLiteral("serve"), QStringLiteral("--mcp") } << true;
    QTest::newRow("no arguments") << QStringList {} << false;
    QTest::newRow("--MCP") << QStringList { QStringLiteral("--MCP") } << false;
    QTest::newRow("--mcp=1") << QStringList { QStringLiteral("--mcp=1") } << false;
    QTest::newRow("-mcp") << QStringList { QStringLiteral("-mcp") } << false;
}

void EntryTest::mode()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, toolServer);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const QString home = m_home.filePath(QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'_'));
    environment.insert(QStringLiteral("HOME"), home);
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/.cache"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));

    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(QUILLORA_BINARY), arguments);
    QVERIFY(process.waitForStarted());
    process.closeWriteChannel();
    if (toolServer) {
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
    } else {
        QVERIFY2(!process.waitForFinished(1000), process.readAllStandardError().constData());
        process.kill();
        QVERIFY(process.waitForFinished(5000));
    }
    // Both modes open the same store file under the user's data folder.
    QVERIFY(QFileInfo::exists(home + QStringLiteral("/.local/share/Quillora/Assistants.store")));
}

QTEST_GUILESS_MAIN(EntryTest)
#include "EntryTest.moc"
