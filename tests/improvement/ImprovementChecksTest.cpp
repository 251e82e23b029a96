#include "common/Uuid.h"
#include "fakes/Golden.h"
#include "improvement/Improvement.h"
#include "improvement/QuoteCheck.h"

#include <QLocale>
#include <QTest>

using namespace improvement;

namespace {

const QDateTime nine(QDate(2026, 3, 4), QTime(9, 0), Qt::UTC);

// Lines of the user (true) and the other person (false).
QList<CallLine> transcript()
{
    return {
        { false, QStringLiteral("Can you tell me about your experience?"), nine },
        { true, QStringLiteral("Yes, I worked at Acme for three years."), nine },
        { true, QStringLiteral("Of course."), nine },
        { false, QStringLiteral("Well... I think so"), nine },
        { true, QStringLiteral("I led the team. We shipped weekly, every Friday."), nine },
        { false, QStringLiteral("Você trabalhou com São Paulo?"), nine },
    };
}

Call makeCall(const QList<CallLine>& lines)
{
    Call call;
    call.id = uuid::create();
    call.startedAt = nine;
    call.endedAt = nine.addSecs(600);
    call.linesData = blob::encodeLines(lines);
    call.suggestionsData = blob::encodeSuggestions({});
    return call;
}

ProposalDraft draft(ProposalKind kind, const QString& question, const QString& text, const QList<ProposalQuote>& quotes,
    const QString& target = QString())
{
    return ProposalDraft { kind, question, QStringLiteral("An answer"), QStringLiteral("en"), target, text,
        QStringLiteral("Helps."), quotes };
}

// Expected texts: tests/data/prompts/improvement.txt, by name.
const QHash<QString, QString>& golden()
{
    static const QHash<QString, QString> sections = goldenSections(QStringLiteral("prompts/improvement.txt"));
    return sections;
}

} // namespace

Q_DECLARE_METATYPE(QList<ProposalDraft>)
Q_DECLARE_METATYPE(QList<qint64>)

class ImprovementChecksTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void normalizeQuote_data();
    void normalizeQuote();
    void verifyQuote_data();
    void verifyQuote();
    void validate_data();
    void validate();
    void decodeReply_data();
    void decodeReply();
    void decodeMergeReply();
    void rebuild_data();
    void rebuild();
    void schemas();
    void messages();
};

void ImprovementChecksTest::normalizeQuote_data()
{
    QTest::addColumn<QString>("quote");
    QTest::addColumn<QString>("normalized");
    QTest::newRow("curly quotes, case, spaces, label")
        << QStringLiteral("  \u201CYou:  It\u2019s   FINE\n now\u201D ") << QStringLiteral("it's fine now");
    QTest::newRow("guillemets and the other person's label")
        << QStringLiteral("\u00ABOther person: Sim\u00BB") << QStringLiteral("sim");
    QTest::newRow("Portuguese label") << QStringLiteral("Outra pessoa: tudo bem") << QStringLiteral("tudo bem");
    QTest::newRow("each label at most once, in order") << QStringLiteral("you: you: hi") << QStringLiteral("you: hi");
}

void ImprovementChecksTest::normalizeQuote()
{
    QFETCH(QString, quote);
    QFETCH(QString, normalized);
    QCOMPARE(improvement::normalizeQuote(quote), normalized);
}

void ImprovementChecksTest::verifyQuote_data()
{
    QTest::addColumn<QString>("quote");
    QTest::addColumn<bool>("passes");
    QTest::newRow("label, case, curly quotes and punctuation")
        << QStringLiteral("you: \u201Cyes I worked at ACME for three years\u201D") << true;
    QTest::newRow("near miss by one word") << QStringLiteral("Yes, I worked at Acme for four years.") << false;
    QTest::newRow("run of three words inside a line") << QStringLiteral("worked at Acme") << true;
    QTest::newRow("two words inside a longer line") << QStringLiteral("three years") << false;
    QTest::newRow("two words forming a whole line") << QStringLiteral("of course") << true;
    QTest::newRow("fragments of one line")
        << QStringLiteral("I led the team\u2026 shipped weekly, every Friday") << true;
    QTest::newRow("fragment of two words inside a line")
        << QStringLiteral("I led the team\u2026 every Friday") << false;
    QTest::newRow("fragments of two lines of the user")
        << QStringLiteral("I worked at Acme ... We shipped weekly") << true;
    QTest::newRow("fragments of two speakers")
        << QStringLiteral("tell me about your experience ... I worked at Acme") << false;
    QTest::newRow("line that holds \"...\" itself") << QStringLiteral("Well... I think so") << true;
    QTest::newRow("line that holds \"...\", quoted with \u2026") << QStringLiteral("Well\u2026 I think so") << true;
    QTest::newRow("diacritics kept") << QStringLiteral("voce trabalhou com sao paulo") << false;
    QTest::newRow("decomposed accents") << QStringLiteral("Vo\u0063\u0327e\u0302 trabalhou com Sa\u0303o Paulo")
                                        << false; // "ç" stays "ç": "voçê" is not "você"
    QTest::newRow("composed and decomposed alike")
        << QStringLiteral("Voce\u0302 trabalhou com Sa\u0303o Paulo") << true;
    QTest::newRow("only an ellipsis") << QStringLiteral("...") << false;
    QTest::newRow("empty") << QString() << false;
}

void ImprovementChecksTest::verifyQuote()
{
    QFETCH(QString, quote);
    QFETCH(bool, passes);
    QCOMPARE(improvement::verifyQuote(quote, prepareLines(transcript())), passes);
}

// Fixed ids, so that the rows and the test function name the same records.
const QString callText = QStringLiteral("0A1B2C3D-0000-4000-8000-000000000001");
const QString otherCallText = QStringLiteral("0A1B2C3D-0000-4000-8000-000000000002");
const QString bankItemText = QStringLiteral("6F1A2B3C-0000-4000-8000-00000000000A");

void ImprovementChecksTest::validate_data()
{
    QTest::addColumn<QList<ProposalDraft>>("drafts");
    QTest::addColumn<QList<ProposalDraft>>("valid");
    const ProposalQuote said { callText.toLower(), QStringLiteral("I worked at Acme for three years") };
    const ProposalQuote unsaid { callText, QStringLiteral("I worked at Acme for four years") };
    const ProposalQuote elsewhere { otherCallText, QStringLiteral("Something else entirely here") };
    const ProposalQuote unknownCall { uuid::toText(uuid::create()), QStringLiteral("Of course") };

    QTest::newRow("failing quote dropped, lower-case call id found")
        << QList { draft(ProposalKind::newQA, QStringLiteral("Experience?"), QString(), { unsaid, said }) }
        << QList { draft(ProposalKind::newQA, QStringLiteral("Experience?"), QString(), { said }) };
    QTest::newRow("quote naming another call of the run, or no call")
        << QList { draft(ProposalKind::style, QString(), QStringLiteral("Short"), { elsewhere, unknownCall }) }
        << QList<ProposalDraft>();
    QTest::newRow("editQA of an unknown item becomes newQA")
        << QList { draft(ProposalKind::editQA, QStringLiteral("Q"), QString(), { said }, uuid::toText(uuid::create())) }
        << QList { draft(ProposalKind::newQA, QStringLiteral("Q"), QString(), { said }) };
    QTest::newRow("editQA target in lower case still names its item")
        << QList { draft(ProposalKind::editQA, QStringLiteral("Q"), QString(), { said }, bankItemText.toLower()) }
        << QList { draft(ProposalKind::editQA, QStringLiteral("Q"), QString(), { said }, bankItemText.toLower()) };
    QTest::newRow("blank question, blank text")
        << QList { draft(ProposalKind::newQA, QStringLiteral(" \n"), QString(), { said }),
               draft(ProposalKind::instruction, QString(), QStringLiteral("\t"), { said }),
               draft(ProposalKind::style, QString(), QStringLiteral(" Brief "), { said }) }
        << QList { draft(ProposalKind::style, QString(), QStringLiteral(" Brief "), { said }) };
}

void ImprovementChecksTest::validate()
{
    QFETCH(QList<ProposalDraft>, drafts);
    QFETCH(QList<ProposalDraft>, valid);
    // The other call is in the store but not among this check's calls.
    Call call = makeCall(transcript());
    call.id = *uuid::parse(callText);
    QAItem item = QAItem::make(QStringLiteral("Q"), QStringLiteral("A"), QString(), QStringLiteral("manual"));
    item.id = *uuid::parse(bankItemText);
    QStringList logged;
    QCOMPARE(
        improvement::validate(drafts, { call }, { item }, [&](const QString& text) { logged.append(text); }), valid);
    for (const QString& line : logged) {
        QVERIFY(line.startsWith(QLatin1String("quote dropped: ")));
    }
}

void ImprovementChecksTest::decodeReply_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QString>("error"); // empty: decodes
    const QString item = QStringLiteral(R"({"kind":"%1","question":"Q","answer":"","language":"en","targetQA":"",)"
                                        R"("text":"","reason":"R","quotes":[{"callID":"c","text":"t"}]})");
    QTest::newRow("valid") << QStringLiteral(R"({"proposals":[%1]})").arg(item.arg(QStringLiteral("newQA")))
                           << QString();
    QTest::newRow("empty list") << QStringLiteral(R"({"proposals":[]})") << QString();
    QTest::newRow("not JSON") << QStringLiteral("Sure! Here are my ideas")
                              << QStringLiteral("the reply is not valid JSON");
    QTest::newRow("no reply text") << QString() << QStringLiteral("the reply is not valid JSON");
    QTest::newRow("no proposals") << QStringLiteral(R"({"ideas":[]})")
                                  << QStringLiteral("the reply has no list \"proposals\"");
    QTest::newRow("wrong kind") << QStringLiteral(R"({"proposals":[%1]})").arg(item.arg(QStringLiteral("NewQA")))
                                << QStringLiteral("proposal 1 has the unknown kind \"NewQA\"");
    QTest::newRow("missing field") << QStringLiteral(
        R"({"proposals":[{"kind":"style","question":"","answer":"","language":"",)"
        R"("targetQA":"","text":"T","quotes":[]}]})")
                                   << QStringLiteral("proposal 1 has no text \"reason\"");
    QTest::newRow("quote without text")
        << QStringLiteral(R"({"proposals":[%1]})")
               .arg(item.arg(QStringLiteral("style")).replace(QStringLiteral(R"(,"text":"t")"), QString()))
        << QStringLiteral("proposal 1 has a quote without text \"callID\" and \"text\"");
}

void ImprovementChecksTest::decodeReply()
{
    QFETCH(QString, reply);
    QFETCH(QString, error);
    const auto decoded = improvement::decodeReply(reply);
    if (error.isEmpty()) {
        QVERIFY(decoded);
    } else {
        QVERIFY(!decoded);
        QVERIFY2(decoded.error().message.startsWith(error), qPrintable(decoded.error().message));
    }
}

void ImprovementChecksTest::decodeMergeReply()
{
    const auto decoded = improvement::decodeMergeReply(
        QStringLiteral(R"({"proposals":[{"kind":"editQA","question":"Q","answer":"A","language":"pt",)"
                       R"("targetQA":"T","text":"","reason":"R","sources":[2,0]}]})"));
    QVERIFY(decoded);
    QCOMPARE(decoded->proposals.size(), 1);
    QCOMPARE(decoded->proposals[0],
        (MergeItem { ProposalKind::editQA, QStringLiteral("Q"), QStringLiteral("A"), QStringLiteral("pt"),
            QStringLiteral("T"), QString(), QStringLiteral("R"), { 2, 0 } }));
    const auto fractional = improvement::decodeMergeReply(
        QStringLiteral(R"({"proposals":[{"kind":"style","question":"","answer":"","language":"",)"
                       R"("targetQA":"","text":"T","reason":"R","sources":[1.5]}]})"));
    QVERIFY(!fractional);
    QVERIFY(!improvement::decodeMergeReply(QStringLiteral(
        R"({"proposals":[{"kind":"style","question":"","answer":"","language":"","targetQA":"","text":"T","reason":"R"}]})")));
}

void ImprovementChecksTest::rebuild_data()
{
    QTest::addColumn<QList<qint64>>("sources");
    QTest::addColumn<QStringList>("quotes"); // empty: the item is dropped
    QTest::newRow("repeats collected once, in order") << QList<qint64> { 2, 2,
        0 } << QStringList { QStringLiteral("c"), QStringLiteral("shared"), QStringLiteral("a") };
    QTest::newRow("index out of range") << QList<qint64> { 7 } << QStringList();
    QTest::newRow("negative index ignored") << QList<qint64> { -1, 1 } << QStringList { QStringLiteral("b") };
    QTest::newRow("no sources") << QList<qint64>() << QStringList();
}

void ImprovementChecksTest::rebuild()
{
    QFETCH(QList<qint64>, sources);
    QFETCH(QStringList, quotes);
    const auto quote = [](const char* text) {
        return ProposalQuote { QStringLiteral("call"), QString::fromUtf8(text) };
    };
    const QList<ProposalDraft> candidates {
        draft(ProposalKind::style, QString(), QStringLiteral("A"), { quote("a"), quote("shared") }),
        draft(ProposalKind::style, QString(), QStringLiteral("B"), { quote("b") }),
        draft(ProposalKind::style, QString(), QStringLiteral("C"), { quote("c"), quote("shared") }),
    };
    MergeReply reply;
    reply.proposals.append(MergeItem { ProposalKind::instruction, QString(), QString(), QString(), QString(),
        QStringLiteral("Merged"), QStringLiteral("R"), sources });
    const QList<ProposalDraft> drafts = improvement::rebuild(reply, candidates);
    if (quotes.isEmpty()) {
        QVERIFY(drafts.isEmpty());
        return;
    }
    QCOMPARE(drafts.size(), 1);
    QCOMPARE(drafts[0].kind, ProposalKind::instruction);
    QCOMPARE(drafts[0].text, QStringLiteral("Merged"));
    QStringList texts;
    for (const ProposalQuote& q : drafts[0].quotes) {
        texts.append(q.text);
    }
    QCOMPARE(texts, quotes);
}

void ImprovementChecksTest::schemas()
{
    const QJsonObject schemas = goldenJson(QStringLiteral("prompts/improvement-schemas.json"));
    QCOMPARE(analysisSchema(), schemas.value(QLatin1String("analysis")).toObject());
    QCOMPARE(mergeSchema(), schemas.value(QLatin1String("merge")).toObject());
    QCOMPARE(analysisSystemPrompt(), golden().value(QStringLiteral("analysis system")));
    QCOMPARE(mergeSystemPrompt(), golden().value(QStringLiteral("merge system")));
}

void ImprovementChecksTest::messages()
{
    Assistant assistant = Assistant::make(QStringLiteral("Interviews"), AssistantTemplate::blank);
    assistant.instructions.clear();
    assistant.styleNotes = QStringLiteral("Short answers.");
    QAItem first = QAItem::make(QStringLiteral("Why us?"), QString(), QStringLiteral("en"), QStringLiteral("manual"));
    QAItem second =
        QAItem::make(QStringLiteral("Salary?"), QStringLiteral("Open"), QString(), QStringLiteral("manual"));
    const AssistantState state { assistant, { first, second } };
    Call call = makeCall({ { false, QStringLiteral("Hi"), nine }, { true, QStringLiteral("Hello"), nine } });
    const auto expected = [&](const char* name) {
        return golden()
            .value(QString::fromUtf8(name))
            .replace(QStringLiteral("%1"), uuid::toText(first.id))
            .replace(QStringLiteral("%2"), uuid::toText(second.id))
            .replace(QStringLiteral("%3"), uuid::toText(call.id))
            .replace(QStringLiteral("%4"), QLocale().toString(nine.toLocalTime(), QLocale::ShortFormat));
    };
    QCOMPARE(assistantState(state, true), expected("assistant state"));
    QCOMPARE(assistantState(AssistantState { Assistant {}, {} }, false), expected("empty assistant state"));

    call.outcome = QStringLiteral("positive");
    call.outcomeNote = QStringLiteral("Got the job");
    CallContext acme = CallContext::make(QStringLiteral("Acme"), assistant);
    acme.stage = QStringLiteral("Final round");
    QCOMPARE(callMessage(call, acme, state), expected("call message"));
    call.outcome.clear();
    call.outcomeNote.clear();
    call.suggestionsData =
        blob::encodeSuggestions({ { QStringLiteral("Say hi"), nine }, { QStringLiteral("Smile"), nine } });
    QCOMPARE(callMessage(call, std::nullopt, state), expected("call message without outcome or context"));

    const QList<ProposalDraft> candidates {
        ProposalDraft { ProposalKind::style, QString(), QString(), QString(), QString(), QStringLiteral("Brief"),
            QStringLiteral("Fits."), { { QStringLiteral("c"), QStringLiteral("q") } } },
        ProposalDraft { ProposalKind::editQA, QStringLiteral("Salary?"), QStringLiteral("Depends"),
            QStringLiteral("en"), uuid::toText(second.id), QString(), QStringLiteral("Newer."), {} },
    };
    QCOMPARE(mergeMessage(state, candidates), expected("merge message"));
}

QTEST_GUILESS_MAIN(ImprovementChecksTest)
#include "ImprovementChecksTest.moc"
