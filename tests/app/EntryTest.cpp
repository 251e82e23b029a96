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
    void printOnly_data();
    void printOnly();
    void refused_data();
    void refused();

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
        process.kill();
        QVERIFY(process.waitForFinished(5000));
    }
    // Both modes open the same store file under the user's data folder.
    QVERIFY(QFileInfo::exists(home + QStringLiteral("/.local/share/Quillora/Assistants.store")));
}

void EntryTest::printOnly_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("printed");
    const QString version = QStringLiteral("quillora " QUILLORA_VERSION "\n");
    QTest::newRow("--version") << QStringList { QStringLiteral("--version") } << version;
    QTest::newRow("--version after a bus switch")
        << QStringList { QStringLiteral("--toggle-listening"), QStringLiteral("--version") } << version;
    QTest::newRow("--help") << QStringList { QStringLiteral("--help") } << QStringLiteral("Usage: quillora");
    QTest::newRow("-h") << QStringList { QStringLiteral("-h") } << QStringLiteral("Usage: quillora");
    QTest::newRow("--help before --version")
        << QStringList { QStringLiteral("--help"), QStringLiteral("--version") } << QStringLiteral("Usage: quillora");
}

// --version and --help print and end before anything opens a display, the session bus or the store:
// with no display to open and a home folder that does not exist, they still succeed and create nothing.
void EntryTest::printOnly()
{
    QFETCH(QStringList, arguments);
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
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QVERIFY2(process.exitCode() == 0, process.readAllStandardError().constData());
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

void EntryTest::refused_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("said"); // the first line on standard error
    const auto unknown = [](const char* option) {
        return QStringLiteral("quillora: unknown option '%1'").arg(QLatin1String(option));
    };
    QTest::newRow("--frobnicate") << QStringList { QStringLiteral("--frobnicate") } << 2 << unknown("--frobnicate");
    QTest::newRow("--MCP") << QStringList { QStringLiteral("--MCP") } << 2 << unknown("--MCP");
    QTest::newRow("--mcp=1") << QStringList { QStringLiteral("--mcp=1") } << 2 << unknown("--mcp=1");
    QTest::newRow("unknown after a bus switch")
        << QStringList { QStringLiteral("--suggest-now"), QStringLiteral("-x") } << 2 << unknown("-x");
    QTest::newRow("a plain word") << QStringList { QStringLiteral("serve") } << 2
                                  << QStringLiteral("quillora: unexpected argument 'serve'");
    QTest::newRow("no display") << QStringList {} << 1
                                << QStringLiteral("quillora: the desktop app needs a display, and none could be "
                                                  "opened (DISPLAY is not set).");
}

// What the executable refuses, it says and ends with a status, never a crash, before it opens the
// store, the session bus or (there being none) a display.
void EntryTest::refused()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, said);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const QString home = m_home.filePath(QStringLiteral("refused"));
    for (const char* name : { "HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME" }) {
        environment.insert(QString::fromLatin1(name), home);
    }
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(QUILLORA_BINARY), arguments);
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), status);
    const QStringList lines = QString::fromUtf8(process.readAllStandardError()).split(u'\n', Qt::SkipEmptyParts);
    QVERIFY(!lines.isEmpty());
    QCOMPARE(lines.first(), said);
    // An option error shows the usage after it; a missing display is said in that one line.
    QCOMPARE(lines.size() > 1, status == 2);
    QVERIFY(status != 2 || lines[1].startsWith(QStringLiteral("Usage: quillora")));
    QVERIFY(process.readAllStandardOutput().isEmpty());
}

QTEST_GUILESS_MAIN(EntryTest)
#include "EntryTest.moc"
