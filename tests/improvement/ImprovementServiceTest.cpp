#include "improvement/ImprovementService.h"
#include "common/Uuid.h"
#include "fakes/FakeHttpServer.h"
#include "fakes/LogCapture.h"
#include "fakes/ManualClock.h"
#include "improvement/ProposalReview.h"
#include "settings/Settings.h"
#include "store/Store.h"
#include "store/StoreContext.h"
#include "store/StoreHolder.h"
#include "suggestions/SuggestionService.h"

#include <SQLiteCpp/Database.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace std::chrono_literals;
using Response = FakeHttpServer::Response;

namespace {

const QDateTime monday(QDate(2026, 3, 2), QTime(14, 0), Qt::UTC);

// How the loopback model answers one request.
struct Answer {
    Answer(QString text = {}, int status = 200)
        : text(std::move(text))
        , status(status)
    {
    }

    QString text; // the reply text, streamed in two pieces
    int status; // anything else: an error body instead
};

// One proposal as a reply lists it: with its quotes (an analysis) or its sources (the merge).
QString item(const char* kind, const QString& question, const QString& answer, const QString& text,
    const QString& reason, const char* listName, const QJsonArray& list)
{
    const QJsonObject object {
        { QStringLiteral("kind"), QString::fromLatin1(kind) },
        { QStringLiteral("question"), question },
        { QStringLiteral("answer"), answer },
        { QStringLiteral("language"), QStringLiteral("en") },
        { QStringLiteral("targetQA"), QString() },
        { QStringLiteral("text"), text },
        { QStringLiteral("reason"), reason },
        { QString::fromLatin1(listName), list },
    };
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

QString proposal(const char* kind, const QString& question, const QString& answer, const QString& text,
    const QList<std::pair<QString, QString>>& quotes)
{
    QJsonArray quoteArray;
    for (const auto& [callID, passage] : quotes) {
        quoteArray.append(QJsonObject { { QStringLiteral("callID"), callID }, { QStringLiteral("text"), passage } });
    }
    return item(kind, question, answer, text, QStringLiteral("It came up."), "quotes", quoteArray);
}

QString mergeItem(
    const char* kind, const QString& question, const QString& answer, const QString& text, const QList<int>& sources)
{
    QJsonArray indexes;
    for (const int source : sources) {
        indexes.append(source);
    }
    return item(kind, question, answer, text, QStringLiteral("Asked in two calls."), "sources", indexes);
}

QString proposals(const QStringList& items)
{
    return QStringLiteral("{\"proposals\":[") + items.join(u',') + QStringLiteral("]}");
}

// The user message of a request to either provider.
QString userOf(const FakeHttpServer::Request& request)
{
    return request.json()
        .value(QLatin1String("messages"))
        .toArray()
        .last()
        .toObject()
        .value(QLatin1String("content"))
        .toString();
}

// An assistant with three new calls on a store file of its own: the oldest and the newest have
// lines, the middle one none. The loopback model answers each call's analysis and the merge from
// scripts the test can change before the run.
struct Harness {
    enum class StoreKind { file, fallback };

    explicit Harness(const QString& provider = QStringLiteral("claude"), StoreKind kind = StoreKind::file)
        : settings(directory.filePath(QStringLiteral("Quillora.conf")), nullptr)
        , path(directory.filePath(QStringLiteral("Assistants.store")))
        , client(&network, LLMEndpoints::sourceFor(&settings), LLMTimeouts { 5000ms, 500ms })
    {
        settings.setText(SettingKey::llmProvider, provider);
        settings.setText(SettingKey::anthropicBaseURL, server.baseURL());
        settings.setText(SettingKey::openaiBaseURL, server.baseURL());
        auto opened = kind == StoreKind::file ? Store::open(path) : Store::openInMemory();
        QVERIFY(opened);
        holder = std::make_unique<StoreHolder>(
            *opened, kind == StoreKind::fallback, [this] { return Store::open(path); }, nullptr, &clock);
        ImprovementServiceOptions options;
        // A copy: QCoro's co_return moves from what it is given.
        options.readKey = [this](const QString&) -> QCoro::Task<std::optional<QString>> {
            co_return std::optional<QString>(key);
        };
        service = std::make_unique<ImprovementService>(client, &settings, nullptr, options);
        server.handle("/v1/messages", [this](const FakeHttpServer::Request& request) { return answer(request); });
        server.handle(
            "/v1/chat/completions", [this](const FakeHttpServer::Request& request) { return answer(request); });
        addAssistant();
    }

    void addAssistant()
    {
        StoreContext& context = holder->context();
        assistant = Assistant::make(QStringLiteral("Interviews"), AssistantTemplate::blank);
        context.insert(assistant);
        bankItem = QAItem::make(
            QStringLiteral("Why this company?"), QStringLiteral("The mission."), QString(), QStringLiteral("manual"));
        bankItem.assistant = assistant.id;
        context.insert(bankItem);
        const QList<QList<CallLine>> transcripts {
            {
                { false, QStringLiteral("What is your notice period?"), monday },
                { true, QStringLiteral("I can start in two weeks, after my notice."), monday },
                { false, QStringLiteral("And your salary expectations?"), monday },
                { true, QStringLiteral("Around sixty thousand, depending on benefits."), monday },
            },
            {},
            {
                { false, QStringLiteral("Do you work remotely?"), monday },
                { true, QStringLiteral("Yes, I have worked remotely for five years."), monday },
            },
        };
        for (qsizetype i = 0; i < transcripts.size(); ++i) {
            Call call;
            call.id = uuid::create();
            call.startedAt = monday.addDays(i);
            call.endedAt = call.startedAt.addSecs(1800);
            call.assistant = assistant.id;
            call.linesData = blob::encodeLines(transcripts[i]);
            call.suggestionsData = blob::encodeSuggestions({});
            context.insert(call);
            calls.append(call);
        }
        QVERIFY(context.save());
        const QString first = uuid::toText(calls[0].id);
        const QString third = uuid::toText(calls[2].id);
        scripts[first] = Answer { proposals({
            proposal("newQA", QStringLiteral("What is your notice period?"), QStringLiteral("Two weeks."), QString(),
                { { first, QStringLiteral("I can start in two weeks, after my notice.") } }),
            proposal("style", QString(), QString(), QStringLiteral("Gives concrete numbers."),
                { { first, QStringLiteral("You: \u201Caround sixty thousand\u201D") } }),
            // A near miss: one word differs from what was said.
            proposal("newQA", QStringLiteral("Salary?"), QStringLiteral("Sixty."), QString(),
                { { first, QStringLiteral("Around seventy thousand, depending on benefits.") } }),
        }) };
        scripts[third] = Answer { proposals({
            proposal("newQA", QStringLiteral("Do you work remotely?"), QStringLiteral("Yes, for five years."),
                QString(), { { third.toLower(), QStringLiteral("Yes, I have worked remotely for five years.") } }),
        }) };
        merge = Answer { proposals({
            mergeItem(
                "newQA", QStringLiteral("What is your notice period?"), QStringLiteral("Two weeks."), QString(), { 0 }),
            mergeItem("newQA", QStringLiteral("Do you work remotely?"), QStringLiteral("Yes, for five years."),
                QString(), { 2, 2 }),
            mergeItem("style", QString(), QString(), QStringLiteral("Made up."), { 7 }),
        }) };
    }

    Response answer(const FakeHttpServer::Request& request)
    {
        if (onRequest) {
            onRequest();
        }
        const QJsonObject body = request.json();
        const QJsonArray messages = body.value(QLatin1String("messages")).toArray();
        const QString system = body.contains(QLatin1String("system"))
            ? body.value(QLatin1String("system")).toString()
            : messages.first().toObject().value(QLatin1String("content")).toString();
        const QString user = userOf(request);
        Answer script = merge;
        if (system != improvement::mergeSystemPrompt()) {
            static const QRegularExpression callLine(QStringLiteral("^Call ([0-9A-F-]{36}), on "));
            script = scripts.value(callLine.match(user).captured(1));
        }
        Response response;
        if (script.status != 200) {
            response.status = script.status;
            response.contentType = "application/json";
            response.chunks = { script.text.toUtf8() };
            return response;
        }
        const qsizetype half = script.text.size() / 2;
        for (const QString& piece : { script.text.left(half), script.text.mid(half) }) {
            response.chunks.append(
                request.path == "/v1/messages" ? fakeEvents::claudeText(piece) : fakeEvents::openAIText(piece));
        }
        if (request.path != "/v1/messages") {
            response.chunks.append(fakeEvents::done());
        }
        return response;
    }

    // Runs improvement for the assistant and waits for its end.
    bool runToEnd()
    {
        QSignalSpy ended(service.get(), &ImprovementService::ended);
        service->run(assistant.id, holder.get());
        return !ended.isEmpty() || ended.wait(10000);
    }

    std::vector<Proposal> stored() const
    {
        return holder->container()->newContext()->fetch<Proposal>(Query::ofAssistant(assistant.id)).value();
    }
    QList<bool> reviewed() const
    {
        QList<bool> flags;
        const auto context = holder->container()->newContext();
        for (const Call& call : calls) {
            flags.append(context->fetchOne<Call>(call.id).value()->reviewedForImprovement);
        }
        return flags;
    }
    QString dateOf(int call) const
    {
        return QLocale().toString(calls[call].startedAt.toLocalTime(), QLocale::ShortFormat);
    }

    QTemporaryDir directory;
    Settings settings;
    QString path;
    ManualClock clock;
    FakeHttpServer server;
    QNetworkAccessManager network;
    LLMClient client;
    std::optional<QString> key = QStringLiteral("sk-test");
    std::unique_ptr<StoreHolder> holder;
    std::unique_ptr<ImprovementService> service;
    Assistant assistant;
    QAItem bankItem;
    QList<Call> calls;
    QHash<QString, Answer> scripts; // by call id
    Answer merge;
    std::function<void()> onRequest;
};

QString quoteTexts(const Proposal& proposal)
{
    QStringList texts;
    for (const ProposalQuote& quote : proposal.quotes()) {
        texts.append(quote.text);
    }
    return texts.join(u'|');
}

} // namespace

class ImprovementServiceTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void wholeRun_data();
    void wholeRun();
    void startChecks_data();
    void startChecks();
    void failures_data();
    void failures();
    void callOfItsOwnIsSkipped_data();
    void callOfItsOwnIsSkipped();
    void secondRunIsDropped();
    void storeReopenedDuringRun_data();
    void storeReopenedDuringRun();
    void nextSuggestionUsesAcceptedItem();
};

void ImprovementServiceTest::wholeRun_data()
{
    QTest::addColumn<QString>("provider");
    QTest::newRow("Claude") << QStringLiteral("claude");
    QTest::newRow("OpenAI") << QStringLiteral("openai");
}

void ImprovementServiceTest::wholeRun()
{
    QFETCH(QString, provider);
    Harness harness(provider);
    LogCapture log;
    QSignalSpy progress(harness.service.get(), &ImprovementService::progressChanged);
    QStringList progressTexts;
    connect(harness.service.get(), &ImprovementService::progressChanged, this,
        [&] { progressTexts.append(harness.service->progress()); });
    QVERIFY(harness.runToEnd());

    QCOMPARE(harness.service->message(), QStringLiteral("2 new proposals."));
    QCOMPARE(harness.service->runningAssistant(), std::nullopt);
    QCOMPARE(progressTexts,
        (QStringList { QStringLiteral("Analyzing call 1 of 3\u2026"), QStringLiteral("Analyzing call 2 of 3\u2026"),
            QStringLiteral("Analyzing call 3 of 3\u2026"), QStringLiteral("Merging the proposals\u2026"), QString() }));

    // Two analyses (the call without lines sends nothing) and the merge, each with its schema and
    // high effort; the merge gets the candidates of both analyses.
    const QList<FakeHttpServer::Request>& requests = harness.server.requests();
    QCOMPARE(requests.size(), 3);
    for (qsizetype i = 0; i < requests.size(); ++i) {
        const QJsonObject body = requests[i].json();
        const QJsonObject& schema = i < 2 ? improvement::analysisSchema() : improvement::mergeSchema();
        const QJsonObject format = provider == QLatin1String("claude")
            ? body.value(QLatin1String("output_config")).toObject().value(QLatin1String("format")).toObject()
            : body.value(QLatin1String("response_format")).toObject().value(QLatin1String("json_schema")).toObject();
        QCOMPARE(format.value(QLatin1String("schema")).toObject(), schema);
    }
    if (provider == QLatin1String("claude")) {
        QCOMPARE(requests[0].json()[QLatin1String("output_config")][QLatin1String("effort")].toString(),
            QStringLiteral("high"));
    }
    QVERIFY(userOf(requests[2])
                .endsWith(QStringLiteral("\n[2] kind: newQA | question: Do you work remotely? | answer: Yes, for five "
                                         "years. | language: en | reason: It came up.")));

    const std::vector<Proposal> stored = harness.stored();
    QCOMPARE(stored.size(), size_t(2));
    QCOMPARE(stored[0].question, QStringLiteral("What is your notice period?"));
    QCOMPARE(stored[0].status, QStringLiteral("pending"));
    QCOMPARE(quoteTexts(stored[0]), QStringLiteral("I can start in two weeks, after my notice."));
    QCOMPARE(stored[1].question, QStringLiteral("Do you work remotely?"));
    QCOMPARE(quoteTexts(stored[1]), QStringLiteral("Yes, I have worked remotely for five years."));
    QCOMPARE(harness.reviewed(), (QList<bool> { true, true, true }));

    const QStringList lines = log.texts(QStringLiteral("Vessaro.Quillora.improvement"));
    QCOMPARE(lines.first(),
        QStringLiteral("start: 3 calls, %1 %2")
            .arg(provider,
                harness.settings.improvementModel(
                    provider == QLatin1String("claude") ? LLMProvider::claude : LLMProvider::openai)));
    QVERIFY(lines.contains(QStringLiteral("call 1/3: 3 drafts, 2 valid")));
    QCOMPARE(lines.last(), QStringLiteral("done: 2 proposals"));
    QVERIFY(!log.messages().join(u'\n').contains(QStringLiteral("seventy")));
}

void ImprovementServiceTest::startChecks_data()
{
    QTest::addColumn<QString>("provider");
    QTest::addColumn<bool>("knownAssistant");
    QTest::addColumn<bool>("reviewedAlready");
    QTest::addColumn<QString>("message");
    QTest::newRow("on-device provider") << QStringLiteral("onDevice") << true << false
                                        << ImprovementService::chooseProviderMessage();
    QTest::newRow("unknown assistant") << QStringLiteral(
        "claude") << false << false << QStringLiteral("Improvement failed: assistant not found. Nothing was changed.");
    QTest::newRow("no new calls") << QStringLiteral("openai") << true << true
                                  << ImprovementService::noNewCallsMessage();
}

void ImprovementServiceTest::startChecks()
{
    QFETCH(QString, provider);
    QFETCH(bool, knownAssistant);
    QFETCH(bool, reviewedAlready);
    QFETCH(QString, message);
    Harness harness(provider);
    if (reviewedAlready) {
        for (Call call : harness.calls) {
            call.reviewedForImprovement = true;
            harness.holder->context().update(call);
        }
        QVERIFY(harness.holder->context().save());
    }
    QSignalSpy messages(harness.service.get(), &ImprovementService::messageChanged);
    QSignalSpy running(harness.service.get(), &ImprovementService::runningAssistantChanged);
    QSignalSpy ended(harness.service.get(), &ImprovementService::ended);
    for (int attempt = 0; attempt < 2; ++attempt) {
        harness.service->run(knownAssistant ? harness.assistant.id : uuid::create(), harness.holder.get());
        QVERIFY(ended.size() > attempt || ended.wait(5000));
    }
    QCOMPARE(harness.service->message(), message);
    QCOMPARE(messages.size(), 1); // the same text again does not notify
    QCOMPARE(running.size(), 0);
    QVERIFY(harness.server.requests().isEmpty());
}

enum class Fault { mergeWrongKind, serverError, noKey, assistantDeleted, saveFails };
Q_DECLARE_METATYPE(Fault)

void ImprovementServiceTest::failures_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<QString>("description"); // what follows "Improvement failed: "
    QTest::newRow("merge reply with a wrong kind")
        << Fault::mergeWrongKind << QStringLiteral("proposal 1 has the unknown kind \"question\"");
    QTest::newRow("request error") << Fault::serverError << QStringLiteral("HTTP 500: {\"error\":\"down\"}");
    QTest::newRow("no key") << Fault::noKey << QStringLiteral("Add an API key in Settings (Ctrl+,)");
    QTest::newRow("assistant removed during the run")
        << Fault::assistantDeleted << ImprovementService::assistantDeleted();
    QTest::newRow("save fails at the end") << Fault::saveFails << QStringLiteral("database or disk is full");
}

void ImprovementServiceTest::failures()
{
    QFETCH(Fault, fault);
    QFETCH(QString, description);
    Harness harness;
    switch (fault) {
    case Fault::mergeWrongKind:
        harness.merge.text.replace(QStringLiteral("\"newQA\""), QStringLiteral("\"question\""));
        break;
    case Fault::serverError:
        harness.scripts[uuid::toText(harness.calls[2].id)] = Answer { QStringLiteral("{\"error\":\"down\"}"), 500 };
        break;
    case Fault::noKey: harness.key.reset(); break;
    case Fault::assistantDeleted:
        harness.onRequest = [&harness] {
            const auto other = harness.holder->container()->newContext();
            other->remove<Assistant>(harness.assistant.id);
            QVERIFY(other->save());
            harness.onRequest = nullptr;
        };
        break;
    case Fault::saveFails:
        // Three proposals reach the save, which the store then refuses.
        harness.merge.text = proposals({
            mergeItem("newQA", QStringLiteral("Notice?"), QStringLiteral("Two weeks."), QString(), { 0 }),
            mergeItem("style", QString(), QString(), QStringLiteral("Numbers."), { 1 }),
            mergeItem("newQA", QStringLiteral("Remote?"), QStringLiteral("Yes."), QString(), { 2 }),
        });
        harness.holder->container()->database().exec("CREATE TRIGGER refuse AFTER INSERT ON \"Proposal\" "
                                                     "WHEN (SELECT count(*) FROM \"Proposal\") = 3 "
                                                     "BEGIN SELECT RAISE(ABORT, 'database or disk is full'); END");
        break;
    }
    LogCapture log;
    QVERIFY(harness.runToEnd());
    const QString message = harness.service->message().value_or(QString());
    QVERIFY2(message.startsWith(QStringLiteral("Improvement failed: ") + description), qPrintable(message));
    QVERIFY(message.endsWith(QStringLiteral(". Nothing was changed.")));
    QCOMPARE(harness.service->runningAssistant(), std::nullopt);
    QCOMPARE(harness.service->progress(), QString());
    QVERIFY(harness.stored().empty());
    if (fault != Fault::assistantDeleted) {
        QCOMPARE(harness.reviewed(), (QList<bool> { false, false, false }));
    }
    QVERIFY(log.texts(QStringLiteral("Vessaro.Quillora.improvement")).last().startsWith(QStringLiteral("failed: ")));
}

void ImprovementServiceTest::callOfItsOwnIsSkipped_data()
{
    QTest::addColumn<QString>("provider");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("reason"); // as the final message gives it
    QTest::newRow("reply not JSON") << QStringLiteral("claude") << QStringLiteral("I cannot help with that")
                                    << QStringLiteral("the reply is not valid JSON (");
    QTest::newRow("reply without text") << QStringLiteral("openai") << QString()
                                        << QStringLiteral("The model sent no text.");
}

void ImprovementServiceTest::callOfItsOwnIsSkipped()
{
    QFETCH(QString, provider);
    QFETCH(QString, text);
    QFETCH(QString, reason);
    Harness harness(provider);
    harness.scripts[uuid::toText(harness.calls[0].id)] = Answer { text };
    harness.merge.text = proposals({ mergeItem(
        "newQA", QStringLiteral("Do you work remotely?"), QStringLiteral("Yes, for five years."), QString(), { 0 }) });
    QVERIFY(harness.runToEnd());

    const QString message = harness.service->message().value_or(QString());
    const QString note =
        QStringLiteral("1 new proposal. Skipped the call of ") + harness.dateOf(0) + QStringLiteral(": ");
    QVERIFY2(message.startsWith(note + reason), qPrintable(message));
    QVERIFY(message.endsWith(u'.'));
    QCOMPARE(harness.stored().size(), size_t(1));
    // The skipped call stays new for a later run; the others are done.
    QCOMPARE(harness.reviewed(), (QList<bool> { false, true, true }));

    // The next run analyses only the skipped call. Failing the same way again, it is given up on:
    // marked reviewed, with the reason in the message, the log and the call, and never billed again.
    LogCapture log;
    const qsizetype before = harness.server.requests().size();
    QVERIFY(harness.runToEnd());
    QCOMPARE(harness.server.requests().size(), before + 1);
    const QString given = QStringLiteral("Improvement failed: no call could be analyzed. Gave up on the call of ")
        + harness.dateOf(0) + QStringLiteral(" after the same failure twice: ") + reason;
    QVERIFY2(harness.service->message()->startsWith(given), qPrintable(*harness.service->message()));
    QVERIFY(harness.service->message()->endsWith(QStringLiteral(" in its row in the Calls tab.")));
    QVERIFY(log.texts(QStringLiteral("Vessaro.Quillora.improvement"))
                .filter(QStringLiteral("call 1/1 given up after 2 failures: ") + reason.chopped(1))
                .size()
        == 1);
    QCOMPARE(harness.reviewed(), (QList<bool> { true, true, true }));
    const Call stored = harness.holder->container()->newContext()->fetchOne<Call>(harness.calls[0].id).value().value();
    QVERIFY(stored.improvementFailure.startsWith(reason.chopped(1)));
    QVERIFY(harness.runToEnd());
    QCOMPARE(harness.service->message(), ImprovementService::noNewCallsMessage());
    QCOMPARE(harness.server.requests().size(), before + 1);
}

void ImprovementServiceTest::secondRunIsDropped()
{
    Harness harness;
    QSignalSpy received(&harness.server, &FakeHttpServer::requestReceived);
    QSignalSpy ended(harness.service.get(), &ImprovementService::ended);
    harness.service->run(harness.assistant.id, harness.holder.get());
    QVERIFY(received.wait(5000));
    QCOMPARE(harness.service->runningAssistant(), harness.assistant.id);

    QSignalSpy running(harness.service.get(), &ImprovementService::runningAssistantChanged);
    QSignalSpy messages(harness.service.get(), &ImprovementService::messageChanged);
    harness.service->run(harness.assistant.id, harness.holder.get());
    harness.service->run(uuid::create(), harness.holder.get());
    QCOMPARE(running.size(), 0);
    QCOMPARE(messages.size(), 0);

    // The first request is answered once this turn of the event loop is over.
    QVERIFY(ended.wait(10000));
    QCOMPARE(ended.size(), 1);
    QCOMPARE(harness.service->message().value_or(QString()), QStringLiteral("2 new proposals."));
    QCOMPARE(harness.server.requests().size(), 3);
}

void ImprovementServiceTest::storeReopenedDuringRun_data()
{
    QTest::addColumn<bool>("fallback");
    QTest::newRow("store file reopened") << false;
    QTest::newRow("in-memory fallback") << true;
}

void ImprovementServiceTest::storeReopenedDuringRun()
{
    QFETCH(bool, fallback);
    Harness harness(QStringLiteral("claude"), fallback ? Harness::StoreKind::fallback : Harness::StoreKind::file);
    const std::weak_ptr<Store> original = harness.holder->container();
    // While the first call is analysed, another process adds a bank item and says so; the app
    // reopens its store (the file store) or ignores the notice (the in-memory fallback).
    harness.onRequest = [&] {
        harness.onRequest = nullptr;
        auto other = fallback ? std::shared_ptr<Store>(harness.holder->container()) : *Store::open(harness.path);
        const auto context = other->newContext();
        QAItem item = QAItem::make(
            QStringLiteral("Written elsewhere?"), QStringLiteral("Yes."), QString(), QStringLiteral("manual"));
        item.assistant = harness.assistant.id;
        context->insert(item);
        QVERIFY(context->save());
        harness.holder->externalWrite();
        harness.clock.advance(std::chrono::milliseconds(StoreHolder::debounceMs));
    };
    QVERIFY(harness.runToEnd());
    QCOMPARE(harness.holder->generation(), fallback ? 0 : 1);
    QCOMPARE(original.expired(), !fallback);

    QCOMPARE(harness.service->message(), QStringLiteral("2 new proposals."));
    // The second analysis read the bank again, from the store as it now is.
    const QString secondUser = userOf(harness.server.requests()[1]);
    QVERIFY(secondUser.contains(QStringLiteral("] Q: Written elsewhere? | A: Yes.")));
    QCOMPARE(harness.holder->context().fetch<Proposal>().value().size(), size_t(2));
    QCOMPARE(harness.reviewed(), (QList<bool> { true, true, true }));
    if (!fallback) {
        QCOMPARE((*Store::open(harness.path))->newContext()->count<Proposal>().value(), 2);
    }
}

void ImprovementServiceTest::nextSuggestionUsesAcceptedItem()
{
    Harness harness;
    QVERIFY(harness.runToEnd());
    const std::vector<Proposal> stored = harness.stored();
    QCOMPARE(stored.size(), size_t(2));
    QVERIFY(proposalReview::accept(harness.holder->context(), stored[1].id));
    QVERIFY(harness.holder->context().save());

    harness.settings.setText(SettingKey::selectedAssistant, uuid::toText(harness.assistant.id));
    Transcript transcript(nullptr);
    SuggestionServiceOptions options;
    options.pause = 1ms;
    options.readKey = [](const QString&) -> QCoro::Task<std::optional<QString>> {
        co_return std::optional<QString>(QStringLiteral("sk-test"));
    };
    SuggestionService suggestions(
        &transcript, [&harness]() -> StoreContext& { return harness.holder->context(); }, harness.client,
        &harness.settings, nullptr, options);
    Response reply;
    reply.chunks = { fakeEvents::claudeText(QStringLiteral("Yes.")) };
    harness.server.respond("/v1/messages", reply);
    QSignalSpy received(&harness.server, &FakeHttpServer::requestReceived);
    transcript.handleText(QStringLiteral("Would you work from home?"), true, Speaker::them);
    suggestions.suggestNow();
    QVERIFY(received.wait(5000));
    const QJsonValue system = harness.server.requests().last().json().value(QLatin1String("system"));
    const QString prompt = system.isArray()
        ? system.toArray().first().toObject().value(QLatin1String("text")).toString()
        : system.toString();
    QVERIFY2(prompt.contains(QStringLiteral("Do you work remotely?")), qPrintable(prompt));
    QVERIFY(prompt.contains(QStringLiteral("Yes, for five years.")));
}

QTEST_GUILESS_MAIN(ImprovementServiceTest)
#include "ImprovementServiceTest.moc"
