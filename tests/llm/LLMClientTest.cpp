#include "llm/LLMClient.h"
#include "fakes/FakeHttpServer.h"
#include "fakes/LogCapture.h"

#include <QJsonArray>
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
    void claudeRequest_data();
    void claudeRequest();
    void openAIRequest_data();
    void openAIRequest();
    void claudeDeltasGrow_data();
    void claudeDeltasGrow();
    void claudeStops_data();
    void claudeStops();
    void openAIEvents_data();
    void openAIEvents();
    void httpStatusError();
    void missingKeyMakesNoConnection_data();
    void missingKeyMakesNoConnection();
    void badBodies_data();
    void badBodies();
    void silentServerTimesOut();
    void connectionReset();
    void cancelClosesConnection();
    void endlessErrorBodyEndsEarly();
    void cacheUsageLogged();
    void onDevice_data();
    void onDevice();
    void onDeviceUnavailable_data();
    void onDeviceUnavailable();
    void warmUp_data();
    void warmUp();
};

void LLMClientTest::claudeRequest_data()
{
    QTest::addColumn<QString>("effort");
    QTest::addColumn<bool>("cacheSystem");
    QTest::addColumn<bool>("withSchema");
    QTest::addColumn<int>("maxTokens");
    QTest::newRow("suggestion") << QStringLiteral("low") << true << false << 2048;
    QTest::newRow("summary") << QStringLiteral("medium") << false << false << 8192;
    QTest::newRow("improvement") << QStringLiteral("high") << false << true << 32000;
    QTest::newRow("schema overrides low") << QStringLiteral("low") << false << true << 32000;
}

void LLMClientTest::claudeRequest()
{
    QFETCH(QString, effort);
    QFETCH(bool, cacheSystem);
    QFETCH(bool, withSchema);
    QFETCH(int, maxTokens);
    Harness harness;
    harness.server.respond("/v1/messages", events({ fakeEvents::claudeText(QStringLiteral("ok")) }));
    LLMRequest request = claude(withSchema ? std::optional(schema) : std::nullopt);
    request.effort = effort;
    request.cacheSystem = cacheSystem;
    const Outcome outcome = harness.run(request);
    QVERIFY(!outcome.error);
    QCOMPARE(harness.server.requests().size(), 1);
    const FakeHttpServer::Request& sent = harness.server.requests().first();
    QCOMPARE(sent.header("x-api-key"), QByteArray("sk-ant-test"));
    QCOMPARE(sent.header("anthropic-version"), QByteArray("2026-10-21"));
    QCOMPARE(sent.header("content-type"), QByteArray("application/json"));
    QVERIFY(!sent.hasHeader("authorization"));

    QJsonObject expected = parse(R"({"model":"claude-haiku-5-5","stream":true,
        "messages":[{"role":"user","content":"You: hi\nOther: hello?"}]})");
    expected.insert(QStringLiteral("max_tokens"), maxTokens);
    expected.insert(QStringLiteral("system"),
        cacheSystem ? parse(R"({"s":[{"type":"text","text":"System «prompt»","cache_control":{"type":"ephemeral"}}]})")
                          .value(QLatin1String("s"))
                    : QJsonValue(QStringLiteral("System «prompt»")));
    QJsonObject outputConfig { { QStringLiteral("effort"), effort } };
    if (withSchema) {
        outputConfig.insert(QStringLiteral("format"),
            QJsonObject {
                { QStringLiteral("type"), QStringLiteral("json_schema") }, { QStringLiteral("schema"), schema } });
        expected.insert(QStringLiteral("thinking"), parse(R"({"type":"adaptive"})"));
    }
    expected.insert(QStringLiteral("output_config"), outputConfig);
    QCOMPARE(sent.json(), expected);
}

void LLMClientTest::openAIRequest_data()
{
    QTest::addColumn<bool>("withSchema");
    QTest::newRow("plain") << false;
    QTest::newRow("schema") << true;
}

void LLMClientTest::openAIRequest()
{
    QFETCH(bool, withSchema);
    Harness harness;
    harness.server.respond(
        "/v1/chat/completions", events({ fakeEvents::openAIText(QStringLiteral("ok")), fakeEvents::done() }));
    const Outcome outcome = harness.run(openAI(withSchema ? std::optional(schema) : std::nullopt));
    QVERIFY(!outcome.error);
    QCOMPARE(outcome.texts, QStringList { QStringLiteral("ok") });
    const FakeHttpServer::Request& sent = harness.server.requests().first();
    QCOMPARE(sent.path, QByteArray("/v1/chat/completions"));
    QCOMPARE(sent.header("authorization"), QByteArray("Bearer sk-openai-test"));
    QCOMPARE(sent.header("content-type"), QByteArray("application/json"));
    QVERIFY(!sent.hasHeader("x-api-key"));
    QJsonObject expected = parse(R"({"model":"gpt-5.4-mini","stream":true,"messages":[
        {"role":"developer","content":"System «prompt»"},{"role":"user","content":"You: hi\nOther: hello?"}]})");
    if (withSchema) {
        expected.insert(QStringLiteral("response_format"),
            parse(R"({"type":"json_schema","json_schema":{"name":"proposals","strict":true,"schema":)"
                  R"({"type":"object","properties":{"a":{"type":"string"}}}}})"));
    }
    QCOMPARE(sent.json(), expected);
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
    QList<QByteArray> split;
    for (qsizetype at = 0; at < all.size(); at += 7) {
        split.append(all.mid(at, 7));
    }
    QTest::newRow("split every 7 bytes") << split;
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

void LLMClientTest::httpStatusError()
{
    Harness harness;
    QByteArray body;
    for (int i = 0; i < 500; ++i) {
        body.append(static_cast<char>('a' + i % 26));
    }
    Response response;
    response.status = 401;
    response.contentType = "application/json";
    response.chunks = { body.left(120), body.mid(120) + "\n" };
    harness.server.respond("/v1/messages", response);
    const Outcome outcome = harness.run(claude());
    QVERIFY(outcome.error);
    QCOMPARE(outcome.error->message, QStringLiteral("HTTP 401: ") + QString::fromLatin1(body.left(300)));
    QVERIFY(outcome.texts.isEmpty());

    // Lines of an error body are joined without separators.
    response.status = 500;
    response.chunks = { "first\r\n", "second\n" };
    harness.server.respond("/v1/messages", response);
    QCOMPARE(harness.run(claude()).error->message, QStringLiteral("HTTP 500: firstsecond"));
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

void LLMClientTest::badBodies_data()
{
    QTest::addColumn<bool>("viaOpenAI");
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QStringList>("texts"); // empty: the reply fails for want of text
    QByteArray huge = "data: {\"type\":\"content_block_delta\",\"delta\":{\"type\":\"text_delta\",\"text\":\"";
    huge.append(QByteArray(10 * 1024 * 1024, 'z'));
    huge.append("\"}}\n\n");
    QList<QByteArray> hugeChunks;
    for (qsizetype at = 0; at < huge.size(); at += 256 * 1024) {
        hugeChunks.append(huge.mid(at, 256 * 1024));
    }
    hugeChunks.append(fakeEvents::claudeText(QStringLiteral("after")));
    const QByteArray stream("text/event-stream");
    QTest::newRow("10 MiB event line") << false << hugeChunks << stream << QStringList { QStringLiteral("after") };
    QByteArray garbage;
    for (int i = 0; i < 70000; ++i) {
        garbage.append(static_cast<char>((i * 7919) % 256));
    }
    QTest::newRow("binary garbage") << false << QList<QByteArray> { garbage, garbage }
                                    << QByteArray("application/octet-stream") << QStringList();
    QTest::newRow("html with status 200")
        << false << QList<QByteArray> { "<!DOCTYPE html>\n<html><body>\n<p>data: maybe</p>\n", "</body></html>\n" }
        << QByteArray("text/html") << QStringList();
    QTest::newRow("garbage events then [DONE]")
        << true << QList<QByteArray> { "data: {oops\n\n", "data: [1,2]\n\n", fakeEvents::done() } << stream
        << QStringList();
}

void LLMClientTest::badBodies()
{
    QFETCH(bool, viaOpenAI);
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QByteArray, contentType);
    QFETCH(QStringList, texts);
    Harness harness;
    Response response = events(chunks);
    response.contentType = contentType;
    harness.server.respond(viaOpenAI ? "/v1/chat/completions" : "/v1/messages", response);
    const Outcome outcome = harness.run(viaOpenAI ? openAI() : claude());
    if (texts.isEmpty()) {
        QVERIFY(outcome.error);
        QCOMPARE(outcome.error->message, QStringLiteral("The model sent no text."));
    } else {
        QVERIFY2(!outcome.error, qPrintable(outcome.error ? outcome.error->message : QString()));
        QCOMPARE(outcome.texts, texts);
    }
}

void LLMClientTest::silentServerTimesOut()
{
    Harness harness;
    harness.server.respond("/v1/messages", events({ fakeEvents::claudeText(QStringLiteral("Half")) }, Ending::hang));
    const Outcome outcome = harness.run(claude());
    QVERIFY(outcome.error);
    QCOMPARE(outcome.error->message, QStringLiteral("The request timed out."));
    QCOMPARE(outcome.texts, QStringList { QStringLiteral("Half") });
    QTRY_COMPARE(harness.server.connectionsClosed(), 1);
}

void LLMClientTest::connectionReset()
{
    Harness harness;
    harness.server.respond("/v1/messages", events({ fakeEvents::claudeText(QStringLiteral("Half")) }, Ending::reset));
    const Outcome outcome = harness.run(claude());
    QVERIFY(outcome.error);
    QVERIFY(!outcome.error->message.isEmpty());
    QVERIFY(outcome.error->message != QStringLiteral("<never finished>"));
    QCOMPARE(outcome.texts, QStringList { QStringLiteral("Half") });
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

void LLMClientTest::endlessErrorBodyEndsEarly()
{
    Harness harness;
    Response response;
    response.status = 503;
    response.contentType = "text/plain";
    response.ending = Ending::hang;
    response.chunks = { QByteArray(40 * 1024, 'e'), QByteArray(40 * 1024, 'e') };
    harness.server.respond("/v1/messages", response);
    const Outcome outcome = harness.run(claude());
    QVERIFY(outcome.error);
    QCOMPARE(outcome.error->message, QStringLiteral("HTTP 503: ") + QString(300, u'e'));
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

void LLMClientTest::onDevice_data()
{
    QTest::addColumn<QString>("configured");
    QTest::addColumn<QString>("expectedModel");
    QTest::newRow("first listed model") << QString() << QStringLiteral("llama3.2");
    QTest::newRow("configured model") << QStringLiteral("qwen2.5") << QStringLiteral("qwen2.5");
}

void LLMClientTest::onDevice()
{
    QFETCH(QString, configured);
    QFETCH(QString, expectedModel);
    Harness harness;
    harness.endpoints.localModel = configured;
    Response models;
    models.contentType = "application/json";
    models.chunks = { R"({"object":"list","data":[{"id":"llama3.2","object":"model"},{"id":"qwen2.5"}]})" };
    harness.server.respond("/v1/models", models);
    harness.server.respond("/v1/chat/completions",
        events({ fakeEvents::openAIText(QStringLiteral("Olá")), fakeEvents::openAIText(QStringLiteral("!")),
            fakeEvents::done() }));
    LLMRequest request = claude(schema);
    request.provider = LLMProvider::onDevice;
    request.model = QStringLiteral("ignored-model");
    request.apiKey.reset();
    const Outcome outcome = harness.run(request);
    QVERIFY(!outcome.error);
    QCOMPARE(outcome.texts, (QStringList { QStringLiteral("Olá"), QStringLiteral("Olá!") }));
    QCOMPARE(harness.server.requests().size(), 2);
    QCOMPARE(harness.server.requests().at(0).method, QByteArray("GET"));
    const FakeHttpServer::Request& chat = harness.server.requests().at(1);
    QCOMPARE(chat.path, QByteArray("/v1/chat/completions"));
    QVERIFY(!chat.hasHeader("authorization"));
    QJsonObject expected = parse(R"({"stream":true,"messages":[
        {"role":"system","content":"System «prompt»"},{"role":"user","content":"You: hi\nOther: hello?"}]})");
    expected.insert(QStringLiteral("model"), expectedModel);
    QCOMPARE(chat.json(), expected);
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
    QTest::newRow("not json") << 200 << QByteArray("oops") << QStringLiteral("info: warm-up write 0 read 0");
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
    QSignalSpy received(&harness.server, &FakeHttpServer::requestReceived);
    harness.client.warmUp(QStringLiteral("claude-haiku-5-5"), QStringLiteral("sk-ant-test"), QStringLiteral("Sys"),
        QStringLiteral("low"));
    QTRY_COMPARE(log.messages().filter(QStringLiteral("warm-up")).size(), 1);
    QCOMPARE(
        log.messages().filter(QStringLiteral("warm-up")).first(), QStringLiteral("Vessaro.Quillora.latency ") + logged);
    const FakeHttpServer::Request& sent = harness.server.requests().first();
    QCOMPARE(sent.header("x-api-key"), QByteArray("sk-ant-test"));
    QCOMPARE(sent.header("anthropic-version"), QByteArray("2026-10-21"));
    QCOMPARE(sent.json(), parse(R"({"model":"claude-haiku-5-5","max_tokens":0,
        "system":[{"type":"text","text":"Sys","cache_control":{"type":"ephemeral"}}],
        "messages":[{"role":"user","content":"warmup"}],"output_config":{"effort":"low"}})"));
}

QTEST_GUILESS_MAIN(LLMClientTest)
#include "LLMClientTest.moc"
