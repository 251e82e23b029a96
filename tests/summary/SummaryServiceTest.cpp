#include "summary/SummaryService.h"
#include "common/Dates.h"
#include "common/Uuid.h"
#include "fakes/FakeHttpServer.h"
#include "fakes/Golden.h"
#include "fakes/LogCapture.h"
#include "fakes/ManualClock.h"
#include "fakes/PulseTestSupport.h"
#include "fakes/UserFolders.h"
#include "settings/Settings.h"
#include "store/Store.h"
#include "store/StoreContext.h"
#include "suggestions/SuggestionService.h"
#include "summary/CallArchive.h"
#include "summary/CallJournal.h"
#include "transcription/TranscriptionService.h"

#include <SQLiteCpp/Database.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace std::chrono_literals;
using Response = FakeHttpServer::Response;
using Ending = FakeHttpServer::Ending;
Q_DECLARE_METATYPE(FakeHttpServer::Response)
Q_DECLARE_METATYPE(LLMProvider)
Q_DECLARE_METATYPE(CallRating)

namespace {

const QDateTime callStart(QDate(2026, 3, 4), QTime(10, 0), Qt::UTC);

Response reply(const QList<QByteArray>& events, Ending ending = Ending::complete)
{
    Response response;
    response.chunks = events;
    response.ending = ending;
    return response;
}

QCoro::Task<SuggestionSettings> ready(SuggestionSettings settings)
{
    co_return settings;
}

// "w1 w2 ..." from the given number on.
QString words(int count, int from = 1)
{
    QStringList out;
    for (int i = from; i < from + count; ++i) {
        out.append(u'w' + QString::number(i));
    }
    return out.join(u' ');
}

// The service with a real (idle) transcription and suggestion service, the loopback model
// server, an in-memory store and the process's own settings and documents folder. The running
// flag is handed to the service's handler; one test listens through a live transcription instead.
struct Harness {
    explicit Harness(LLMProvider provider = LLMProvider::claude)
        : settings(nullptr)
        , store(*Store::openInMemory())
        , context(store->newContext())
        , clock(callStart)
        , transcription(nullptr, TranscriptionService::Options { &settings, {}, &clock })
        , client(
              &network, [this] { return endpoints(); }, LLMTimeouts { 5000ms, 500ms })
        , suggestions(
              &transcription.transcript(), [this]() -> StoreContext& { return *context; }, client, &settings, nullptr,
              SuggestionServiceOptions { 1ms,
                  [this](const QString&) -> QCoro::Task<std::optional<QString>> {
                      co_return std::optional<QString>(suggestionKey);
                  },
                  nullptr })
    {
        const bool local = provider == LLMProvider::onDevice;
        llm = SuggestionSettings { provider, local ? QString() : QStringLiteral("model-test"), QString(),
            local ? std::nullopt : std::optional(QStringLiteral("sk-test")) };
        settings.setText(SettingKey::llmProvider, QStringLiteral("openai")); // the suggestions' provider
        settings.remove(SettingKey::selectedAssistant);
        settings.remove(SettingKey::selectedContext);
        makeService();
    }

    LLMEndpoints endpoints() const
    {
        return LLMEndpoints { server.baseURL(), server.baseURL(), server.baseURL() + QStringLiteral("/v1"), QString() };
    }

    void makeService()
    {
        SummaryServiceOptions options { .readKey = {},
            .loadSettings = [this] { return ready(llm); },
            .journal = journal,
            .unstoredReason = unstoredReason };
        service = std::make_unique<SummaryService>(
            &transcription, [this] { return suggestions.history(); }, [this]() -> StoreContext& { return *context; },
            client, &settings, nullptr, options);
        QObject::connect(
            &suggestions, &SuggestionService::historyChanged, service.get(), &SummaryService::suggestionsChanged);
    }

    // Lines alternate between the other person and the user, ten seconds apart.
    void say(const QStringList& lines)
    {
        for (const QString& text : lines) {
            clock.advance(10s);
            transcription.transcript().handleText(text, true, them ? Speaker::them : Speaker::me);
            them = !them;
        }
    }

    void startCall()
    {
        transcription.transcript().clear();
        service->handleRunningFlag(true);
    }

    void stopCall() { service->handleRunningFlag(false); }

    // Ends a call whose summary then starts to stream and hangs; false when it never starts.
    bool stopWhileStreaming()
    {
        server.respond("/v1/messages", reply({ fakeEvents::claudeText(QStringLiteral("Partial")) }, Ending::hang));
        startCall();
        say({ words(30) });
        stopCall();
        return QTest::qWaitFor([this] { return service->text() == QStringLiteral("Partial"); }, 5000);
    }

    void selectAssistant()
    {
        const Assistant assistant = Assistant::make(QStringLiteral("Interviews"), AssistantTemplate::interview);
        const CallContext acme = CallContext::make(QStringLiteral("Acme"), assistant);
        context->insert(assistant);
        context->insert(acme);
        int imported = 0;
        for (const QString& name :
            { QStringLiteral("brief.txt"), QStringLiteral("cv.md"), QStringLiteral("notes.md") }) {
            KnowledgeFile file = KnowledgeFile::make(name, name);
            (imported == 0 ? file.context : file.assistant) = imported == 0 ? acme.id : assistant.id;
            file.importedAt = callStart.addSecs(imported++);
            context->insert(file);
        }
        QVERIFY(context->save());
        selected = { assistant.id, acme.id };
        settings.setText(SettingKey::selectedAssistant, uuid::toText(assistant.id));
        settings.setText(SettingKey::selectedContext, uuid::toText(acme.id));
    }

    // The calls as stored, seen through a context of their own.
    std::vector<Call> calls() const { return store->newContext()->fetch<Call>(Query::all()).value(); }

    QString requestUser() const
    {
        // The last message: an on-device request puts the system prompt first.
        return server.requests()
            .last()
            .json()[QLatin1String("messages")]
            .toArray()
            .last()[QLatin1String("content")]
            .toString();
    }

    Settings settings; // the application's own file, in the throw-away home of the test session
    FakeHttpServer server;
    QNetworkAccessManager network;
    std::shared_ptr<Store> store;
    std::unique_ptr<StoreContext> context;
    ManualClock clock;
    bool them = true;
    TranscriptionService transcription;
    LLMClient client;
    std::optional<QString> suggestionKey;
    SuggestionService suggestions;
    SuggestionSettings llm;
    std::pair<std::optional<QUuid>, std::optional<QUuid>> selected;
    CallJournal* journal = nullptr;
    QString unstoredReason;
    std::unique_ptr<SummaryService> service;
};

// The other side of callOutlivesItsProcess: a call journaled at `path` ("killed": twelve lines and a
// suggestion, still listening; "unstored": a short call ended on a store that lives in memory); prints
// the summary card's error, then "ready", and waits to be killed.
int journalChild(const QString& mode, const QString& path)
{
    UserFolders folders;
    Harness harness;
    CallJournal journal(path, nullptr);
    harness.journal = &journal;
    harness.unstoredReason = mode == QLatin1String("unstored") ? QStringLiteral("disk on fire") : QString();
    harness.makeService();
    harness.startCall();
    if (mode == QLatin1String("killed")) {
        harness.suggestionKey = QStringLiteral("sk-test");
        harness.server.respond(
            "/v1/chat/completions", reply({ fakeEvents::openAIText(QStringLiteral("Say yes.")), fakeEvents::done() }));
        for (int i = 0; i < 12; ++i) {
            harness.say({ words(5, 5 * i + 1) });
        }
        harness.suggestions.suggestNow();
        (void)QTest::qWaitFor(
            [&] { return !harness.suggestions.history().isEmpty() && !harness.suggestions.isWaiting(); });
    } else {
        harness.say({ QStringLiteral("Hello there"), QStringLiteral("Hi"), QStringLiteral("Bye now") });
        harness.stopCall();
    }
    journal.flush();
    std::printf("%s\nready\n", qUtf8Printable(harness.service->saveError().value_or(QString())));
    std::fflush(stdout);
    return QCoreApplication::exec();
}

} // namespace

class SummaryServiceTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<UserFolders> m_folders;

private Q_SLOTS:
    void initTestCase() { m_folders = std::make_unique<UserFolders>(); }

    void init()
    {
        QDir(callArchive::folder()).removeRecursively();
        QFile::remove(callArchive::folder()); // left by the blocked-folder case
    }

    void edgeCases_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<LLMProvider>("provider");
        QTest::addColumn<bool>("withAssistant");
        QTest::addColumn<QString>("user"); // what the model is sent; empty: no model is asked
        QTest::addColumn<QString>("stored"); // the stored summary; empty: nothing is stored
        QTest::addColumn<QString>("notes");
        const QString notes = QStringLiteral("Assistant: Interviews\nContext: Acme\nFiles: cv.md, notes.md, brief.txt");
        const auto claude = LLMProvider::claude;
        QTest::newRow("no lines") << QStringList() << claude << true << QString() << QString() << QString();
        QTest::newRow("19 words") << QStringList { words(10), words(9, 11) } << claude << true << QString()
                                  << SummaryService::shortCallSummary << notes;
        QTest::newRow("20 words") << QStringList { words(10), words(10, 11) } << claude << true
                                  << QStringLiteral("Other: %1\nYou: %2").arg(words(10), words(10, 11))
                                  << QStringLiteral("Done.") << notes;
        QTest::newRow("no assistant") << QStringList { words(20) } << claude << false
                                      << QStringLiteral("Other: ") + words(20) << QStringLiteral("Done.")
                                      << QStringLiteral("Assistant: None\nContext: None\nFiles: None");
        // 100 lines rendered as 100 characters each, line breaks included.
        QStringList lines;
        QString rendered;
        for (int i = 0; i < 100; ++i) {
            const QString label = i % 2 == 0 ? QStringLiteral("Other: ") : QStringLiteral("You: ");
            QString text = QStringLiteral("line %1 ").arg(i);
            text += QString((i == 99 ? 100 : 99) - label.size() - text.size(), u'x');
            lines.append(text);
            rendered += label + text + (i == 99 ? QString() : QStringLiteral("\n"));
        }
        QCOMPARE(rendered.size(), 10000);
        QTest::newRow("on-device, 10000 characters")
            << lines << LLMProvider::onDevice << true << SummaryService::truncationMarker + rendered.right(8000)
            << QStringLiteral("Done.") << notes;
    }

    void edgeCases()
    {
        QFETCH(QStringList, lines);
        QFETCH(LLMProvider, provider);
        QFETCH(bool, withAssistant);
        QFETCH(QString, user);
        QFETCH(QString, stored);
        QFETCH(QString, notes);
        Harness harness(provider);
        if (withAssistant) {
            harness.selectAssistant();
        }
        harness.server.respond("/v1/messages", reply({ fakeEvents::claudeText(QStringLiteral("Done.")) }));
        Response models = reply({ R"({"data":[{"id":"local-model"}]})" });
        models.contentType = "application/json";
        harness.server.respond("/v1/models", models);
        harness.server.respond(
            "/v1/chat/completions", reply({ fakeEvents::openAIText(QStringLiteral("Done.")), fakeEvents::done() }));
        QSignalSpy saved(harness.service.get(), &SummaryService::savedCallIDChanged);
        harness.startCall();
        harness.say(lines);
        harness.stopCall();
        QCOMPARE(harness.service->isGenerating(), !user.isEmpty());
        if (!user.isEmpty()) {
            QVERIFY(saved.wait(5000));
            QCOMPARE(harness.requestUser(), user);
        }
        QVERIFY(harness.server.requests().isEmpty() == user.isEmpty());
        QCOMPARE(harness.service->text(), user.isEmpty() ? std::nullopt : std::optional(stored));

        const std::vector<Call> calls = harness.calls();
        QCOMPARE(calls.size(), size_t(stored.isEmpty() ? 0 : 1));
        QCOMPARE(harness.service->savedCallID().has_value(), !stored.isEmpty());
        if (stored.isEmpty()) {
            QVERIFY(!QFileInfo::exists(callArchive::folder()));
            return;
        }
        const Call& call = calls.front();
        QCOMPARE(harness.service->savedCallID(), std::optional(call.id));
        QCOMPARE(harness.service->savedFile(), std::optional(call.archiveFile));
        QCOMPARE(std::pair(call.assistant, call.context), harness.selected);
        QCOMPARE(call.summary, stored);
        QCOMPARE(call.lines().size(), lines.size());
        QCOMPARE(std::pair(call.startedAt, call.endedAt),
            std::pair(callStart.addSecs(10), callStart.addSecs(10 * lines.size())));
        QFile file(call.archiveFile);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString section = QStringLiteral("## Notes\n\n%1\n\n## Summary\n\n%2").arg(notes, stored);
        QVERIFY(file.readAll().contains(section.toUtf8()));
    }

    void streamedSummaryIsStoredAndServed()
    {
        QCOMPARE(SummaryService::systemPrompt(), goldenText(QStringLiteral("prompts/summary.txt")));
        Harness harness;
        harness.selectAssistant();
        harness.server.respond("/v1/messages",
            reply({ fakeEvents::claudeText(QStringLiteral("Summary: ")),
                fakeEvents::claudeText(QStringLiteral("Agreed.")),
                fakeEvents::claudeText(QStringLiteral("\nDecisions:")) }));
        harness.server.respond("/v1/chat/completions",
            reply({ fakeEvents::openAIText(QStringLiteral("Mention the migration.")), fakeEvents::done() }));
        harness.startCall();
        harness.say({ QStringLiteral("We looked at the plan for the migration, all the steps in order."),
            QStringLiteral("Right, the first step is the schema and then the data itself.") });
        // Two suggestions shown: an error (no key yet), then a reply.
        harness.suggestions.suggestNow();
        QTRY_COMPARE(harness.suggestions.history().size(), 1);
        harness.suggestionKey = QStringLiteral("sk-suggest");
        harness.suggestions.suggestNow();
        QTRY_COMPARE(harness.suggestions.history().size(), 2);
        QTRY_COMPARE(harness.suggestions.history().last().response, QStringLiteral("Mention the migration."));
        harness.say({ QStringLiteral("Agreed, that is the plan then.") });

        QStringList texts;
        connect(harness.service.get(), &SummaryService::textChanged, this,
            [&] { texts.append(harness.service->text().value_or(QString())); });
        QSignalSpy generating(harness.service.get(), &SummaryService::isGeneratingChanged);
        QSignalSpy saved(harness.service.get(), &SummaryService::savedCallIDChanged);
        harness.stopCall();
        QVERIFY(saved.wait(5000));
        QCOMPARE(texts,
            (QStringList { QStringLiteral("Summary: "), QStringLiteral("Summary: Agreed."),
                QStringLiteral("Summary: Agreed.\nDecisions:") }));
        QCOMPARE(generating.size(), 2);
        QVERIFY(generating.at(0).at(0).toBool() && !generating.at(1).at(0).toBool());
        const QJsonObject body = harness.server.requests().last().json();
        QCOMPARE(body.value(QLatin1String("system")).toString(), SummaryService::systemPrompt());
        QCOMPARE(body.value(QLatin1String("output_config")).toObject().value(QLatin1String("effort")),
            QJsonValue(QStringLiteral("medium")));
        QCOMPARE(harness.requestUser(), SummaryService::transcriptText(harness.transcription.lines()));

        // The error suggestion is neither stored nor written.
        const Call stored = harness.calls().front();
        QCOMPARE(stored.summary, *harness.service->text());
        QCOMPARE(stored.lines().size(), 3);
        QCOMPARE(stored.suggestions(),
            (QList<CallSuggestion> {
                { QStringLiteral("Mention the migration."), harness.suggestions.history().last().timestamp } }));
        QFile file(*harness.service->savedFile());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray written = file.readAll();
        QCOMPARE(written.count(" Suggestion:** "), 1);
        QVERIFY(!written.contains(llmMessage::missingKey().toUtf8()));
    }

    void modelFailures_data()
    {
        QTest::addColumn<Response>("response");
        QTest::addColumn<bool>("withKey");
        QTest::addColumn<std::optional<QString>>("text");
        QTest::newRow("model error") << reply(
            { fakeEvents::claudeText(QStringLiteral("Sum")), fakeEvents::claudeError(QStringLiteral("Overloaded")) })
                                     << true << std::optional(QStringLiteral("Claude error: Overloaded"));
        QTest::newRow("missing key") << Response() << false << std::optional(llmMessage::missingKey());
    }

    void modelFailures()
    {
        QFETCH(Response, response);
        QFETCH(bool, withKey);
        QFETCH(std::optional<QString>, text);
        Harness harness;
        if (!withKey) {
            harness.llm.apiKey.reset();
        }
        harness.server.respond("/v1/messages", response);
        QSignalSpy saved(harness.service.get(), &SummaryService::savedCallIDChanged);
        harness.startCall();
        harness.say({ words(30) });
        harness.stopCall();
        QVERIFY(saved.wait(5000));
        QCOMPARE(harness.service->text(), text);
        QCOMPARE(harness.service->isError(), text.has_value());
        QVERIFY(!harness.service->isGenerating());
        QCOMPARE(harness.calls().front().summary, SummaryService::failedSummary);
    }

    // A stored call without a summary (recovered, or stored as the session ended) gets one when asked,
    // with its file; a failure is kept for the call's row to show and stores nothing.
    void summaryOfAStoredCall_data()
    {
        QTest::addColumn<Response>("response");
        QTest::addColumn<QString>("summary"); // stored; empty: none
        QTest::addColumn<std::optional<QString>>("error");
        QTest::newRow("written") << reply({ fakeEvents::claudeText(QStringLiteral("Done.")) })
                                 << QStringLiteral("Done.") << std::optional<QString>();
        QTest::newRow("failed") << reply({ fakeEvents::claudeError(QStringLiteral("Overloaded")) }) << QString()
                                << std::optional(QStringLiteral("Claude error: Overloaded"));
    }

    void summaryOfAStoredCall()
    {
        QFETCH(Response, response);
        QFETCH(QString, summary);
        QFETCH(std::optional<QString>, error);
        Harness harness;
        harness.server.respond("/v1/messages", response);
        Call call;
        call.id = uuid::create();
        call.linesData = blob::encodeLines({ CallLine { false, words(30), callStart } });
        harness.context->insert(call);
        QVERIFY(harness.context->save());
        harness.service->summariseStored(call.id);
        QVERIFY(harness.service->isSummarising(call.id));
        QTRY_VERIFY(!harness.service->isSummarising(call.id));
        QCOMPARE(harness.service->storedSummaryError(call.id), error);
        QCOMPARE(harness.calls().front().summary, summary);
        QCOMPARE(harness.calls().front().archiveFile.isEmpty(), summary.isEmpty());
    }

    void newStartWhileSummaryStreams()
    {
        Harness harness;
        QVERIFY(harness.stopWhileStreaming());
        QSignalSpy saved(harness.service.get(), &SummaryService::savedCallIDChanged);
        QSignalSpy files(harness.service.get(), &SummaryService::savedFileChanged);
        harness.startCall();
        // The first call is stored with the interrupted text; nothing of it is shown.
        QTRY_COMPARE(harness.calls().size(), size_t(1));
        QCOMPARE(harness.calls().front().summary, SummaryService::interruptedSummary);
        QVERIFY(QFile::exists(harness.calls().front().archiveFile));
        QTRY_COMPARE(harness.server.connectionsClosed(), 1); // its request is aborted
        QCOMPARE(harness.service->text(), std::optional<QString>());
        QVERIFY(!harness.service->isGenerating());
        QVERIFY(saved.isEmpty() && files.isEmpty());

        harness.server.respond("/v1/messages", reply({ fakeEvents::claudeText(QStringLiteral("Second call.")) }));
        harness.say({ words(25, 100) });
        harness.stopCall();
        QVERIFY(saved.wait(5000));
        QCOMPARE(harness.calls().size(), size_t(2));
        const Call second =
            harness.store->newContext()->fetchOne<Call>(*harness.service->savedCallID()).value().value();
        QCOMPARE(second.summary, QStringLiteral("Second call."));
        QCOMPARE(harness.service->savedFile(), std::optional(second.archiveFile));
    }

    void destroyedWhileStreaming()
    {
        Harness harness;
        QVERIFY(harness.stopWhileStreaming());
        harness.service.reset();
        QTRY_COMPARE(harness.server.connectionsClosed(), 1);
        QVERIFY(harness.calls().empty());
        QVERIFY(!QFileInfo::exists(callArchive::folder()));
    }

    void saveFaults_data()
    {
        QTest::addColumn<bool>("storeRefuses");
        QTest::addColumn<bool>("folderBlocked");
        QTest::newRow("store refuses the call") << true << false;
        QTest::newRow("documents folder blocked by a file") << false << true;
        QTest::newRow("both, one message a line") << true << true;
    }

    void saveFaults()
    {
        QFETCH(bool, storeRefuses);
        QFETCH(bool, folderBlocked);
        Harness harness;
        QStringList expected;
        if (folderBlocked) {
            QVERIFY(QFile(callArchive::folder()).open(QIODevice::WriteOnly));
            expected << QStringLiteral("Could not save the call: %1: Not a directory").arg(callArchive::folder());
        }
        if (storeRefuses) {
            harness.store->database().exec("CREATE TRIGGER refuse BEFORE INSERT ON \"Call\" "
                                           "BEGIN SELECT RAISE(ABORT, 'database or disk is full'); END");
            expected << QStringLiteral("Could not save the call to the store: database or disk is full");
        }
        LogCapture log;
        harness.startCall();
        harness.say({ QStringLiteral("Hello there") }); // a short call: saved at once
        harness.stopCall();
        QCOMPARE(harness.service->saveError(), std::optional(expected.join(u'\n')));
        QCOMPARE(log.texts(QStringLiteral("Vessaro.Quillora.summary")), expected);
        QCOMPARE(harness.service->savedFile().has_value(), !folderBlocked);
        QCOMPARE(harness.service->savedCallID().has_value(), !storeRefuses);
        QVERIFY(!harness.context->hasChanges()); // the refused Call is taken out again
        const std::vector<Call> calls = harness.calls();
        QCOMPARE(calls.size(), size_t(storeRefuses ? 0 : 1));
        if (!storeRefuses) {
            QCOMPARE(calls.front().archiveFile, QString());
        }
    }

    void outcomeAndNote_data()
    {
        QTest::addColumn<bool>("isNote");
        QTest::addColumn<bool>("callExists");
        QTest::addColumn<bool>("storeRefuses");
        QTest::addColumn<CallRating>("rating");
        QTest::addColumn<QString>("saveError");
        QTest::addColumn<QString>("logged");
        QTest::newRow("outcome") << false << true << false << CallRating { CallOutcome::negative, QString() }
                                 << QString() << QString();
        QTest::newRow("note") << true << true << false << CallRating { CallOutcome::none, QStringLiteral("Went well") }
                              << QString() << QString();
        QTest::newRow("outcome of a call not in the store")
            << false << false << false << CallRating()
            << QStringLiteral("Could not save the outcome: the call is not in the store.")
            << QStringLiteral("Call %1 not found");
        QTest::newRow("note the store refuses") << true << true << true << CallRating()
                                                << QStringLiteral("Could not save the note: database or disk is full")
                                                << QStringLiteral("Could not save outcome: database or disk is full");
    }

    void outcomeAndNote()
    {
        QFETCH(bool, isNote);
        QFETCH(bool, callExists);
        QFETCH(bool, storeRefuses);
        QFETCH(CallRating, rating);
        QFETCH(QString, saveError);
        QFETCH(QString, logged);
        Harness harness;
        Call call;
        call.id = uuid::create();
        call.startedAt = call.endedAt = callStart;
        if (callExists) {
            harness.context->insert(call);
            QVERIFY(harness.context->save());
        }
        if (storeRefuses) {
            harness.store->database().exec("CREATE TRIGGER refuse BEFORE UPDATE ON \"Call\" "
                                           "BEGIN SELECT RAISE(ABORT, 'database or disk is full'); END");
        }
        LogCapture log;
        if (isNote) {
            harness.service->setNote(call.id, QStringLiteral("Went well"));
        } else {
            harness.service->setOutcome(call.id, CallOutcome::negative);
        }
        QCOMPARE(harness.service->outcomeOf(call.id), rating);
        QCOMPARE(harness.service->saveError(), saveError.isEmpty() ? std::nullopt : std::optional(saveError));
        QCOMPARE(log.texts(QStringLiteral("Vessaro.Quillora.summary")),
            logged.isEmpty() ? QStringList() : QStringList { logged.arg(uuid::toText(call.id)) });
        if (callExists) {
            const Call stored = harness.store->newContext()->fetchOne<Call>(call.id).value().value();
            QCOMPARE((CallRating { stored.outcomeValue(), stored.outcomeNote }), rating);
        }
    }

    // A call whose process ended before the store had it (killed, or on a store in memory) is stored by
    // the next start from the journal, once; a call whose process still runs is never taken.
    void callOutlivesItsProcess_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QByteArray>("cardError");
        QTest::addColumn<QStringList>("lastLineAndSummary");
        QTest::addColumn<int>("suggestions");
        QTest::newRow("killed while listening")
            << QStringLiteral("killed") << QByteArray() << QStringList { words(5, 56), QString() } << 1;
        QTest::newRow("stored only in memory")
            << QStringLiteral("unstored")
            << QByteArray("Not stored: the store could not be opened (disk on fire). The call is kept and will be "
                          "stored at the next start that can open it.")
            << QStringList { QStringLiteral("Bye now"), SummaryService::shortCallSummary } << 0;
    }

    void callOutlivesItsProcess()
    {
        QFETCH(QString, mode);
        QFETCH(QByteArray, cardError);
        QFETCH(QStringList, lastLineAndSummary);
        QFETCH(int, suggestions);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Calls.journal"));
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), { QStringLiteral("--journal-child"), mode, path });
        QByteArray said;
        while (!said.endsWith("ready\n")) {
            QVERIFY2(child.waitForReadyRead(20000), said.constData());
            said += child.readAllStandardOutput();
        }
        QCOMPARE(said, cardError + "\nready\n");

        Harness next;
        CallJournal journal(path, nullptr);
        next.journal = &journal;
        next.makeService();
        QCOMPARE(next.service->recoverJournal(), 0); // its process still runs
        child.kill();
        QVERIFY(child.waitForFinished(10000));
        QCOMPARE(next.service->recoverJournal(), 1);
        QCOMPARE(next.service->recoverJournal(), 0);
        const std::vector<Call> calls = next.calls();
        QCOMPARE(calls.size(), size_t(1));
        QCOMPARE(calls.front().lines().size(), mode == QLatin1String("killed") ? 12 : 3);
        QCOMPARE(calls.front().lines().last().text, lastLineAndSummary.first());
        QCOMPARE(calls.front().suggestions().size(), suggestions);
        QCOMPARE(calls.front().summary, lastLineAndSummary.last());
        QCOMPARE(calls.front().outcomeNote, SummaryService::recoveredNote);
        QCOMPARE(calls.front().archiveFile.isEmpty(), lastLineAndSummary.last().isEmpty());
    }

    // The session asks to save (logging out): the call is stored at once, as heard so far, and again,
    // whole, if the session stays and the call ends as usual. A summary being written is given up.
    void storedBeforeTheSessionEnds_data()
    {
        QTest::addColumn<bool>("summarising");
        QTest::newRow("while listening") << false;
        QTest::newRow("while the summary streams") << true;
    }

    void storedBeforeTheSessionEnds()
    {
        QFETCH(bool, summarising);
        Harness harness;
        if (summarising) {
            QVERIFY(harness.stopWhileStreaming());
            harness.service->storeNow();
            QCOMPARE(harness.calls().size(), size_t(1));
            QCOMPARE(harness.calls().front().summary, SummaryService::interruptedSummary);
            QTRY_VERIFY(!harness.service->isBusy());
            QCOMPARE(harness.calls().size(), size_t(1)); // the given-up task stores nothing more
            return;
        }
        harness.startCall();
        harness.say({ words(5), words(5, 6) });
        harness.service->storeNow();
        QCOMPARE(harness.calls().size(), size_t(1));
        QCOMPARE(harness.calls().front().lines().size(), 2);
        harness.say({ words(5, 11) });
        harness.stopCall();
        const std::vector<Call> calls = harness.calls();
        QCOMPARE(calls.size(), size_t(1)); // the same call, whole
        QCOMPARE(calls.front().lines().size(), 3);
        QCOMPARE(calls.front().summary, SummaryService::shortCallSummary);
    }

    void listeningThroughTranscription()
    {
        if (!pulseTest::ready()) {
            QSKIP("needs the PulseAudio daemon of scripts/with-services");
        }
        Harness harness;
        harness.settings.setText(SettingKey::transcriptionEngine, QStringLiteral("apple"));
        harness.settings.setText(SettingKey::speechLocale, QStringLiteral("en-US"));
        harness.service.reset();
        QCoro::waitFor(harness.transcription.start());
        QVERIFY2(harness.transcription.isRunning(), qPrintable(harness.transcription.status().value_or(QString())));
        harness.makeService(); // made while listening: the flag's value at construction counts
        harness.say({ QStringLiteral("Short and sweet") });
        QCoro::waitFor(harness.transcription.stop());
        QVERIFY(harness.service->savedCallID());
        QCOMPARE(harness.calls().front().summary, SummaryService::shortCallSummary);
        QCoro::waitFor(harness.transcription.start()); // the next call starts afresh
        QCOMPARE(harness.service->savedCallID(), std::optional<QUuid>());
        QCoro::waitFor(harness.transcription.stop());
        QCOMPARE(harness.calls().size(), size_t(1));
    }
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 4 && qstrcmp(argv[1], "--journal-child") == 0) {
        return journalChild(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    }
    SummaryServiceTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "SummaryServiceTest.moc"
