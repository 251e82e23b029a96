#include "records/Records.h"
#include "common/Dates.h"
#include "common/Uuid.h"

#include <QTest>

namespace {

QDateTime at(int hour, int minute, int second, int ms = 0)
{
    return QDateTime(QDate(2025, 3, 4), QTime(hour, minute, second, ms), Qt::UTC);
}

QString upperId()
{
    return uuid::toText(uuid::create());
}

} // namespace

class RecordsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void linesRoundTrip_data();
    void linesRoundTrip();
    void suggestionsAndQuotesRoundTrip();
    void encodingIsExact();
    void malformedBlobsReadEmpty_data();
    void malformedBlobsReadEmpty();
    void durationMinutes_data();
    void durationMinutes();
    void outcomeValue_data();
    void outcomeValue();
    void kindValue_data();
    void kindValue();
    void quotedCallIDs();
    void templates_data();
    void templates();
};

void RecordsTest::linesRoundTrip_data()
{
    QTest::addColumn<QList<CallLine>>("lines");
    QTest::newRow("none") << QList<CallLine> {};
    QTest::newRow("two speakers") << QList<CallLine> { { true, QStringLiteral("Hello"), at(10, 0, 1, 250) },
        { false, QStringLiteral("Oi, tudo bem?"), at(10, 0, 3, 999) } };
    QTest::newRow("awkward text") << QList<CallLine> {
        { false, QStringLiteral("quote \" backslash \\ newline\n tab\t emoji \U0001F468\u200D\U0001F469 nul-free"),
            at(23, 59, 59, 1) },
        { true, QString(), dates::fromReferenceSeconds(-5.5) }
    };
}

void RecordsTest::linesRoundTrip()
{
    QFETCH(QList<CallLine>, lines);
    const QByteArray encoded = blob::encodeLines(lines);
    QCOMPARE(blob::decodeLines(encoded), lines);
    Call call;
    call.linesData = encoded;
    QCOMPARE(call.lines(), lines);
}

void RecordsTest::suggestionsAndQuotesRoundTrip()
{
    const QList<CallSuggestion> suggestions { { QStringLiteral("Say yes."), at(9, 1, 2, 3) },
        { QStringLiteral("Ask about \"scope\"."), at(9, 5, 0) } };
    QCOMPARE(blob::decodeSuggestions(blob::encodeSuggestions(suggestions)), suggestions);
    QCOMPARE(blob::decodeSuggestions(blob::encodeSuggestions({})), QList<CallSuggestion> {});

    const QList<ProposalQuote> quotes { { upperId(), QStringLiteral("we ship on Fridays") },
        { QStringLiteral("not-an-id"), QStringLiteral("ação") } };
    QCOMPARE(blob::decodeQuotes(blob::encodeQuotes(quotes)), quotes);
    QCOMPARE(blob::encodeLines({}), QByteArray("[]"));
}

void RecordsTest::encodingIsExact()
{
    // Compact UTF-8 JSON with exactly the agreed keys and reference-date seconds: the other process reads this.
    QCOMPARE(blob::encodeLines({ { true, QStringLiteral("é"), dates::fromReferenceSeconds(1.5) } }),
        QByteArray("[{\"date\":1.5,\"fromMe\":true,\"text\":\"\xc3\xa9\"}]"));
    QCOMPARE(blob::encodeQuotes({ { QStringLiteral("A"), QStringLiteral("b") } }),
        QByteArray(R"([{"callID":"A","text":"b"}])"));
    const QByteArray encoded = blob::encodeSuggestions(
        { { QStringLiteral("x"), QDateTime(QDate(2001, 1, 1), QTime(0, 1, 0, 500), Qt::UTC) } });
    QCOMPARE(encoded, QByteArray(R"([{"date":60.5,"text":"x"}])"));
}

void RecordsTest::malformedBlobsReadEmpty_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::newRow("zero bytes") << QByteArray();
    QTest::newRow("object instead of array") << QByteArray(R"({"fromMe":true,"text":"a","date":1,"callID":"c"})");
    QTest::newRow("truncated") << QByteArray(R"([{"fromMe":true,"text":"a","date":1)");
    QTest::newRow("missing key") << QByteArray(R"([{"fromMe":true,"date":1}])");
    QTest::newRow("wrong type") << QByteArray(R"([{"fromMe":"yes","text":1,"date":"x","callID":2}])");
    QTest::newRow("one bad element of two")
        << QByteArray(R"([{"fromMe":true,"text":"a","date":1,"callID":"c"},{"fromMe":true}])");
    QTest::newRow("not utf-8") << QByteArray("[{\"text\":\"\xe9\"}]");
}

void RecordsTest::malformedBlobsReadEmpty()
{
    QFETCH(QByteArray, data);
    QVERIFY(blob::decodeLines(data).isEmpty());
    QVERIFY(blob::decodeSuggestions(data).isEmpty());
    QVERIFY(blob::decodeQuotes(data).isEmpty());
}

void RecordsTest::durationMinutes_data()
{
    QTest::addColumn<QDateTime>("start");
    QTest::addColumn<QDateTime>("end");
    QTest::addColumn<qint64>("minutes");
    QTest::newRow("30 s") << at(10, 0, 0) << at(10, 0, 30) << qint64(1);
    QTest::newRow("119 s") << at(10, 0, 0) << at(10, 1, 59) << qint64(1);
    QTest::newRow("120 s") << at(10, 0, 0) << at(10, 2, 0) << qint64(2);
    QTest::newRow("end before start") << at(10, 5, 0) << at(10, 0, 0) << qint64(1);
    QTest::newRow("one hour and a bit") << at(10, 0, 0) << at(11, 0, 45) << qint64(60);
    QTest::newRow("across a zone offset") << at(10, 0, 0) << at(10, 3, 0).toOffsetFromUtc(-3 * 3600) << qint64(3);
}

void RecordsTest::durationMinutes()
{
    QFETCH(QDateTime, start);
    QFETCH(QDateTime, end);
    QFETCH(qint64, minutes);
    Call call;
    call.startedAt = start;
    call.endedAt = end;
    QCOMPARE(call.durationMinutes(), minutes);
}

void RecordsTest::outcomeValue_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<CallOutcome>("value");
    QTest::newRow("empty") << QString() << CallOutcome::none;
    QTest::newRow("positive") << QStringLiteral("positive") << CallOutcome::positive;
    QTest::newRow("negative") << QStringLiteral("negative") << CallOutcome::negative;
    QTest::newRow("other case") << QStringLiteral("Positive") << CallOutcome::none;
    QTest::newRow("the word none") << QStringLiteral("none") << CallOutcome::none;
}

void RecordsTest::outcomeValue()
{
    QFETCH(QString, stored);
    QFETCH(CallOutcome, value);
    Call call;
    call.outcome = stored;
    QCOMPARE(call.outcomeValue(), value);
    if (value != CallOutcome::none || stored.isEmpty()) {
        QCOMPARE(callOutcome::rawText(value), stored);
    }
}

void RecordsTest::kindValue_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<ProposalKind>("value");
    QTest::newRow("newQA") << QStringLiteral("newQA") << ProposalKind::newQA;
    QTest::newRow("instruction") << QStringLiteral("instruction") << ProposalKind::instruction;
    QTest::newRow("other case") << QStringLiteral("Style") << ProposalKind::newQA;
    QTest::newRow("empty") << QString() << ProposalKind::newQA;
}

void RecordsTest::kindValue()
{
    QFETCH(QString, stored);
    QFETCH(ProposalKind, value);
    Proposal proposal;
    proposal.kind = stored;
    QCOMPARE(proposal.kindValue(), value);
    QCOMPARE(proposalKind::parseStrict(stored).has_value(), proposalKind::rawText(value) == stored);
}

void RecordsTest::quotedCallIDs()
{
    const QUuid first = uuid::create();
    const QUuid second = uuid::create();
    Proposal proposal;
    proposal.quotesData = blob::encodeQuotes({
        { uuid::toText(second), QStringLiteral("a") },
        { QStringLiteral("not a uuid"), QStringLiteral("b") },
        { uuid::toText(first).toLower(), QStringLiteral("c") }, // either case names the same call
        { uuid::toText(second), QStringLiteral("d") },
        { QStringLiteral("{") + uuid::toText(first) + QStringLiteral("}"), QStringLiteral("e") },
        { uuid::toText(first), QStringLiteral("f") },
    });
    QCOMPARE(proposal.quotedCallIDs(), (QList<QUuid> { second, first }));
}

void RecordsTest::templates_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("instructionLength");
    QTest::addColumn<QStringList>("stages");
    const auto stages = [](const char* list) { return QString::fromUtf8(list).split(u'|', Qt::SkipEmptyParts); };
    QTest::newRow("interview")
        << QStringLiteral("interview") << QStringLiteral("Interview") << 162
        << stages("Applied|Screening|First interview|Technical interview|Final interview|Offer|Rejected");
    QTest::newRow("projects") << QStringLiteral("projects") << QStringLiteral("Projects") << -1
                              << stages("Proposal|In progress|Delivered|Paused");
    QTest::newRow("prospecting") << QStringLiteral("prospecting") << QStringLiteral("Prospecting") << -1
                                 << stages("New|Qualified|Meeting|Proposal sent|Won|Lost");
    QTest::newRow("blank") << QStringLiteral("blank") << QStringLiteral("Blank") << 0 << QStringList {};
    QTest::newRow("unknown text") << QStringLiteral("Interview") << QString() << 0 << QStringList {};
    QTest::newRow("empty text") << QString() << QString() << 0 << QStringList {};
}

void RecordsTest::templates()
{
    QFETCH(QString, stored);
    QFETCH(QString, title);
    QFETCH(int, instructionLength);
    QFETCH(QStringList, stages);

    Assistant assistant;
    assistant.templateText = stored;
    QCOMPARE(assistant.stages(), stages);
    const auto value = assistant.templateValue();
    QCOMPARE(value.has_value(), !title.isEmpty());
    if (!value) {
        return;
    }
    QCOMPARE(assistantTemplate::rawText(*value), stored);
    QCOMPARE(assistantTemplate::title(*value), title);
    QCOMPARE(assistantTemplate::stages(*value), stages);
    const Assistant made = Assistant::make(QStringLiteral("A"), *value);
    QCOMPARE(made.templateText, stored);
    QCOMPARE(made.instructions, assistantTemplate::defaultInstructions(*value));
    if (instructionLength >= 0) {
        QCOMPARE(made.instructions.size(), instructionLength);
    } else {
        QVERIFY(!made.instructions.isEmpty());
    }
}

QTEST_GUILESS_MAIN(RecordsTest)
#include "RecordsTest.moc"
