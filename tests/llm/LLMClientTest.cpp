#include "llm/LLMClient.h"
#include "fakes/FakeHttpServer.h"
#include "fakes/Golden.h"
#include "fakes/LogCapture.h"

#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

using namespace std::chrono_literals;
using Response = FakeHttpServer::Response;
using Ending = FakeHttpServer::Ending;

namespace {

QJsonObject parse(const char* json)
{
    return QJsonDocument::fromJson(json).object();
}

// What one stream delivered.
struct Outcome {
    QStringList texts;
    std::optional<Error> error;
};

class Harness {
public:
    Harness()
        : client(
            &network, [this] { return endpoints; }, LLMTimeouts { 1000ms, 1000ms })
    {
        endpoints = LLMEndpoints { server.baseURL(), server.baseURL(), server.baseURL() + QStringLiteral("/v1"), {} };
    }

    Outcome run(const LLMRequest& request)
    {
        auto stream = client.stream(request);
        Outcome outcome;
        QObject::connect(
            stream.get(), &LLMStream::received, stream.get(), [&](const QString& text) { outcome.texts.append(text); });
        QSignalSpy finished(stream.get(), &LLMStream::finished);
        if (!finished.wait(10000)) {
            outcome.error = Error { QStringLiteral("<never finished>") };
            return outcome;
        }
        [&] { QCOMPARE(finished.count(), 1); }();
        outcome.error = finished.first().first().value<std::optional<Error>>();
        return outcome;
    }

    FakeHttpServer server;
    QNetworkAccessManager network;
    LLMEndpoints endpoints;
    LLMClient client;
};

LLMRequest claude(std::optional<QJsonObject> schema = std::nullopt)
{
    LLMRequest request;
    request.provider = LLMProvider::claude;
    request.model = QStringLiteral("claude-haiku-5-5");
    request.apiKey = QStringLiteral("sk-ant-test");
    request.system = QStringLiteral("System «prompt»");
    request.user = QStringLiteral("You: hi\nOther: hello?");
    request.effort = QStringLiteral("low");
    request.cacheSystem = true;
    request.schema = std::move(schema);
    return request;
}

LLMRequest openAI(std::optional<QJsonObject> schema = std::nullopt)
{
    LLMRequest request = claude(std::move(schema));
    request.provider = LLMProvider::openai;
    request.model = QStringLiteral("gpt-5.4-mini");
    request.apiKey = QStringLiteral("sk-openai-test");
    return request;
}

Response events(QList<QByteArray> chunks, Ending ending = Ending::complete)
{
    Response response;
    response.chunks = std::move(chunks);
    response.ending = ending;
    return response;
}

const QJsonObject schema = parse(R"({"type":"object","properties":{"a":{"type":"string"}}})");

} // namespace

class LLMClientTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void requests_data();
    void requests();
    void claudeDeltasGrow_data();
    void claudeDeltasGrow();
    void claudeStops_data();
    void claudeStops();
    void openAIEvents_data();
    void openAIEvents();
    void httpStatusError_data();
    void httpStatusError();
    void missingKeyMakesNoConnection_data();
    void missingKeyMakesNoConnection();
    void bodiesWithoutText_data();
    void bodiesWithoutText();
    void brokenConnection_data();
    void brokenConnection();
    void cancelClosesConnection();
    void cacheUsageLogged();
    void onDeviceUnavailable_data();
    void onDeviceUnavailable();
    void warmUp_data();
    void warmUp();
};

// Each request's path, headers (null: absent) and body, against tests/data/llm/requests.json.
void LLMClientTest::requests_data()
{
    QTest::addColumn<int>("provider"); // -1: the warm-up
    QTest::addColumn<QString>("effort");
    QTest::addColumn<bool>("cacheSystem");
    QTest::addColumn<bool>("withSchema");
    QTest::addColumn<QString>("localModel");
    const int claude = int(LLMProvider::claude), openai = int(LLMProvider::openai);
    const int onDevice = int(LLMProvider::onDevice);
    QTest::newRow("claude suggestion") << claude << QStringLiteral("low") << true << false << QString();
    QTest::newRow("claude summary") << claude << QStringLiteral("medium") << false << false << QString();
    QTest::newRow("claude improvement") << claude << QStringLiteral("high") << false << true << QString();
    QTest::newRow("claude schema overrides low") << claude << QStringLiteral("low") << false << true << QString();
    QTest::newRow("openai plain") << openai << QStringLiteral("low") << true << false << QString();
    QTest::newRow("openai schema") << openai << QStringLiteral("low") << true << true << QString();
    QTest::newRow("on-device first listed model") << onDevice << QStringLiteral("low") << true << true << QString();
    QTest::newRow("on-device configured model")
        << onDevice << QStringLiteral("low") << true << false << QStringLiteral("qwen2.5");
    QTest::newRow("warm-up") << -1 << QStringLiteral("low") << true << false << QString();
}

void LLMClientTest::requests()
{
    QFETCH(int, provider);
    QFETCH(QString, effort);
    QFETCH(bool, cacheSystem);
    QFETCH(bool, withSchema);
    QFETCH(QString, localModel);
    Harness harness;
    harness.endpoints.localModel = localModel;
    Response models;
    models.contentType = "application/json";
    models.chunks = { R"({"object":"list","data":[{"id":"llama3.2","object":"model"},{"id":"qwen2.5"}]})" };
    harness.server.respond("/v1/models", models);
    harness.server.respond("/v1/messages", events({ fakeEvents::claudeText(QStringLiteral("ok")) }));
    harness.server.respond(
        "/v1/chat/completions", events({ fakeEvents::openAIText(QStringLiteral("ok")), fakeEvents::done() }));
    if (provider < 0) {
        QSignalSpy received(&harness.server, &FakeHttpServer::requestReceived);
        harness.client.warmUp(QStringLiteral("claude-haiku-5-5"), QStringLiteral("sk-ant-test"), QStringLiteral("Sys"),
            QStringLiteral("low"));
        QVERIFY(received.wait());
    } else {
        LLMRequest request = provider == int(LLMProvider::openai) ? openAI() : claude();
        request.provider = static_cast<LLMProvider>(provider);
        request.effort = effort;
        request.cacheSystem = cacheSystem;
        request.schema = withSchema ? std::optional(schema) : std::nullopt;
        if (request.provider == LLMProvider::onDevice) {
            request.model = QStringLiteral("ignored-model");
            request.apiKey.reset();
        }
        const Outcome outcome = harness.run(request);
        QVERIFY(!outcome.error);
        QCOMPARE(outcome.texts, QStringList { QStringLiteral("ok") });
    }
    const QJsonObject expected =
        goldenJson(QStringLiteral("llm/requests.json")).value(QLatin1String(QTest::currentDataTag())).toObject();
    QVERIFY(!expected.isEmpty());
    const FakeHttpServer::Request& sent = harness.server.requests().last();
    QCOMPARE(QString::fromLatin1(sent.path), expected.value(QLatin1String("path")).toString());
    const QJsonObject headers = expected.value(QLatin1String("headers")).toObject();
    for (auto header = headers.begin(); header != headers.end(); ++header) {
        const QByteArray name = header.key().toLatin1();
        QCOMPARE(sent.hasHeader(name), !header.value().isNull());
        QCOMPARE(QString::fromLatin1(sent.header(name)), header.value().toString());
    }
    QCOMPARE(sent.json(), expected.value(QLatin1String("body")).toObject());
}

void LLMClientTest::claudeDeltasGrow_data()
{
    QTest::addColumn<QList<QByteArray>>("chunks");
    const QByteArray a = fakeEvents::claudeText(QStringLiteral("A"));
    const QByteArray b = fakeEvents::claudeText(QStringLiteral("B"));
    const QByteArray c = fakeEvents::claudeText(QStringLiteral("C"));
    const QByteArray all = fakeEvents::claudeMessageStart(0, 0) + a + "event: ping\ndata: {\"type\":\"ping\"}\n\n" + b
        + "data: {\"type\":\"content_block_delta\",\"delta\":{\"type\":\"thinking_delta\",\"thinking\":\"hm\"}}\n\n" + c
        + fakeEvents::claudeStop(QStringLiteral("end_turn"));
    QTest::newRow("merged") << QList<QByteArray> { all };
    QTest::newRow("one event per chunk") << QList<QByteArray> { a, b, c };
}

void LLMClientTest::claudeDeltasGrow()
{
    QFETCH(QList<QByteArray>, chunks);
    Harness harness;
    harness.server.respond("/v1/messages", events(chunks));
    const Outcome outcome = harness.run(claude());
    QVERIFY(!outcome.error);
    QCOMPARE(outcome.texts, (QStringList { QStringLiteral("A"), QStringLiteral("AB"), QStringLiteral("ABC") }));
}

void LLMClientTest::claudeStops_data()
{
    QTest::addColumn<QByteArray>("last");
    QTest::addColumn<bool>("withSchema");
    QTest::addColumn<QString>("error"); // empty: ends normally
    QTest::newRow("refusal") << fakeEvents::claudeStop(QStringLiteral("refusal")) << false
                             << QStringLiteral("Claude declined to answer this one.");
    QTest::newRow("max_tokens without schema")
        << fakeEvents::claudeStop(QStringLiteral("max_tokens")) << false << QString();
    QTest::newRow("max_tokens with schema") << fakeEvents::claudeStop(QStringLiteral("max_tokens")) << true
                                            << QStringLiteral("The model's reply was cut off because it was too long.");
    QTest::newRow("error event with message")
        << fakeEvents::claudeError(QStringLiteral("Overloaded")) << false << QStringLiteral("Claude error: Overloaded");
    QTest::newRow("error message not text") << QByteArray("data: {\"type\":\"error\",\"error\":{\"message\":5}}\n")
                                            << false << QStringLiteral("Claude error: unknown");
}

void LLMClientTest::claudeStops()
{
    QFETCH(QByteArray, last);
    QFETCH(bool, withSchema);
    QFETCH(QString, error);
    Harness harness;
    // Nothing after the failing event may reach the caller.
    harness.server.respond("/v1/messages",
        events(
            { fakeEvents::claudeText(QStringLiteral("Part")), last, fakeEvents::claudeText(QStringLiteral(" more")) }));
    const Outcome outcome = harness.run(claude(withSchema ? std::optional(schema) : std::nullopt));
    if (error.isEmpty()) {
        QVERIFY(!outcome.error);
        QCOMPARE(outcome.texts.last(), QStringLiteral("Part more")); // a plain stop is not an error
    } else {
        QVERIFY(outcome.error);
        QCOMPARE(outcome.error->message, error);
        QCOMPARE(outcome.texts, QStringList { QStringLiteral("Part") });
    }
}

void LLMClientTest::openAIEvents_data()
{
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QStringList>("texts");
    const QByteArray hi = fakeEvents::openAIText(QStringLiteral("Hi"));
    const QByteArray there = fakeEvents::openAIText(QStringLiteral(" there"));
    QTest::newRow("done ends with lines after it")
        << QList<QByteArray> { hi + there, fakeEvents::done() + fakeEvents::openAIText(QStringLiteral("late")) }
        << QStringList { QStringLiteral("Hi"), QStringLiteral("Hi there") };
    QTest::newRow("empty choices, role-only delta, finish reason") << QList<QByteArray> { "data: {\"choices\":[]}\n\n",
        "data: {\"choices\":[{\"delta\":{\"role\":\"assistant\"}}]}\n\n", hi,
        "data: {\"choices\":[{\"delta\":{},\"finish_reason\":\"stop\"}]}\n\n", fakeEvents::done() }
                                                                   << QStringList { QStringLiteral("Hi") };
}

void LLMClientTest::openAIEvents()
{
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QStringList, texts);
    Harness harness;
    harness.server.respond("/v1/chat/completions", events(chunks));
    const Outcome outcome = harness.run(openAI());
    QVERIFY(!outcome.error);
    QCOMPARE(outcome.texts, texts);
}

void LLMClientTest::httpStatusError_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<bool>("endless");
    QTest::addColumn<QString>("error");
    QByteArray body;
    for (int i = 0; i < 500; ++i) {
        body.append(static_cast<char>('a' + i % 26));
    }
    QTest::newRow("first 300 bytes") << 401 << QList<QByteArray> { body.left(120), body.mid(120) + "\n" } << false
                                     << QStringLiteral("HTTP 401: ") + QString::fromLatin1(body.left(300));
    QTest::newRow("lines joined") << 500 << QList<QByteArray> { "first\r\n", "second\n" } << false
                                  << QStringLiteral("HTTP 500: firstsecond");
    QTest::newRow("endless body ends early")
        << 503 << QList<QByteArray> { QByteArray(40 * 1024, 'e'), QByteArray(40 * 1024, 'e') } << true
        << QStringLiteral("HTTP 503: ") + QString(300, u'e');
}

void LLMClientTest::httpStatusError()
{
    QFETCH(int, status);
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(bool, endless);
    QFETCH(QString, error);
    Harness harness;
    Response response = events(chunks, endless ? Ending::hang : Ending::complete);
    response.status = status;
    response.contentType = "application/json";
    harness.server.respond("/v1/messages", response);
    const Outcome outcome = harness.run(claude());
    QVERIFY(outcome.error);
    QCOMPARE(outcome.error->message, error);
    QVERIFY(outcome.texts.isEmpty());
}

void LLMClientTest::missingKeyMakesNoConnection_data()
{
    QTest::addColumn<int>("provider");
    QTest::addColumn<std::optional<QString>>("key");
    QTest::newRow("claude without key") << int(LLMProvider::claude) << std::optional<QString>();
    QTest::newRow("openai empty key") << int(LLMProvider::openai) << std::optional<QString>(QString());
}

void LLMClientTest::missingKeyMakesNoConnection()
{
    QFETCH(int, provider);
    QFETCH(std::optional<QString>, key);
    Harness harness;
    LLMRequest request = claude();
    request.provider = static_cast<LLMProvider>(provider);
    request.apiKey = key;
    const Outcome outcome = harness.run(request);
    QVERIFY(outcome.error);
    QCOMPARE(outcome.error->message, QStringLiteral("Add an API key in Settings (Ctrl+,)."));
    QCOMPARE(harness.server.connectionsAccepted(), 0);
}

void LLMClientTest::bodiesWithoutText_data()
{
    QTest::addColumn<bool>("viaOpenAI");
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QByteArray>("contentType");
    QTest::newRow("html with status 200")
        << false << QList<QByteArray> { "<!DOCTYPE html>\n<html><body>\n<p>data: maybe</p>\n", "</body></html>\n" }
        << QByteArray("text/html");
    QTest::newRow("garbage events then [DONE]")
        << true << QList<QByteArray> { "data: {oops\n\n", "data: [1,2]\n\n", fakeEvents::done() }
        << QByteArray("text/event-stream");
}

void LLMClientTest::bodiesWithoutText()
{
    QFETCH(bool, viaOpenAI);
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QByteArray, contentType);
    Harness harness;
    Response response = events(chunks);
    response.contentType = contentType;
    harness.server.respond(viaOpenAI ? "/v1/chat/completions" : "/v1/messages", response);
    const Outcome outcome = harness.run(viaOpenAI ? openAI() : claude());
    QVERIFY(outcome.error);
    QCOMPARE(outcome.error->message, QStringLiteral("The model sent no text."));
}

void LLMClientTest::brokenConnection_data()
{
    QTest::addColumn<bool>("reset");
    QTest::newRow("silent server times out") << false;
    QTest::newRow("connection reset") << true;
}

void LLMClientTest::brokenConnection()
{
    QFETCH(bool, reset);
    Harness harness;
    harness.server.respond("/v1/messages",
        events({ fakeEvents::claudeText(QStringLiteral("Half")) }, reset ? Ending::reset : Ending::hang));
    const Outcome outcome = harness.run(claude());
    QVERIFY(outcome.error);
    QCOMPARE(outcome.texts, QStringList { QStringLiteral("Half") });
    if (reset) {
        QVERIFY(outcome.error->message != QStringLiteral("<never finished>"));
    } else {
        QCOMPARE(outcome.error->message, QStringLiteral("The request timed out."));
        QTRY_COMPARE(harness.server.connectionsClosed(), 1);
    }
}

void LLMClientTest::cancelClosesConnection()
{
    Harness harness;
    harness.server.respond("/v1/messages", events({ fakeEvents::claudeText(QStringLiteral("Half")) }, Ending::hang));
    auto stream = harness.client.stream(claude());
    QSignalSpy received(stream.get(), &LLMStream::received);
    QSignalSpy finished(stream.get(), &LLMStream::finished);
    QVERIFY(received.wait());
    stream->cancel();
    QCOMPARE(finished.count(), 1);
    QVERIFY(stream->wasCancelled());
    stream->cancel(); // a second time changes nothing
    QCOMPARE(finished.count(), 1);
    QTRY_COMPARE(harness.server.connectionsClosed(), 1);

    // Destroying a running stream also drops the connection, silently.
    auto second = harness.client.stream(claude());
    QSignalSpy secondReceived(second.get(), &LLMStream::received);
    QVERIFY(secondReceived.wait());
    second.reset();
    QTRY_COMPARE(harness.server.connectionsClosed(), 2);
}

void LLMClientTest::cacheUsageLogged()
{
    Harness harness;
    harness.server.respond("/v1/messages",
        events({ fakeEvents::claudeMessageStart(1500, 20), fakeEvents::claudeText(QStringLiteral("x")),
            "data: {\"type\":\"message_start\",\"message\":{\"usage\":{}}}\n\n" }));
    LogCapture log;
    QVERIFY(!harness.run(claude()).error);
    QCOMPARE(log.texts(QStringLiteral("Vessaro.Quillora.latency")),
        (QStringList { QStringLiteral("cache read 1500 write 20"), QStringLiteral("cache read 0 write 0") }));

    LLMRequest uncached = claude();
    uncached.cacheSystem = false;
    LogCapture quiet;
    QVERIFY(!harness.run(uncached).error);
    QVERIFY(quiet.texts(QStringLiteral("Vessaro.Quillora.latency")).isEmpty());
}

void LLMClientTest::onDeviceUnavailable_data()
{
    QTest::addColumn<QString>("situation");
    QTest::newRow("nothing listening") << QStringLiteral("closed");
    QTest::newRow("empty model list") << QStringLiteral("empty");
    QTest::newRow("status 500") << QStringLiteral("500");
    QTest::newRow("not json") << QStringLiteral("html");
    QTest::newRow("no answer in time") << QStringLiteral("hang");
}

void LLMClientTest::onDeviceUnavailable()
{
    QFETCH(QString, situation);
    Harness harness;
    Response models;
    models.contentType = "application/json";
    if (situation == QStringLiteral("closed")) {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        harness.endpoints.localModelURL = QStringLiteral("http://127.0.0.1:%1/v1").arg(probe.serverPort());
        probe.close();
    } else if (situation == QStringLiteral("empty")) {
        models.chunks = { R"({"object":"list","data":[]})" };
    } else if (situation == QStringLiteral("500")) {
        models.status = 500;
        models.chunks = { R"({"data":[{"id":"x"}]})" };
    } else if (situation == QStringLiteral("html")) {
        models.chunks = { "<html></html>" };
    } else {
        models.ending = Ending::hang;
    }
    harness.server.respond("/v1/models", models);
    LLMRequest request = claude();
    request.provider = LLMProvider::onDevice;
    const Outcome outcome = harness.run(request);
    QVERIFY(outcome.error);
    QCOMPARE(outcome.error->message, QStringLiteral("No on-device model is available on this computer."));
    for (const auto& sent : harness.server.requests()) {
        QCOMPARE(sent.path, QByteArray("/v1/models")); // no chat request follows
    }
}

void LLMClientTest::warmUp_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("logged");
    QTest::newRow("usage") << 200
                           << QByteArray(R"({"usage":{"cache_creation_input_tokens":900,"cache_read_input_tokens":3}})")
                           << QStringLiteral("info: warm-up write 900 read 3");
    QTest::newRow("no usage") << 200 << QByteArray(R"({"id":"msg"})") << QStringLiteral("info: warm-up write 0 read 0");
    QTest::newRow("status 400") << 400 << QByteArray(R"({"error":"bad"})")
                                << QStringLiteral("warning: warm-up failed HTTP 400: {\"error\":\"bad\"}");
}

void LLMClientTest::warmUp()
{
    QFETCH(int, status);
    QFETCH(QByteArray, answer);
    QFETCH(QString, logged);
    Harness harness;
    Response response;
    response.status = status;
    response.contentType = "application/json";
    response.chunks = { answer };
    harness.server.respond("/v1/messages", response);
    LogCapture log;
    harness.client.warmUp(QStringLiteral("claude-haiku-5-5"), QStringLiteral("sk-ant-test"), QStringLiteral("Sys"),
        QStringLiteral("low"));
    QTRY_COMPARE(log.messages().filter(QStringLiteral("warm-up")).size(), 1);
    QCOMPARE(
        log.messages().filter(QStringLiteral("warm-up")).first(), QStringLiteral("Vessaro.Quillora.latency ") + logged);
}

QTEST_GUILESS_MAIN(LLMClientTest)
#include "LLMClientTest.moc"
