#include "summary/CallArchive.h"
#include "common/Uuid.h"
#include "fakes/UserFolders.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <memory>

namespace {

const QDateTime callStart(QDate(2026, 12, 5), QTime(23, 17, 5), Qt::UTC); // 6:17:05 PM in New York

TranscriptLine line(Speaker speaker, const QString& text, const QDateTime& date)
{
    return TranscriptLine { uuid::create(), speaker, text, date };
}

Suggestion suggestion(const QString& response, const QDateTime& timestamp, bool isError = false)
{
    return Suggestion { uuid::create(), timestamp, QString(), response, isError };
}

struct FixedCall {
    QList<TranscriptLine> lines;
    QList<Suggestion> suggestions;
    QString notes;
    QString summary;
};

// The interview call of twelve minutes; its first lines are the ones the file layout is known by.
FixedCall twelveMinutes()
{
    FixedCall call;
    call.lines = {
        line(Speaker::them, QStringLiteral("Tell me about your last project"), callStart),
        line(Speaker::me, QStringLiteral("Sure. The last project I led was a migration."), callStart.addSecs(7)),
        line(Speaker::them, QStringLiteral("Thanks, that is all for today."), callStart.addSecs(12 * 60 + 36)),
    };
    call.suggestions = {
        suggestion(QStringLiteral("The last project I led was [ … ]."), callStart.addSecs(4)),
        suggestion(QStringLiteral("Add an API key in Settings (Ctrl+,)."), callStart.addSecs(20), true),
    };
    call.notes = QStringLiteral("Assistant: Interviews\nContext: Acme\nFiles: resume, brief");
    call.summary = QStringLiteral("Summary: The interviewer asked about recent projects.");
    return call;
}

// A short call whose suggestions come before the first line, span lines and outlast the call.
FixedCall suggestionsAround()
{
    FixedCall call;
    const QDateTime start = callStart.addSecs(3600);
    call.lines = {
        line(Speaker::me, QStringLiteral("Ação rápida agora, por favor"), start),
        line(Speaker::them, QStringLiteral("Claro, já começo"), start.addSecs(40)),
    };
    call.suggestions = {
        suggestion(QStringLiteral("Comece pelo prazo."), start.addSecs(-3)),
        suggestion(QStringLiteral("Primeiro o prazo.\nDepois o custo."), start.addSecs(40)),
        suggestion(QStringLiteral("Agradeça."), start.addSecs(50)),
    };
    call.summary = QStringLiteral("Short call: no summary.");
    return call;
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class CallArchiveTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<UserFolders> m_folders;

private Q_SLOTS:
    void initTestCase() { m_folders = std::make_unique<UserFolders>(); }

    void init() { QDir(callArchive::folder()).removeRecursively(); }

    void golden_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("fileName");
        QTest::newRow("twelve minutes") << QStringLiteral("twelve-minutes") << QStringLiteral("2026-12-05 18.17.05.md");
        QTest::newRow("suggestions around the lines")
            << QStringLiteral("suggestions-around") << QStringLiteral("2026-12-05 19.17.05.md");
    }

    void golden()
    {
        QFETCH(QString, name);
        QFETCH(QString, fileName);
        // Run by ctest under en_US and de_DE in New York's time zone (tests/summary/CMakeLists.txt).
        const QString expected =
            QStringLiteral(QUILLORA_TEST_DATA "/summary/%1/%2.md").arg(QLocale::system().name(), name);
        if (qEnvironmentVariable("TZ") != QLatin1String("America/New_York") || !QFile::exists(expected)) {
            QSKIP("needs TZ=America/New_York and LC_ALL=en_US.UTF-8 or de_DE.UTF-8");
        }
        const FixedCall call = name == QLatin1String("twelve-minutes") ? twelveMinutes() : suggestionsAround();
        const auto path = writeCallArchive(call.lines, call.suggestions, call.notes, call.summary);
        QVERIFY2(path, qPrintable(path.error().message));
        QCOMPARE(*path, QDir(m_folders->documents()).filePath(QStringLiteral("Quillora/") + fileName));
        const QByteArray written = fileBytes(*path);
        QCOMPARE(QString::fromUtf8(written), QString::fromUtf8(fileBytes(expected)));
        QCOMPARE(written, fileBytes(expected));
    }

    void clockChangeDuringCall()
    {
        if (qEnvironmentVariable("TZ") != QLatin1String("America/New_York")) {
            QSKIP("needs TZ=America/New_York");
        }
        // New York's clocks go forward from 2:00 to 3:00 on 8 March 2026, during this call.
        const QDateTime before(QDate(2026, 3, 8), QTime(6, 59, 30), Qt::UTC);
        const QList<TranscriptLine> lines { line(Speaker::them, QStringLiteral("Before"), before),
            line(Speaker::me, QStringLiteral("After"), before.addSecs(60)) };
        const QString text = callArchive::content(
            lines, {}, QString(), QStringLiteral("s"), QLocale(QLocale::English, QLocale::UnitedStates));
        QVERIFY(text.startsWith(QStringLiteral("# Call on 3/8/2026, 1:59 AM\n")));
        QVERIFY(text.contains(QStringLiteral("**1:59:30 AM Other:** Before\n")));
        QVERIFY(text.contains(QStringLiteral("**3:00:30 AM You:** After\n")));
    }

    void layout_data()
    {
        // Events as "seconds after the start|kind|text", kind one of them, me, suggestion, error.
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<QStringList>("order");
        QTest::addColumn<int>("minutes");
        QTest::newRow("59 seconds is 1 minute")
            << QStringList { QStringLiteral("0|them|Hi there"), QStringLiteral("59|me|Bye now") }
            << QStringList { QStringLiteral("Hi there"), QStringLiteral("Bye now") } << 1;
        QTest::newRow("3 minutes 59 seconds is 3 minutes")
            << QStringList { QStringLiteral("0|them|Hi there"), QStringLiteral("239|me|Bye now") }
            << QStringList { QStringLiteral("Hi there"), QStringLiteral("Bye now") } << 3;
        QTest::newRow("suggestion before the first line")
            << QStringList { QStringLiteral("-5|suggestion|Early"), QStringLiteral("0|them|First"),
                   QStringLiteral("10|me|Second") }
            << QStringList { QStringLiteral("Early"), QStringLiteral("First"), QStringLiteral("Second") } << 1;
        QTest::newRow("suggestion at a line's time comes before it")
            << QStringList { QStringLiteral("0|them|First"), QStringLiteral("10|suggestion|Same time"),
                   QStringLiteral("10|me|Second") }
            << QStringList { QStringLiteral("First"), QStringLiteral("Same time"), QStringLiteral("Second") } << 1;
        QTest::newRow("suggestions after the last line close the file")
            << QStringList { QStringLiteral("0|them|First"), QStringLiteral("10|me|Last"),
                   QStringLiteral("20|suggestion|Late"), QStringLiteral("30|suggestion|Later") }
            << QStringList { QStringLiteral("First"), QStringLiteral("Last"), QStringLiteral("Late"),
                   QStringLiteral("Later") }
            << 1;
        QTest::newRow("error suggestion is never written")
            << QStringList { QStringLiteral("0|them|First"), QStringLiteral("5|error|Broken"),
                   QStringLiteral("6|suggestion|Kept"), QStringLiteral("10|me|Second") }
            << QStringList { QStringLiteral("First"), QStringLiteral("Kept"), QStringLiteral("Second") } << 1;
    }

    void layout()
    {
        QFETCH(QStringList, events);
        QFETCH(QStringList, order);
        QFETCH(int, minutes);
        QList<TranscriptLine> lines;
        QList<Suggestion> suggestions;
        for (const QString& event : events) {
            const QStringList parts = event.split(u'|');
            const QDateTime at = callStart.addSecs(parts.at(0).toInt());
            if (parts.at(1) == QLatin1String("them") || parts.at(1) == QLatin1String("me")) {
                lines.append(line(parts.at(1) == QLatin1String("me") ? Speaker::me : Speaker::them, parts.at(2), at));
            } else {
                suggestions.append(suggestion(parts.at(2), at, parts.at(1) == QLatin1String("error")));
            }
        }
        const QString text = callArchive::content(lines, suggestions, QString(), QStringLiteral("S."));
        QVERIFY(
            text.contains(QStringLiteral("\n\nDuration: about %1 min\n\n## Notes\n\nNo notes\n\n## Summary\n\nS.\n\n"
                                         "## Transcript and suggestions\n\n")
                              .arg(minutes)));
        qsizetype at = 0;
        for (const QString& entry : order) {
            const qsizetype found = text.indexOf(u' ' + entry + u'\n', at);
            QVERIFY2(found > at, qPrintable(entry));
            at = found;
        }
        QVERIFY(!text.contains(QStringLiteral("Broken")));
        QCOMPARE(text.count(QStringLiteral(" Suggestion:** ")), order.size() - lines.size());
    }

    void multiLineReplyStaysQuoted()
    {
        const QList<TranscriptLine> lines { line(Speaker::them, QStringLiteral("Question"), callStart),
            line(Speaker::me, QStringLiteral("Answer"), callStart.addSecs(9)) };
        const QList<Suggestion> suggestions { suggestion(QStringLiteral("One\r\nTwo\n\nThree"), callStart.addSecs(5)) };
        const QString text = callArchive::content(lines, suggestions, QStringLiteral("n"), QStringLiteral("s"));
        QVERIFY(text.contains(QStringLiteral(" Suggestion:** One\n> Two\n> \n> Three\n\n**")));
    }

    void sameSecondNeverReplaces()
    {
        const QList<TranscriptLine> lines { line(Speaker::them, QStringLiteral("Hello"), callStart) };
        const QString base = QDir(callArchive::folder()).filePath(callArchive::baseName(callStart));
        QStringList paths;
        for (const QString& summary : { QStringLiteral("first"), QStringLiteral("second"), QStringLiteral("third") }) {
            const auto path = writeCallArchive(lines, {}, QString(), summary);
            QVERIFY2(path, qPrintable(path.error().message));
            paths.append(*path);
        }
        QCOMPARE(paths,
            (QStringList {
                base + QStringLiteral(".md"), base + QStringLiteral(" 2.md"), base + QStringLiteral(" 3.md") }));
        QVERIFY(fileBytes(paths.first()).contains("## Summary\n\nfirst\n"));
        QVERIFY(fileBytes(paths.last()).contains("## Summary\n\nthird\n"));
        QCOMPARE(QDir(callArchive::folder()).entryList(QDir::Files | QDir::Hidden).size(), 3); // no temporary left
    }

    void noLinesWritesNothing()
    {
        const auto path = writeCallArchive({}, {}, QStringLiteral("n"), QStringLiteral("s"));
        QVERIFY(!path);
        QVERIFY(!path.error().message.isEmpty());
        QVERIFY(!QFileInfo::exists(callArchive::folder()));
    }

    void localeFormats_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("date");
        QTest::addColumn<QString>("time");
        QTest::newRow("en_US") << QStringLiteral("en_US") << QStringLiteral("M/d/yyyy") << QStringLiteral("h:mm:ss AP");
        QTest::newRow("de_DE") << QStringLiteral("de_DE") << QStringLiteral("dd.MM.yyyy") << QStringLiteral("HH:mm:ss");
    }

    void localeFormats()
    {
        QFETCH(QString, locale);
        QFETCH(QString, date);
        QFETCH(QString, time);
        QCOMPARE(callArchive::headingDateFormat(QLocale(locale)), date);
        QCOMPARE(callArchive::timeWithSecondsFormat(QLocale(locale)), time);
    }
};

QTEST_GUILESS_MAIN(CallArchiveTest)
#include "CallArchiveTest.moc"
