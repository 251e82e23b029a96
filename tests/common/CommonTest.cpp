#include "common/Dates.h"
#include "common/Text.h"
#include "common/Uuid.h"

#include <QTest>

#include <algorithm>
#include <ctime>

namespace {

// A time zone given as a POSIX rule (no DST, no tz database needed), set for this process.
void useTimeZone(const char* rule)
{
    qputenv("TZ", rule);
    tzset();
}

} // namespace

class CommonTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void normalizedWords_data();
    void normalizedWords();
    void foldDiacritics_data();
    void foldDiacritics();
    void graphemes_data();
    void graphemes();
    void spacesTabsAndLetters_data();
    void spacesTabsAndLetters();
    void uuidParse_data();
    void uuidParse();
    void referenceSeconds_data();
    void referenceSeconds();
    void referenceSecondsNotFinite();
    void isoText_data();
    void isoText();
    void cleanupTestCase();

private:
    QByteArray m_savedTimeZone = qgetenv("TZ");
};

void CommonTest::normalizedWords_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QStringList>("words");

    QTest::newRow("accents folded") << QStringLiteral(
        "Ação, É ótimo!") << QStringList { QStringLiteral("acao"), QStringLiteral("e"), QStringLiteral("otimo") };
    QTest::newRow("combining mark typed separately")
        << QStringLiteral("cafe\u0301 ok") << QStringList { QStringLiteral("cafe"), QStringLiteral("ok") };
    QTest::newRow("typographic apostrophe splits") << QStringLiteral(
        "Don\u2019t stop") << QStringList { QStringLiteral("don"), QStringLiteral("t"), QStringLiteral("stop") };
    QTest::newRow("digits are word characters")
        << QStringLiteral("Room 42b, at 7:30")
        << QStringList { QStringLiteral("room"), QStringLiteral("42b"), QStringLiteral("at"), QStringLiteral("7"),
               QStringLiteral("30") };
    QTest::newRow("letter outside the BMP")
        << QStringLiteral("\U0001D400bc d") << QStringList { QStringLiteral("\U0001D400bc"), QStringLiteral("d") };
    QTest::newRow("only punctuation") << QStringLiteral(" ?!… -- ") << QStringList {};
}

void CommonTest::normalizedWords()
{
    QFETCH(QString, input);
    QFETCH(QStringList, words);
    QCOMPARE(text::normalizedWords(input), words);
}

void CommonTest::foldDiacritics_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("folded");
    QTest::newRow("case kept") << QStringLiteral("Ação É") << QStringLiteral("Acao E");
    QTest::newRow("decomposed input") << QStringLiteral("n\u0303") << QStringLiteral("n");
}

void CommonTest::foldDiacritics()
{
    QFETCH(QString, input);
    QFETCH(QString, folded);
    QCOMPARE(text::foldDiacritics(input), folded);
}

void CommonTest::graphemes_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<qsizetype>("count");
    QTest::addColumn<qsizetype>("prefixLength");
    QTest::addColumn<QString>("prefix");

    const QString family = QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467");
    QTest::newRow("empty") << QString() << qsizetype(0) << qsizetype(3) << QString();
    QTest::newRow("zwj family is one") << (family + QStringLiteral("x")) << qsizetype(2) << qsizetype(1) << family;
    QTest::newRow("flag is one") << QStringLiteral("\U0001F1E7\U0001F1F7!") << qsizetype(2) << qsizetype(1)
                                 << QStringLiteral("\U0001F1E7\U0001F1F7");
    QTest::newRow("combining marks stay with their base")
        << QStringLiteral("e\u0301\u0323xy") << qsizetype(3) << qsizetype(1) << QStringLiteral("e\u0301\u0323");
    QTest::newRow("prefix longer than text")
        << QStringLiteral("ab") << qsizetype(2) << qsizetype(10) << QStringLiteral("ab");
}

void CommonTest::graphemes()
{
    QFETCH(QString, input);
    QFETCH(qsizetype, count);
    QFETCH(qsizetype, prefixLength);
    QFETCH(QString, prefix);
    QCOMPARE(text::graphemeCount(input), count);
    QCOMPARE(text::graphemePrefix(input, prefixLength), prefix);
    // The suffix is what the prefix leaves over.
    const qsizetype rest = std::max<qsizetype>(0, count - prefixLength);
    QCOMPARE(text::graphemeSuffix(input, rest), input.mid(prefix.size()));
}

void CommonTest::spacesTabsAndLetters_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("trimmed");
    QTest::addColumn<bool>("letterOrDigit");
    QTest::addColumn<qsizetype>("words");
    QTest::newRow("spaces and tabs") << QStringLiteral(" \t a b\t ") << QStringLiteral("a b") << true << qsizetype(2);
    QTest::newRow("line breaks kept") << QStringLiteral("\n \n") << QStringLiteral("\n \n") << false << qsizetype(0);
    QTest::newRow("punctuation only") << QStringLiteral("?! ...") << QStringLiteral("?! ...") << false << qsizetype(2);
    QTest::newRow("digit") << QStringLiteral("\t7") << QStringLiteral("7") << true << qsizetype(1);
    QTest::newRow("letter outside the BMP")
        << QStringLiteral("\U0001D400") << QStringLiteral("\U0001D400") << true << qsizetype(1);
}

void CommonTest::spacesTabsAndLetters()
{
    QFETCH(QString, input);
    QFETCH(QString, trimmed);
    QFETCH(bool, letterOrDigit);
    QFETCH(qsizetype, words);
    QCOMPARE(text::trimSpacesAndTabs(input), trimmed);
    QCOMPARE(text::hasLetterOrDigit(input), letterOrDigit);
    QCOMPARE(text::wordCount(input), words);
}

void CommonTest::uuidParse_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("canonical"); // empty: refused

    const QString upper = QStringLiteral("6F9619FF-8B86-D011-B42D-00C04FC964FF");
    QTest::newRow("upper case") << upper << upper;
    QTest::newRow("lower case") << upper.toLower() << upper;
    QTest::newRow("braces") << (QStringLiteral("{") + upper + QStringLiteral("}")) << QString();
    QTest::newRow("no dashes") << QString(upper).remove(u'-') << QString();
    QTest::newRow("trailing space") << (upper.left(35) + QStringLiteral(" ")) << QString();
}

void CommonTest::uuidParse()
{
    QFETCH(QString, input);
    QFETCH(QString, canonical);
    const auto parsed = uuid::parse(input);
    if (canonical.isEmpty()) {
        QVERIFY(!parsed);
        return;
    }
    QVERIFY(parsed);
    QCOMPARE(uuid::toText(*parsed), canonical);
}

void CommonTest::referenceSeconds_data()
{
    QTest::addColumn<double>("seconds");
    QTest::addColumn<QDateTime>("instant");
    QTest::newRow("60.5 s") << 60.5 << QDateTime(QDate(2001, 1, 1), QTime(0, 1, 0, 500), Qt::UTC);
    QTest::newRow("before 2001") << -86400.25
                                 << QDateTime(QDate(2000, 12, 31), QTime(0, 0, 0, 0), Qt::UTC).addMSecs(-250);
    QTest::newRow("2025") << 762786429.125 << QDateTime(QDate(2025, 3, 4), QTime(13, 7, 9, 125), Qt::UTC);
}

void CommonTest::referenceSeconds()
{
    QFETCH(double, seconds);
    QFETCH(QDateTime, instant);
    QCOMPARE(dates::fromReferenceSeconds(seconds), instant);
    QCOMPARE(dates::toReferenceSeconds(instant), seconds);
    // The zone of the date does not change the number.
    QCOMPARE(dates::toReferenceSeconds(instant.toOffsetFromUtc(5 * 3600)), seconds);
}

void CommonTest::referenceSecondsNotFinite()
{
    const QDateTime reference(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);
    QCOMPARE(dates::fromReferenceSeconds(std::numeric_limits<double>::quiet_NaN()), reference);
    QCOMPARE(dates::fromReferenceSeconds(std::numeric_limits<double>::infinity()), reference);
    // Absurd finite numbers (from a blob or a peer) stay valid dates on the right side.
    const QDateTime far = dates::fromReferenceSeconds(1e300);
    QVERIFY(far.isValid());
    QVERIFY(far > QDateTime(QDate(9999, 12, 31), QTime(0, 0), Qt::UTC));
    const QDateTime early = dates::fromReferenceSeconds(-1e300);
    QVERIFY(early.isValid());
    QVERIFY(early < QDateTime(QDate(-9999, 1, 1), QTime(0, 0), Qt::UTC));
}

void CommonTest::isoText_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QString>("text");
    QTest::newRow("one hour east") << QByteArray("CET-1") << QStringLiteral("2025-03-04T15:07:09+01:00");
    QTest::newRow("three hours west") << QByteArray("BRT3") << QStringLiteral("2025-03-04T11:07:09-03:00");
    QTest::newRow("utc") << QByteArray("UTC0") << QStringLiteral("2025-03-04T14:07:09Z");
}

void CommonTest::isoText()
{
    QFETCH(QByteArray, zone);
    QFETCH(QString, text);
    useTimeZone(zone.constData());
    const QDateTime instant(QDate(2025, 3, 4), QTime(14, 7, 9, 420), Qt::UTC);
    QCOMPARE(dates::isoText(instant), text);
    QCOMPARE(dates::isoText(instant.toLocalTime()), text);
}

void CommonTest::cleanupTestCase()
{
    if (m_savedTimeZone.isNull()) {
        qunsetenv("TZ");
    } else {
        qputenv("TZ", m_savedTimeZone);
    }
    tzset();
}

QTEST_GUILESS_MAIN(CommonTest)
#include "CommonTest.moc"
