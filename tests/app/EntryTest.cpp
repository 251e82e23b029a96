#include <QFile>
#include <QProcess>
#include <QRegularExpression>
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
    void printOnly_data();
    void printOnly();

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
    QTest::newRow("restored by the session manager")
        << QStringList { QStringLiteral("-session"), QStringLiteral("10d2c3") } << false;
    QTest::newRow("--version with --mcp")
        << QStringList { QStringLiteral("--version"), QStringLiteral("--mcp") } << true;
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
        // The keyring's and the speech engine's libraries are opened when first needed.
        QFile maps(QStringLiteral("/proc/%1/maps").arg(process.processId()));
        QVERIFY(maps.open(QIODevice::ReadOnly));
        const QRegularExpressionMatch loaded =
            QRegularExpression(QStringLiteral("libsecret|libpocketsphinx")).match(QString::fromUtf8(maps.readAll()));
        QVERIFY2(!loaded.hasMatch(), qPrintable(loaded.captured()));
        process.kill();
        QVERIFY(process.waitForFinished(5000));
    }
    // Both modes open the same store file under the user's data folder.
    QVERIFY(QFileInfo::exists(home + QStringLiteral("/.local/share/Quillora/Assistants.store")));
}

void EntryTest::printOnly_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("printed"); // on standard output for status 0, else on standard error
    const QString version = QStringLiteral("quillora " QUILLORA_VERSION "\n");
    const QString usage = QStringLiteral("Usage: quillora");
    QTest::newRow("--version") << QStringList { QStringLiteral("--version") } << 0 << version;
    QTest::newRow("--version after a bus switch")
        << QStringList { QStringLiteral("--toggle-listening"), QStringLiteral("--version") } << 0 << version;
    QTest::newRow("--help") << QStringList { QStringLiteral("--help") } << 0 << usage;
    QTest::newRow("-h") << QStringList { QStringLiteral("-h") } << 0 << usage;
    QTest::newRow("--help before --version")
        << QStringList { QStringLiteral("--help"), QStringLiteral("--version") } << 0 << usage;
    QTest::newRow("unknown option") << QStringList { QStringLiteral("--frobnicate") } << 2
                                    << QStringLiteral("quillora: unknown option '--frobnicate'\n") + usage;
    QTest::newRow("--MCP") << QStringList { QStringLiteral("--MCP") } << 2
                           << QStringLiteral("quillora: unknown option '--MCP'\n") + usage;
    QTest::newRow("a plain word") << QStringList { QStringLiteral("serve") } << 2
                                  << QStringLiteral("quillora: unexpected argument 'serve'\n") + usage;
    QTest::newRow("no display") << QStringList {} << 1
                                << QStringLiteral("quillora: the desktop app needs a display, and none could be "
                                                  "opened (DISPLAY is not set).\n");
}

// --version, --help and arguments the app refuses print and end before anything opens a display,
// the session bus or the store: with no display to open and a home folder that does not exist, they
// create nothing, and where no display can be opened the app says so and ends without a crash.
void EntryTest::printOnly()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, printed);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const QString home = m_home.filePath(QStringLiteral("untouched"));
    for (const char* name : { "HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME" }) {
        environment.insert(QString::fromLatin1(name), home);
    }
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(
        QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=") + home + QStringLiteral("/bus"));

    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(QUILLORA_BINARY), arguments);
    QVERIFY(process.waitForFinished(10000));
    const QString out =
        QString::fromUtf8(status == 0 ? process.readAllStandardOutput() : process.readAllStandardError());
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), status);
    if (printed.endsWith(u'\n')) {
        QCOMPARE(out, printed);
    } else {
        QVERIFY2(out.startsWith(printed), qPrintable(out));
        for (const char* option : { "--mcp", "--toggle-listening", "--suggest-now", "--version", "--help" }) {
            QVERIFY2(out.contains(QString::fromLatin1(option)), option);
        }
    }
    QVERIFY(!QFileInfo::exists(home));
}

QTEST_GUILESS_MAIN(EntryTest)
#include "EntryTest.moc"
