#include "suggestions/SuggestionService.h"
#include "common/Text.h"
#include "fakes/FakeHttpServer.h"
#include "fakes/LogCapture.h"
#include "fakes/ManualClock.h"
#include "settings/Settings.h"
#include "store/Store.h"
#include "store/StoreContext.h"
#include "suggestions/SuggestionPrompt.h"

#include <QCoroTask>
#include <QJsonArray>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace std::chrono_literals;
using Response = FakeHttpServer::Response;
using Ending = FakeHttpServer::Ending;

namespace {

constexpr auto testPause = 100ms;
const QDateTime start(QDate(2026, 3, 4), QTime(10, 0), Qt::UTC);

Response claudeReply(const QStringList& pieces, Ending ending = Ending::complete)
{
    Response response;
    for (const QString& piece : pieces) {
        response.chunks.append(fakeEvents::claudeText(piece));
    }
    response.ending = ending;
    return response;
}

enum class Pause { runsOut, goesOn };

// A service wired to a loopback Claude, an in-memory store, throw-away settings and a manual clock.
struct Harness {
    explicit Harness(const QString& provider = QStringLiteral("claude"))
        : settings(directory.filePath(QStringLiteral("Quillora.conf")), nullptr)
        , clock(start)
        , store(*Store::openInMemory())
        , context(store->newContext())
        , transcript(nullptr, &clock)
    {
        settings.setText(SettingKey::llmProvider, provider);
        settings.setText(SettingKey::anthropicBaseURL, server.baseURL());
        settings.setText(SettingKey::openaiBaseURL, server.baseURL());
        settings.setText(SettingKey::localModelURL, server.baseURL() + QStringLiteral("/v1"));
        LLMClient client(&network, LLMEndpoints::sourceFor(&settings), LLMTimeouts { 5000ms, 500ms });
        SuggestionServiceOptions options;
        options.pause = testPause;
        // A copy: QCoro's co_return moves from what it is given.
        options.readKey = [this](const QString&) -> QCoro::Task<std::optional<QString>> {
            co_return std::optional<QString>(key);
        };
        options.clock = &clock;
        service = std::make_unique<SuggestionService>(
            &transcript, [this]() -> StoreContext& { return *context; }, client, &settings, nullptr, options);
    }

    void say(Speaker who, const QString& text, Pause pause = Pause::runsOut)
    {
        transcript.handleText(text, true, who);
        if (pause == Pause::runsOut) {
            clock.advance(testPause);
        }
    }

    void suggestNow()
    {
        service->suggestNow();
        clock.advance(testPause);
    }

    // Lets any pause run out and says whether a request started meanwhile: a request sets the
    // waiting flag before it sends anything.
    bool startsRequest()
    {
        QSignalSpy waiting(service.get(), &SuggestionService::isWaitingChanged);
        clock.advance(3 * testPause);
        for (int round = 0; round < 3; ++round) {
            QCoreApplication::processEvents();
        }
        return !waiting.isEmpty();
    }

    SuggestionSettings readSettings() { return QCoro::waitFor(service->readSettings(*context)); }

    QStringList responses() const
    {
        QStringList out;
        for (const Suggestion& entry : service->history()) {
            out.append((entry.isError ? QStringLiteral("error: ") : QString()) + entry.response);
        }
        return out;
    }

    // The system prompt and user message of the n-th request the fake received.
    QString system(qsizetype n) const
    {
        return server.requests().at(n).json()[QLatin1String("system")][0][QLatin1String("text")].toString();
    }
    QString user(qsizetype n) const
    {
        return server.requests().at(n).json()[QLatin1String("messages")][0][QLatin1String("content")].toString();
    }

    QTemporaryDir directory;
    Settings settings;
    ManualClock clock;
    FakeHttpServer server;
    QNetworkAccessManager network;
    std::shared_ptr<Store> store;
    std::unique_ptr<StoreContext> context;
    Transcript transcript;
    std::optional<QString> key = QStringLiteral("sk-ant-test");
    std::unique_ptr<SuggestionService> service;
};

} // namespace

class SuggestionServiceTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void looksLikeQuestion_data();
    void looksLikeQuestion();
    void questionTriggersOnceAfterPause();
    void userLinesNeverTrigger();
    void secondQuestionWithinPauseWins();
    void newerQuestionReplacesStreamingReply();
    void streamErrorReplacesPartialReply();
    void suggestNow();
    void onDeviceOversizeWarnsOnce();
    void clearDuringRequest();
    void firstTokenIsLogged();
    void warmUp_data();
    void warmUp();
    void destroyedWhileBusy_data();
    void destroyedWhileBusy();
};

void SuggestionServiceTest::looksLikeQuestion_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("question");
    QTest::newRow("question mark anywhere") << QStringLiteral("You did? great") << true;
    QTest::newRow("phrase can you") << QStringLiteral("Can you walk me through it") << true;
    QTest::newRow("phrase me fala") << QStringLiteral("Me fala mais sobre isso") << true;
    QTest::newRow("phrase with accent folding") << QStringLiteral("Você já trabalhou com isso") << true;
    QTest::newRow("phrase needs whole words") << QStringLiteral("A explicabilidade importa") << false;
    QTest::newRow("filler then question word") << QStringLiteral("Então, como foi") << true;
    QTest::newRow("fillers only, then next sentence") << QStringLiteral("Okay. What about pricing") << true;
    QTest::newRow("two-word opening") << QStringLiteral("Por que você saiu") << true;
    QTest::newRow("porque sim") << QStringLiteral("Porque sim") << true;
    QTest::newRow("only fillers") << QStringLiteral("Ok ok.") << false;
    QTest::newRow("question word not first") << QStringLiteral("I know what you mean") << false;
    QTest::newRow("e ai") << QStringLiteral("E aí, tudo bem") << false;
    QTest::newRow("apostrophe keeps sentence words apart") << QStringLiteral("What's next") << true;
    QTest::newRow("second sentence after semicolon") << QStringLiteral("Right; and where was that") << true;
    QTest::newRow("comma does not split sentences") << QStringLiteral("Right, how long") << false;
    QTest::newRow("empty") << QString() << false;
}

void SuggestionServiceTest::looksLikeQuestion()
{
    QFETCH(QString, text);
    QFETCH(bool, question);
    QCOMPARE(SuggestionService::looksLikeQuestion(text), question);
}

void SuggestionServiceTest::questionTriggersOnceAfterPause()
{
    Harness harness;
    harness.server.respond(
        "/v1/messages", claudeReply({ QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C") }));
    QSignalSpy requests(&harness.server, &FakeHttpServer::requestReceived);
    QSignalSpy waiting(harness.service.get(), &SuggestionService::isWaitingChanged);
    QSignalSpy changed(harness.service.get(), &SuggestionService::historyChanged);

    harness.say(Speaker::them, QStringLiteral("tell me about your last job"), Pause::goesOn);
    harness.clock.advance(testPause - 1ms);
    QCoreApplication::processEvents();
    QVERIFY(waiting.isEmpty()); // still in the pause
    harness.clock.advance(1ms);
    QVERIFY(requests.wait());
    QTRY_COMPARE(harness.responses(), QStringList { QStringLiteral("ABC") });
    QTRY_VERIFY(!harness.service->isWaiting());
    QCOMPARE(waiting.first().first().toBool(), true);
    QCOMPARE(changed.count(), 3); // A, AB, ABC replace one entry in place
    QCOMPARE(harness.service->history().first().question, QStringLiteral("tell me about your last job"));

    QCOMPARE(harness.system(0), suggestionPrompt::basePrompt()); // no assistant yet
    QCOMPARE(harness.user(0), suggestionPrompt::userMessage(harness.transcript.lines()));

    // The same last line seen again is not examined again; nor is a later line that is no question.
    Q_EMIT harness.transcript.linesChanged();
    harness.say(Speaker::them, QStringLiteral("Great, thanks"));
    Q_EMIT harness.transcript.linesChanged();
    QVERIFY(!harness.startsRequest());
    QCOMPARE(harness.server.requests().size(), 1);
}

void SuggestionServiceTest::userLinesNeverTrigger()
{
    Harness harness;
    QSignalSpy requests(&harness.server, &FakeHttpServer::requestReceived);
    harness.say(Speaker::me, QStringLiteral("What about you?"));
    QVERIFY(!harness.startsRequest());
    QVERIFY(harness.service->history().isEmpty());
}

void SuggestionServiceTest::secondQuestionWithinPauseWins()
{
    Harness harness;
    harness.server.respond("/v1/messages", claudeReply({ QStringLiteral("Reply") }));
    QSignalSpy requests(&harness.server, &FakeHttpServer::requestReceived);
    harness.say(Speaker::them, QStringLiteral("How long have you worked there?"), Pause::goesOn);
    harness.say(Speaker::them, QStringLiteral("And why did you leave?"));
    QTRY_COMPARE(harness.responses(), QStringList { QStringLiteral("Reply") });
    QVERIFY(!harness.startsRequest());
    QCOMPARE(harness.server.requests().size(), 1);
    QVERIFY(harness.user(0).contains(QStringLiteral("«And why did you leave?»")));
    QCOMPARE(harness.service->history().first().question, QStringLiteral("And why did you leave?"));
}

void SuggestionServiceTest::newerQuestionReplacesStreamingReply()
{
    Harness harness;
    int served = 0;
    harness.server.handle("/v1/messages", [&](const FakeHttpServer::Request&) {
        return ++served == 1 ? claudeReply({ QStringLiteral("Old reply") }, Ending::hang)
                             : claudeReply({ QStringLiteral("New"), QStringLiteral(" reply") });
    });
    harness.say(Speaker::them, QStringLiteral("What is your biggest strength?"));
    QTRY_COMPARE(harness.responses(), QStringList { QStringLiteral("Old reply") });
    harness.say(Speaker::them, QStringLiteral("And your biggest weakness?"), Pause::goesOn);
    QTRY_VERIFY(harness.service->history().isEmpty()); // the cut-off reply is removed at once
    harness.clock.advance(testPause);
    QTRY_COMPARE(harness.server.connectionsClosed(), 1);
    QTRY_COMPARE(harness.responses(), QStringList { QStringLiteral("New reply") });
    QCOMPARE(harness.server.requests().size(), 2);
    QTRY_VERIFY(!harness.service->isWaiting());
}

void SuggestionServiceTest::streamErrorReplacesPartialReply()
{
    Harness harness;
    Response response = claudeReply({ QStringLiteral("Par") });
    response.chunks.append(fakeEvents::claudeError(std::nullopt));
    harness.server.respond("/v1/messages", response);
    harness.say(Speaker::them, QStringLiteral("Can you describe your role?"));
    QTRY_COMPARE(harness.responses(), QStringList { QStringLiteral("error: Claude error: unknown") });
    QVERIFY(!harness.service->isWaiting());
}

void SuggestionServiceTest::suggestNow()
{
    Harness harness;
    harness.server.respond("/v1/messages", claudeReply({ QStringLiteral("Sure") }));
    QSignalSpy requests(&harness.server, &FakeHttpServer::requestReceived);
    harness.suggestNow(); // empty transcript: nothing
    QVERIFY(!harness.startsRequest());

    harness.say(Speaker::them, QStringLiteral("We have a tight budget this quarter"));
    harness.say(Speaker::me, QStringLiteral("I understand"));
    harness.suggestNow();
    QTRY_COMPARE(harness.responses(), QStringList { QStringLiteral("Sure") });
    QCOMPARE(harness.service->history().first().question, QStringLiteral("I understand"));
    QCOMPARE(harness.user(0), suggestionPrompt::userMessage(harness.transcript.lines()));
}

void SuggestionServiceTest::onDeviceOversizeWarnsOnce()
{
    Harness harness(QStringLiteral("onDevice"));
    Assistant big = Assistant::make(QStringLiteral("Big"), AssistantTemplate::blank);
    big.instructions = QString(9000, u'x');
    harness.context->insert(big);
    QVERIFY(harness.context->save());
    harness.say(Speaker::them, QStringLiteral("Hello there"));

    QSignalSpy waiting(harness.service.get(), &SuggestionService::isWaitingChanged);
    harness.suggestNow();
    QTRY_COMPARE(waiting.count(), 2); // true, then false
    QCOMPARE(harness.responses(), QStringList { QStringLiteral("error: ") + SuggestionService::oversizeMessage() });
    QCOMPARE(harness.service->history().first().question, QStringLiteral("Hello there"));

    harness.suggestNow();
    QTRY_COMPARE(waiting.count(), 4);
    QCOMPARE(harness.service->history().size(), 1); // same prompt: not repeated

    harness.service->clear();
    harness.suggestNow();
    QTRY_COMPARE(harness.service->history().size(), 1);
    QCOMPARE(harness.responses(), QStringList { QStringLiteral("error: ") + SuggestionService::oversizeMessage() });
    QCOMPARE(harness.server.connectionsAccepted(), 0);

    // Another prompt that is too large again is reported again.
    big.instructions = QString(9001, u'y');
    harness.context->update(big);
    QVERIFY(harness.context->save());
    harness.suggestNow();
    QTRY_COMPARE(harness.service->history().size(), 2);

    // Within the limit (counted as user-perceived characters: "é" written as e + combining mark is one).
    harness.service->clear();
    QString decomposed;
    for (int i = 0; i < 4000; ++i) {
        decomposed += QStringLiteral("e\u0301");
    }
    big.instructions = decomposed;
    harness.context->update(big);
    QVERIFY(harness.context->save());
    QVERIFY(harness.readSettings().prompt.size() > 8000);
    QVERIFY(text::graphemeCount(harness.readSettings().prompt) <= 8000);
    harness.suggestNow();
    QTRY_COMPARE(harness.responses(),
        QStringList { QStringLiteral("error: No on-device model is available on this computer.") });
}

void SuggestionServiceTest::clearDuringRequest()
{
    Harness harness;
    harness.server.respond("/v1/messages", claudeReply({ QStringLiteral("Partial") }, Ending::hang));
    harness.say(Speaker::them, QStringLiteral("What do you know about us?"));
    QTRY_COMPARE(harness.responses(), QStringList { QStringLiteral("Partial") });
    harness.service->clear();
    QVERIFY(harness.service->history().isEmpty());
    QVERIFY(!harness.service->isWaiting());
    QTRY_COMPARE(harness.server.connectionsClosed(), 1);

    // Cleared during the pause: the request never starts.
    harness.say(Speaker::them, QStringLiteral("Where are you based?"), Pause::goesOn);
    harness.service->clear();
    QVERIFY(!harness.startsRequest());
}

void SuggestionServiceTest::firstTokenIsLogged()
{
    Harness harness;
    harness.server.respond("/v1/messages", claudeReply({ QStringLiteral("One"), QStringLiteral(" two") }));
    LogCapture log;
    harness.say(Speaker::them, QStringLiteral("Can you hear me"), Pause::goesOn);
    harness.clock.advance(testPause);
    harness.clock.setNow(start.addMSecs(1234)); // the line was dated at `start`
    QTRY_COMPARE(harness.responses(), QStringList { QStringLiteral("One two") });
    QCOMPARE(log.texts(QStringLiteral("Vessaro.Quillora.latency")).filter(QStringLiteral("first-token")),
        QStringList { QStringLiteral("first-token 1234 system-chars %1")
                          .arg(text::graphemeCount(suggestionPrompt::basePrompt())) });
}

void SuggestionServiceTest::warmUp_data()
{
    QTest::addColumn<QString>("provider");
    QTest::addColumn<std::optional<QString>>("key");
    QTest::addColumn<bool>("sent");
    QTest::newRow("claude with key") << QStringLiteral("claude") << std::optional<QString>(QStringLiteral("k")) << true;
    QTest::newRow("claude empty key") << QStringLiteral("claude") << std::optional<QString>(QString()) << false;
    QTest::newRow("openai") << QStringLiteral("openai") << std::optional<QString>(QStringLiteral("k")) << false;
    QTest::newRow("on-device") << QStringLiteral("onDevice") << std::optional<QString>() << false;
}

void SuggestionServiceTest::warmUp()
{
    QFETCH(QString, provider);
    QFETCH(std::optional<QString>, key);
    QFETCH(bool, sent);
    Harness harness(provider);
    harness.key = key;
    Response answer;
    answer.contentType = "application/json";
    answer.chunks = { R"({"usage":{"cache_creation_input_tokens":1177}})" };
    harness.server.respond("/v1/messages", answer);
    QSignalSpy requests(&harness.server, &FakeHttpServer::requestReceived);
    QCoro::waitFor(harness.service->warmUp());
    QCOMPARE(sent ? requests.wait(5000) : !harness.server.requests().isEmpty(), sent);
    if (sent) {
        QCOMPARE(harness.system(0), suggestionPrompt::basePrompt());
    }
}

void SuggestionServiceTest::destroyedWhileBusy_data()
{
    QTest::addColumn<bool>("streaming");
    QTest::newRow("in the pause") << false;
    QTest::newRow("while streaming") << true;
}

void SuggestionServiceTest::destroyedWhileBusy()
{
    QFETCH(bool, streaming);
    Harness harness;
    harness.server.respond("/v1/messages", claudeReply({ QStringLiteral("Hi") }, Ending::hang));
    harness.say(Speaker::them, QStringLiteral("Who are your clients?"), streaming ? Pause::runsOut : Pause::goesOn);
    if (streaming) {
        QTRY_COMPARE(harness.responses(), QStringList { QStringLiteral("Hi") });
    }
    harness.service.reset();
    if (streaming) {
        QTRY_COMPARE(harness.server.connectionsClosed(), 1);
    }
    harness.say(Speaker::them, QStringLiteral("Why?"));
    QCoreApplication::processEvents();
    QCOMPARE(harness.clock.activeTimers(), 0);
    QCOMPARE(harness.server.requests().size(), streaming ? 1 : 0);
}

QTEST_GUILESS_MAIN(SuggestionServiceTest)
#include "SuggestionServiceTest.moc"
