#include "summary/CallArchive.h"
#include "common/Uuid.h"
#include "fakes/UserFolders.h"
#include "store/StoreTesting.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <memory>

namespace {

const QDateTime callStart(QDate(2026, 12, 5), QTime(23, 17, 5), Qt::UTC); // 6:17:05 PM in New York

TranscriptLine line(Speaker speaker, const QString& text, int seconds)
{
    return TranscriptLine { uuid::create(), speaker, text, callStart.addSecs(seconds) };
}

Suggestion suggestion(const QString& response, int seconds, bool isError = false)
{
    return Suggestion { uuid::create(), callStart.addSecs(seconds), QString(), response, isError };
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
        QTest::addColumn<QList<TranscriptLine>>("lines");
        QTest::addColumn<QList<Suggestion>>("suggestions");
        QTest::addColumn<QString>("notes");
        QTest::addColumn<QString>("summary");
        QTest::addColumn<QString>("fileName");
        // An interview of 12 minutes 36 seconds, written as 12; its error suggestion is left out.
        QTest::newRow("twelve-minutes")
            << QList { line(Speaker::them, QStringLiteral("Tell me about your last project"), 0),
                   line(Speaker::me, QStringLiteral("Sure. The last project I led was a migration."), 7),
                   line(Speaker::them, QStringLiteral("Thanks, that is all for today."), 12 * 60 + 36) }
            << QList { suggestion(QStringLiteral("The last project I led was [ … ]."), 4),
                   suggestion(QStringLiteral("Add an API key in Settings (Ctrl+,)."), 20, true) }
            << QStringLiteral("Assistant: Interviews\nContext: Acme\nFiles: resume, brief")
            << QStringLiteral("Summary: The interviewer asked about recent projects.")
            << QStringLiteral("2026-12-05 18.17.05.md");
        // 40 seconds, written as 1 minute; suggestions before the first line, at a line's time, over two
        // lines and after the last; no notes.
        QTest::newRow("suggestions-around")
            << QList { line(Speaker::me, QStringLiteral("Ação rápida agora, por favor"), 3600),
                   line(Speaker::them, QStringLiteral("Claro, já começo"), 3640) }
            << QList { suggestion(QStringLiteral("Comece pelo prazo."), 3597),
                   suggestion(QStringLiteral("Primeiro o prazo.\nDepois o custo."), 3640),
                   suggestion(QStringLiteral("Agradeça."), 3650) }
            << QString() << QStringLiteral("Short call: no summary.") << QStringLiteral("2026-12-05 19.17.05.md");
    }

    void golden()
    {
        QFETCH(QList<TranscriptLine>, lines);
        QFETCH(QList<Suggestion>, suggestions);
        QFETCH(QString, notes);
        QFETCH(QString, summary);
        QFETCH(QString, fileName);
        // The row's name is the golden file's. Run by ctest under en_US and de_DE in New York's time zone
        // (tests/summary/CMakeLists.txt).
        const QString expected = QStringLiteral(QUILLORA_TEST_DATA "/summary/%1/%2.md")
                                     .arg(QLocale::system().name(), QLatin1String(QTest::currentDataTag()));
        if (qEnvironmentVariable("TZ") != QLatin1String("America/New_York") || !QFile::exists(expected)) {
            QSKIP("needs TZ=America/New_York and LC_ALL=en_US.UTF-8 or de_DE.UTF-8");
        }
        const auto path = writeCallArchive(lines, suggestions, notes, summary);
        QVERIFY2(path, qPrintable(path.error().message));
        QCOMPARE(*path, m_folders->documents() + QStringLiteral("/Quillora/") + fileName);
        QCOMPARE(
            QString::fromUtf8(storeTesting::fileBytes(*path)), QString::fromUtf8(storeTesting::fileBytes(expected)));
    }

    void timeWithSeconds_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("format");
        QTest::newRow("zone after a space") << QStringLiteral("en_US") << QStringLiteral("h:mm:ss AP");
        QTest::newRow("zone in brackets") << QStringLiteral("eu_ES") << QStringLiteral("HH:mm:ss");
        QTest::newRow("zone after a comma") << QStringLiteral("be_BY") << QStringLiteral("HH:mm:ss");
        QTest::newRow("zone first") << QStringLiteral("zh_HK") << QStringLiteral("APh:mm:ss");
        QTest::newRow("quoted letters stay") << QStringLiteral("fr_CA") << QStringLiteral("HH 'h' mm 'min' ss 's'");
    }

    void timeWithSeconds()
    {
        QFETCH(QString, locale);
        QFETCH(QString, format);
        QCOMPARE(callArchive::timeWithSecondsFormat(QLocale(locale)), format);
    }

    void clockChangeDuringCall()
    {
        if (qEnvironmentVariable("TZ") != QLatin1String("America/New_York")) {
            QSKIP("needs TZ=America/New_York");
        }
        // New York's clocks go forward from 2:00 to 3:00 on 8 March 2026, during this call.
        const QDateTime before(QDate(2026, 3, 8), QTime(6, 59, 30), Qt::UTC);
        const QList<TranscriptLine> lines { { uuid::create(), Speaker::them, QStringLiteral("Before"), before },
            { uuid::create(), Speaker::me, QStringLiteral("After"), before.addSecs(60) } };
        const QString text = callArchive::content(
            lines, {}, QString(), QStringLiteral("s"), QLocale(QLocale::English, QLocale::UnitedStates));
        QVERIFY(text.startsWith(QStringLiteral("# Call on 3/8/2026, 1:59 AM\n")));
        QVERIFY(text.contains(QStringLiteral("**1:59:30 AM Other:** Before\n")));
        QVERIFY(text.contains(QStringLiteral("**3:00:30 AM You:** After\n")));
    }

    void sameSecondNeverReplaces()
    {
        QVERIFY(!writeCallArchive({}, {}, QString(), QString())); // no lines: nothing written
        QVERIFY(!QFileInfo::exists(callArchive::folder()));
        const QList lines { line(Speaker::them, QStringLiteral("Hello"), 0) };
        const QString base = QDir(callArchive::folder()).filePath(callArchive::baseName(callStart));
        QStringList paths;
        for (const QString& summary : { QStringLiteral("first"), QStringLiteral("second"), QStringLiteral("third") }) {
            paths.append(writeCallArchive(lines, {}, QString(), summary).value_or(QString()));
        }
        QCOMPARE(paths,
            (QStringList {
                base + QStringLiteral(".md"), base + QStringLiteral(" 2.md"), base + QStringLiteral(" 3.md") }));
        QVERIFY(storeTesting::fileBytes(paths.first()).contains("## Summary\n\nfirst\n"));
        QCOMPARE(QDir(callArchive::folder()).entryList(QDir::Files | QDir::Hidden).size(), 3); // no temporary left
    }
};

QTEST_GUILESS_MAIN(CallArchiveTest)
#include "CallArchiveTest.moc"
