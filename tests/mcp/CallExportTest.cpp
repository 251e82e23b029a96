#include "StoreFixture.h"

#include "fakes/Golden.h"
#include "mcp/CallExport.h"

#include <QProcess>
#include <QTemporaryDir>

namespace {

QDateTime at(double seconds)
{
    return SeededRecords::at(10).addMSecs(static_cast<qint64>(seconds * 1000));
}

// Lines that test the captions' rules: said together, out of order, with a line break, markup, an
// arrow, nothing, and after a long pause.
Call awkwardCall(const SeededRecords& seed)
{
    Call call = seed.call;
    call.id = uuid::create();
    call.linesData = blob::encodeLines({
        { false, QStringLiteral("Tell me <b>&</b> more"), at(1.5) },
        { true, QStringLiteral("Sure.\nTwo lines --> one"), at(1.5) },
        { false, QStringLiteral("   "), at(3) },
        { true, QStringLiteral("Before the others"), at(0.25) },
        { false, QStringLiteral("Much later"), at(95) },
    });
    call.endedAt = at(97);
    return call;
}

} // namespace

class CallExportTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        qputenv("TZ", "UTC");
        QVERIFY(m_home.isValid());
        m_storePath = m_home.filePath(QStringLiteral("data/Quillora/Assistants.store"));
        QFile::remove(m_storePath);
        m_store = Store::open(m_storePath).value();
        m_seed = SeededRecords::write(m_store);
    }

    void cleanup() { m_store.reset(); }

    // Captions run in time order from the call's start, each until the next, at least 1 s and at most
    // 10 s; a blank line has none; markup and arrows in what was said are made harmless.
    void rendered_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<bool>("awkward");
        QTest::addColumn<QString>("golden");
        QTest::newRow("SubRip") << int(callExport::Format::subRip) << true << QStringLiteral("mcp/awkward.srt");
        QTest::newRow("WebVTT") << int(callExport::Format::webVtt) << true << QStringLiteral("mcp/awkward.vtt");
        QTest::newRow("text") << int(callExport::Format::text) << false << QStringLiteral("mcp/seeded.txt");
    }

    void rendered()
    {
        QFETCH(int, format);
        QFETCH(bool, awkward);
        QFETCH(QString, golden);
        StoreContext context(m_store);
        const auto bytes = callExport::render(
            context, awkward ? awkwardCall(m_seed) : m_seed.call, static_cast<callExport::Format>(format));
        QVERIFY(bytes);
        QCOMPARE(*bytes, goldenBytes(golden));
    }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("output"); // standard output, or the start of standard error
        QTest::addColumn<bool>("withStore");
        QTest::newRow("json") << QStringList { QStringLiteral("--format"), QStringLiteral("json"),
            QStringLiteral("--export-call"), QStringLiteral("$CALL") }
                              << 0 << QStringLiteral("json") << true;
        QTest::newRow("text by default, id in lower case")
            << QStringList { QStringLiteral("--export-call"), QStringLiteral("$call") } << 0 << QStringLiteral("txt")
            << true;
        QTest::newRow("unknown format") << QStringList { QStringLiteral("--export-call"), QStringLiteral("$CALL"),
            QStringLiteral("--format"),
            QStringLiteral("pdf") } << 2 << QStringLiteral("quillora: Unknown format pdf. Use txt, srt, vtt or json.\n")
                                        << true;
        QTest::newRow("no call") << QStringList { QStringLiteral("--export-call") } << 2 << QStringLiteral("Usage: ")
                                 << true;
        // Without a store the call is not found, and no store is made for it.
        QTest::newRow("no store") << QStringList { QStringLiteral("--export-call"), QStringLiteral("$CALL") } << 1
                                  << QStringLiteral("quillora: Call not found: $CALL.\n") << false;
    }

    // The executable, with no display and no session bus to reach.
    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, output);
        QFETCH(bool, withStore);
        const QTemporaryDir empty;
        const auto expand = [&](QString text) {
            return text.replace(QStringLiteral("$CALL"), uuid::toText(m_seed.call.id))
                .replace(QStringLiteral("$call"), uuid::toText(m_seed.call.id).toLower());
        };
        for (QString& argument : arguments) {
            argument = expand(argument);
        }
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(
            QStringLiteral("XDG_DATA_HOME"), withStore ? m_home.filePath(QStringLiteral("data")) : empty.path());
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=/nonexistent"));
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(QUILLORA_BINARY), arguments);
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitCode(), status);
        if (status != 0) {
            QVERIFY2(QString::fromUtf8(process.readAllStandardError()).startsWith(expand(output)),
                qPrintable(expand(output)));
            QVERIFY(withStore || !QFileInfo::exists(empty.filePath(QStringLiteral("Quillora"))));
            return;
        }
        StoreContext context(m_store);
        QCOMPARE(process.readAllStandardOutput(),
            callExport::render(context, m_seed.call, *callExport::parseFormat(output)).value());
    }

private:
    QTemporaryDir m_home;
    QString m_storePath;
    std::shared_ptr<Store> m_store;
    SeededRecords m_seed;
};

QTEST_GUILESS_MAIN(CallExportTest)
#include "CallExportTest.moc"
