#include "StoreFixture.h"

#include "mcp/CallExport.h"

#include <QProcess>
#include <QRegularExpression>
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

// Every cue of a SubRip or WebVTT text, checked against the format's grammar as it goes: the cue's
// start and end in milliseconds and its text lines.
struct Cue {
    qint64 start;
    qint64 end;
    QStringList text;
};

qint64 millis(const QRegularExpressionMatch& match, int first)
{
    return ((match.captured(first).toLongLong() * 60 + match.captured(first + 1).toLongLong()) * 60
               + match.captured(first + 2).toLongLong())
        * 1000
        + match.captured(first + 3).toLongLong();
}

std::optional<std::vector<Cue>> parseCaptions(const QString& text, bool webVtt)
{
    const QString clock = webVtt ? QStringLiteral(R"((\d{2,}):([0-5]\d):([0-5]\d)\.(\d{3}))")
                                 : QStringLiteral(R"((\d{2,}):([0-5]\d):([0-5]\d),(\d{3}))");
    const QRegularExpression timing(u'^' + clock + QStringLiteral(" --> ") + clock + u'$');
    if (!text.endsWith(QStringLiteral("\n\n")) || text.contains(u'\r')) {
        return std::nullopt;
    }
    QStringList blocks = text.chopped(2).split(QStringLiteral("\n\n"));
    if (webVtt && blocks.takeFirst() != QStringLiteral("WEBVTT")) {
        return std::nullopt;
    }
    std::vector<Cue> cues;
    for (const QString& block : blocks) {
        QStringList lines = block.split(u'\n');
        if (!webVtt && lines.takeFirst() != QString::number(cues.size() + 1)) {
            return std::nullopt; // SubRip numbers its cues from 1
        }
        const auto match = timing.match(lines.isEmpty() ? QString() : lines.takeFirst());
        if (!match.hasMatch() || lines.isEmpty()) {
            return std::nullopt;
        }
        for (const QString& line : lines) {
            if (line.trimmed().isEmpty() || line.contains(QStringLiteral("-->"))) {
                return std::nullopt;
            }
        }
        cues.push_back({ millis(match, 1), millis(match, 5), lines });
    }
    return cues;
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

    void captions_data()
    {
        QTest::addColumn<bool>("webVtt");
        QTest::newRow("SubRip") << false;
        QTest::newRow("WebVTT") << true;
    }

    void captions()
    {
        QFETCH(bool, webVtt);
        StoreContext context(m_store);
        const auto bytes = callExport::render(
            context, awkwardCall(m_seed), webVtt ? callExport::Format::webVtt : callExport::Format::subRip);
        QVERIFY(bytes);
        const auto cues = parseCaptions(QString::fromUtf8(*bytes), webVtt);
        QVERIFY2(cues, bytes->constData());
        QCOMPARE(cues->size(), size_t(4)); // the blank line has no caption
        // In time order from the call's start; each until the next, at least 1 s, at most 10 s.
        const std::vector<std::pair<qint64, qint64>> times { { 250, 1500 }, { 1500, 2500 }, { 1500, 11500 },
            { 95000, 97000 } };
        for (size_t i = 0; i < cues->size(); ++i) {
            QCOMPARE(std::pair((*cues)[i].start, (*cues)[i].end), times[i]);
            QCOMPARE((*cues)[i].text.size(), 1);
        }
        if (webVtt) {
            QCOMPARE((*cues)[1].text.first(), QStringLiteral("<v Other>Tell me &lt;b&gt;&amp;&lt;/b&gt; more"));
            QCOMPARE((*cues)[2].text.first(), QStringLiteral("<v You>Sure. Two lines --&gt; one"));
        } else {
            QCOMPARE((*cues)[1].text.first(), QStringLiteral("Other: Tell me <b>&</b> more"));
            QCOMPARE((*cues)[2].text.first(), QStringLiteral("You: Sure. Two lines -> one"));
        }
    }

    void plainText()
    {
        StoreContext context(m_store);
        const auto text = callExport::render(context, m_seed.call, callExport::Format::text);
        QVERIFY(text);
        QCOMPARE(QString::fromUtf8(*text),
            QStringLiteral("Call on 2025-03-04 14:00, about 2 min\nAssistant: Jobs\nContext: Acme\n"
                           "Outcome: positive\nNote: went well\n\nSummary:\n")
                + m_seed.call.summary
                + QStringLiteral("\n\nTranscript:\n[00:00:01] Other: Tell me about yourself?\n"
                                 "[00:00:02] You: I build compilers.\n[00:00:02] Suggestion: Mention the parser work.\n"
                                 "[00:00:03] Other: Nice.\n"));
    }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("output"); // standard output, or the start of standard error
        QTest::newRow("json") << QStringList { QStringLiteral("--format"), QStringLiteral("json"),
            QStringLiteral("--export-call"), QStringLiteral("$CALL") }
                              << 0 << QStringLiteral("json");
        QTest::newRow("text by default, id in lower case")
            << QStringList { QStringLiteral("--export-call"), QStringLiteral("$call") } << 0 << QStringLiteral("txt");
        QTest::newRow("unknown format") << QStringList {
            QStringLiteral("--export-call"), QStringLiteral("$CALL"), QStringLiteral("--format"), QStringLiteral("pdf")
        } << 2 << QStringLiteral("quillora: Unknown format pdf. Use txt, srt, vtt or json.\n");
        QTest::newRow("no call") << QStringList { QStringLiteral("--export-call") } << 2 << QStringLiteral("Usage: ");
    }

    // The executable, with no display and no session bus to reach.
    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, output);
        const auto expand = [&](QString text) {
            return text.replace(QStringLiteral("$CALL"), uuid::toText(m_seed.call.id))
                .replace(QStringLiteral("$call"), uuid::toText(m_seed.call.id).toLower());
        };
        for (QString& argument : arguments) {
            argument = expand(argument);
        }
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_DATA_HOME"), m_home.filePath(QStringLiteral("data")));
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
            return;
        }
        StoreContext context(m_store);
        QCOMPARE(process.readAllStandardOutput(),
            callExport::render(context, m_seed.call, *callExport::parseFormat(output)).value());
    }

    // Without a store the call is not found, and no store is made for it.
    void commandLineWithoutStore()
    {
        QTemporaryDir empty;
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_DATA_HOME"), empty.path());
        process.setProcessEnvironment(environment);
        process.start(
            QStringLiteral(QUILLORA_BINARY), { QStringLiteral("--export-call"), uuid::toText(m_seed.call.id) });
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitCode(), 1);
        QCOMPARE(process.readAllStandardError(),
            QStringLiteral("quillora: Call not found: %1.\n").arg(uuid::toText(m_seed.call.id)).toUtf8());
        QVERIFY(!QFileInfo::exists(empty.filePath(QStringLiteral("Quillora"))));
    }

private:
    QTemporaryDir m_home;
    QString m_storePath;
    std::shared_ptr<Store> m_store;
    SeededRecords m_seed;
};

QTEST_GUILESS_MAIN(CallExportTest)
#include "CallExportTest.moc"
