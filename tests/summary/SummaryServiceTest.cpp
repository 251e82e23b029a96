#include "summary/SummaryService.h"
#include "common/Uuid.h"
#include "fakes/FakeHttpServer.h"
#include "fakes/LogCapture.h"
#include "fakes/PulseTestSupport.h"
#include "fakes/UserFolders.h"
#include "mcp/RequestState.h"
#include "mcp/Tools.h"
#include "store/Settings.h"
#include "store/Store.h"
#include "store/StoreContext.h"
#include "summary/CallArchive.h"
#include "transcription/TranscriptionService.h"

#include <SQLiteCpp/Database.h>

#include <QCoroTask>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QSettings>
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

Response claudeReply(const QStringList& pieces, Ending ending = Ending::complete)
{
    Response response;
    for (const QString& piece : pieces) {
        response.chunks.append(fakeEvents::claudeText(piece));
    }
    response.ending = ending;
    return response;
}

QCoro::Task<SuggestionSettings> ready(SuggestionSettings settings)
{
    co_return settings;
}

// "w1 w2 ... wN" from the given number on.
QString words(int count, int from = 1)
{
    QStringList out;
    for (int i = from; i < from + count; ++i) {
        out.append(u'w' + QString::number(i));
    }
    return out.join(u' ');
}

// A service wired to a real (idle) transcription service, a loopback model server, an in-memory
// store and the process's own settings and documents folder. The running flag is handed to the
// service directly; one test drives it through a live transcription instead.
struct Harness {
    explicit Harness(LLMProvider provider = LLMProvider::claude)
        : store(*Store::openInMemory())
        , context(store->newContext())
        , transcription(nullptr, TranscriptionService::Options { [this] { return now; }, {} })
    {
        llm.provider = provider;
        llm.model = provider == LLMProvider::onDevice ? QString() : QStringLiteral("model-test");
        if (provider != LLMProvider::onDevice) {
            llm.apiKey = QStringLiteral("sk-test");
        }
        Settings().remove(settingsKey::selectedAssistant);
        Settings().remove(settingsKey::selectedContext);
    }

    void makeService(SuggestionService* suggestions = nullptr)
    {
        const auto endpoints = [this] {
            LLMEndpoints where;
            where.anthropicBaseURL = server.baseURL();
            where.openaiBaseURL = server.baseURL();
            where.localModelURL = server.baseURL() + QStringLiteral("/v1");
            return where;
        };
        SummaryServiceOptions options;
        options.loadSettings = [this] { return ready(llm); };
        service = std::make_unique<SummaryService>(
            &transcription, suggestions, [this]() -> StoreContext& { return *context; },
            LLMClient(&network, endpoints, LLMTimeouts { 5000ms, 500ms }), nullptr, options);
    }

    // Lines alternate between the other person and the user, ten seconds apart.
    void say(const QStringList& lines)
    {
        for (const QString& text : lines) {
            now = now.addSecs(10);
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

    void selectAssistant()
    {
        Assistant assistant = Assistant::make(QStringLiteral("Interviews"), AssistantTemplate::interview);
        CallContext acme = CallContext::make(QStringLiteral("Acme"), assistant);
        KnowledgeFile cv = KnowledgeFile::make(QStringLiteral("cv.md"), QStringLiteral("CV"));
        cv.assistant = assistant.id;
        cv.importedAt = callStart;
        KnowledgeFile notes = KnowledgeFile::make(QStringLiteral("notes.md"), QStringLiteral("Notes"));
        notes.assistant = assistant.id;
        notes.importedAt = callStart.addSecs(1);
        KnowledgeFile brief = KnowledgeFile::make(QStringLiteral("brief.txt"), QStringLiteral("Brief"));
        brief.context = acme.id;
        context->insert(assistant);
        context->insert(acme);
        for (const KnowledgeFile& file : { notes, cv, brief }) {
            context->insert(file);
        }
        QVERIFY(context->save());
        selectedAssistant = assistant.id;
        selectedContext = acme.id;
        Settings settings;
        settings.setText(settingsKey::selectedAssistant, uuid::toText(assistant.id));
        settings.setText(settingsKey::selectedContext, uuid::toText(acme.id));
    }

    // The calls as they are stored, seen through a context of their own.
    std::vector<Call> storedCalls() const { return store->newContext()->fetch<Call>(Query::all()).value(); }

    static QStringList callFiles()
    {
        return QDir(callArchive::folder()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    QString requestUser(qsizetype n) const
    {
        const QJsonArray messages = server.requests().at(n).json().value(QLatin1String("messages")).toArray();
        return messages.last().toObject().value(QLatin1String("content")).toString();
    }

    FakeHttpServer server;
    QNetworkAccessManager network;
    std::shared_ptr<Store> store;
    std::unique_ptr<StoreContext> context;
    QDateTime now = callStart;
    bool them = true;
    TranscriptionService transcription;
    SuggestionSettings llm;
    std::optional<QUuid> selectedAssistant;
    std::optional<QUuid> selectedContext;
    std::unique_ptr<SummaryService> service;
};

QJsonObject getCall(const std::shared_ptr<Store>& store, const QUuid& id)
{
    auto context = store->newContext();
    RequestState state { *context };
    const auto text = tools::callTool(
        QStringLiteral("get_call"), QJsonObject { { QStringLiteral("call"), uuid::toText(id) } }, state);
    return text ? QJsonDocument::fromJson(*text).object() : QJsonObject();
}

} // namespace

class SummaryServiceTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<UserFolders> m_folders;

private Q_SLOTS:
    void initTestCase()
    {
        m_folders = std::make_unique<UserFolders>();
        QCOMPARE(callArchive::folder(), QDir(m_folders->documents()).filePath(QStringLiteral("Quillora")));
    }

    void init()
    {
        QDir(callArchive::folder()).removeRecursively();
        QFile::remove(callArchive::folder()); // left by the blocked-folder case
    }

    void systemPromptIsExact()
    {
        const QByteArray prompt = SummaryService::systemPrompt().toUtf8();
        QCOMPARE(prompt.size(), 812);
        QCOMPARE(prompt.count("\n\n"), 2);
        QVERIFY(!prompt.endsWith('\n'));
    }

    void edgeCases_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<LLMProvider>("provider");
        QTest::addColumn<bool>("withAssistant");
        QTest::addColumn<QString>("user"); // what the model is sent; empty: no model is asked
        QTest::addColumn<QString>("stored"); // the stored summary; empty: nothing is stored
        QTest::addColumn<QString>("notes");

        const QString selected =
            QStringLiteral("Assistant: Interviews\nContext: Acme\nFiles: cv.md, notes.md, brief.txt");
        const QString none = QStringLiteral("Assistant: None\nContext: None\nFiles: None");
        QTest::newRow("no lines") << QStringList() << LLMProvider::claude << true << QString() << QString()
                                  << QString();
        QTest::newRow("19 words is a short call") << QStringList { words(10), words(9, 11) } << LLMProvider::claude
                                                  << true << QString() << SummaryService::shortCallSummary << selected;
        QTest::newRow("20 words are summarised")
            << QStringList { words(10), words(10, 11) } << LLMProvider::claude << true
            << QStringLiteral("Other: %1\nYou: %2").arg(words(10), words(10, 11)) << QStringLiteral("Done.")
            << selected;
        const QString contraction = words(17) + QStringLiteral(" don't, ok");
        QTest::newRow("don't counts as two words")
            << QStringList { contraction } << LLMProvider::claude << true << QStringLiteral("Other: ") + contraction
            << QStringLiteral("Done.") << selected;
        QTest::newRow("no assistant selected")
            << QStringList { words(20) } << LLMProvider::claude << false << QStringLiteral("Other: ") + words(20)
            << QStringLiteral("Done.") << none;

        // 100 lines rendered as 100 characters each, line breaks included: 10,000 characters.
        QStringList long100;
        QString rendered;
        for (int i = 0; i < 100; ++i) {
            const QString label = i % 2 == 0 ? QStringLiteral("Other: ") : QStringLiteral("You: ");
            const qsizetype width = i == 99 ? 100 : 99; // the last line has no line break
            QString text = QStringLiteral("line %1 ").arg(i);
            text += QString(width - label.size() - text.size(), u'x');
            long100.append(text);
            rendered += label + text + (i == 99 ? QString() : QStringLiteral("\n"));
        }
        QCOMPARE(rendered.size(), 10000);
        QTest::newRow("on-device gets the last 8000 characters")
            << long100 << LLMProvider::onDevice << true
            << (SummaryService::truncationMarker + rendered.right(SummaryService::onDeviceCharacterLimit))
            << QStringLiteral("Done.") << selected;
        QTest::newRow("cloud gets all 10000 characters")
            << long100 << LLMProvider::claude << true << rendered << QStringLiteral("Done.") << selected;
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
        Response models;
        models.contentType = "application/json";
        models.chunks = { R"({"object":"list","data":[{"id":"local-model"}]})" };
        harness.server.respond("/v1/models", models);
        harness.server.respond("/v1/messages", claudeReply({ QStringLiteral("Done.") }));
        Response local;
        local.chunks = { fakeEvents::openAIText(QStringLiteral("Done.")), fakeEvents::done() };
        harness.server.respond("/v1/chat/completions", local);
        harness.makeService();
        QSignalSpy saved(harness.service.get(), &SummaryService::savedCallIDChanged);

        harness.startCall();
        harness.say(lines);
        harness.stopCall();
        if (!user.isEmpty()) {
            QVERIFY(harness.service->isGenerating());
            QVERIFY(saved.wait(5000));
            QCOMPARE(harness.service->text(), std::optional(stored));
            QCOMPARE(harness.requestUser(harness.server.requests().size() - 1), user);
        } else {
            QVERIFY(!harness.service->isGenerating());
            QCOMPARE(harness.service->text(), std::optional<QString>());
            QVERIFY(harness.server.requests().isEmpty());
        }

        const std::vector<Call> calls = harness.storedCalls();
        if (stored.isEmpty()) {
            QVERIFY(calls.empty());
            QVERIFY(Harness::callFiles().isEmpty());
            QCOMPARE(harness.service->savedCallID(), std::optional<QUuid>());
            QCOMPARE(harness.service->savedFile(), std::optional<QString>());
            return;
        }
        QCOMPARE(calls.size(), size_t(1));
        const Call& call = calls.front();
        QCOMPARE(harness.service->savedCallID(), std::optional(call.id));
        QCOMPARE(harness.service->savedFile(), std::optional(call.archiveFile));
        QCOMPARE(harness.service->saveError(), std::optional<QString>());
        QCOMPARE(call.summary, stored);
        QCOMPARE(call.assistant, harness.selectedAssistant);
        QCOMPARE(call.context, harness.selectedContext);
        QCOMPARE(call.lines().size(), lines.size());
        QCOMPARE(call.startedAt, callStart.addSecs(10));
        QCOMPARE(call.endedAt, callStart.addSecs(10 * lines.size()));
        QFile file(call.archiveFile);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(QString::fromUtf8(file.readAll())
                    .contains(QStringLiteral("## Notes\n\n") + notes + QStringLiteral("\n\n## Summary\n\n") + stored));
    }

    void streamedSummaryIsStoredAndServed()
    {
        Harness harness;
        harness.selectAssistant();
        harness.server.respond("/v1/messages",
            claudeReply(
                { QStringLiteral("Summary: "), QStringLiteral("They agreed."), QStringLiteral("\nDecisions:") }));
        // The suggestions of the call: one reply and one error, from a suggestion service of its own.
        QTemporaryDir directory;
        QSettings suggestionSettings(directory.filePath(QStringLiteral("s.conf")), QSettings::IniFormat);
        suggestionSettings.setValue(settingsKey::llmProvider, QStringLiteral("openai"));
        suggestionSettings.setValue(settingsKey::openaiBaseURL, harness.server.baseURL());
        Response reply;
        reply.chunks = { fakeEvents::openAIText(QStringLiteral("Mention the migration.")), fakeEvents::done() };
        harness.server.respond("/v1/chat/completions", reply);
        std::optional<QString> suggestionKey; // the first request fails at once with an error entry
        SuggestionServiceOptions options;
        options.pause = 1ms;
        options.settings = &suggestionSettings;
        options.readKey = [&](const QString&) { return suggestionKey; };
        options.clock = [&] { return harness.now; };
        LLMClient suggestionClient(
            &harness.network, [&] { return LLMEndpoints::fromSettings(Settings(suggestionSettings)); });
        SuggestionService suggestions(
            &harness.transcription.transcript(), [&]() -> StoreContext& { return *harness.context; }, suggestionClient,
            nullptr, options);
        harness.makeService(&suggestions);

        harness.startCall();
        harness.say({ QStringLiteral("We looked at the plan for the migration, all the steps in order."),
            QStringLiteral("Right, the first step is the schema and then the data itself.") });
        suggestions.suggestNow();
        QTRY_COMPARE(suggestions.history().size(), 1);
        QVERIFY(suggestions.history().first().isError);
        suggestionKey = QStringLiteral("sk-suggest");
        suggestions.suggestNow();
        QTRY_COMPARE(suggestions.history().size(), 2);
        QTRY_COMPARE(suggestions.history().last().response, QStringLiteral("Mention the migration."));
        harness.say({ QStringLiteral("Agreed, that is the plan then.") });

        QStringList texts;
        connect(harness.service.get(), &SummaryService::textChanged, this,
            [&] { texts.append(harness.service->text().value_or(QStringLiteral("<none>"))); });
        QSignalSpy generating(harness.service.get(), &SummaryService::isGeneratingChanged);
        QSignalSpy saved(harness.service.get(), &SummaryService::savedCallIDChanged);
        harness.stopCall();
        QVERIFY(saved.wait(5000));
        QCOMPARE(texts,
            (QStringList { QStringLiteral("Summary: "), QStringLiteral("Summary: They agreed."),
                QStringLiteral("Summary: They agreed.\nDecisions:") }));
        QCOMPARE(generating.size(), 2);
        QCOMPARE(generating.at(0).at(0).toBool(), true);
        QCOMPARE(generating.at(1).at(0).toBool(), false);
        QVERIFY(!harness.service->isError());

        // What the model was asked.
        const QJsonObject body = harness.server.requests().last().json();
        QCOMPARE(harness.server.requests().last().path, QByteArray("/v1/messages"));
        QCOMPARE(body.value(QLatin1String("system")).toString(), SummaryService::systemPrompt());
        QCOMPARE(body.value(QLatin1String("output_config")).toObject().value(QLatin1String("effort")).toString(),
            QStringLiteral("medium"));
        QCOMPARE(body.value(QLatin1String("model")).toString(), QStringLiteral("model-test"));
        QCOMPARE(harness.requestUser(harness.server.requests().size() - 1),
            SummaryService::transcriptText(harness.transcription.lines()));

        // The stored call as the tool server shows it.
        const QJsonObject call = getCall(harness.store, *harness.service->savedCallID());
        QCOMPARE(call.value(QLatin1String("summary")).toString(), QStringLiteral("Summary: They agreed.\nDecisions:"));
        QCOMPARE(call.value(QLatin1String("archive_file")).toString(), *harness.service->savedFile());
        QCOMPARE(call.value(QLatin1String("assistant")).toString(), QStringLiteral("Interviews"));
        QCOMPARE(call.value(QLatin1String("context")).toString(), QStringLiteral("Acme"));
        const QJsonArray lines = call.value(QLatin1String("lines")).toArray();
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines.at(0).toObject().value(QLatin1String("speaker")).toString(), QStringLiteral("Other"));
        QCOMPARE(lines.at(1).toObject().value(QLatin1String("speaker")).toString(), QStringLiteral("You"));
        QCOMPARE(lines.at(2).toObject().value(QLatin1String("text")).toString(),
            QStringLiteral("Agreed, that is the plan then."));
        const QJsonArray shown = call.value(QLatin1String("suggestions")).toArray();
        QCOMPARE(shown.size(), 1); // the error entry is left out
        QCOMPARE(
            shown.at(0).toObject().value(QLatin1String("text")).toString(), QStringLiteral("Mention the migration."));

        QFile file(*harness.service->savedFile());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString written = QString::fromUtf8(file.readAll());
        QCOMPARE(written.count(QStringLiteral(" Suggestion:** ")), 1);
        QVERIFY(written.contains(QStringLiteral(" Suggestion:** Mention the migration.\n\n")));
        QVERIFY(!written.contains(llmMessage::missingKey));
    }

    void modelFailures_data()
    {
        QTest::addColumn<Response>("response");
        QTest::addColumn<bool>("withKey");
        QTest::addColumn<std::optional<QString>>("text");
        QTest::addColumn<bool>("isError");
        Response overloaded;
        overloaded.chunks = { fakeEvents::claudeText(QStringLiteral("Sum")),
            fakeEvents::claudeError(QStringLiteral("Overloaded")) };
        QTest::newRow("model error") << overloaded << true << std::optional(QStringLiteral("Claude error: Overloaded"))
                                     << true;
        QTest::newRow("missing key") << Response() << false << std::optional(llmMessage::missingKey) << true;
        Response empty;
        empty.chunks = { fakeEvents::claudeStop(QStringLiteral("end_turn")) };
        QTest::newRow("reply without text") << empty << true << std::optional<QString>() << false;
    }

    void modelFailures()
    {
        QFETCH(Response, response);
        QFETCH(bool, withKey);
        QFETCH(std::optional<QString>, text);
        QFETCH(bool, isError);
        Harness harness;
        if (!withKey) {
            harness.llm.apiKey.reset();
        }
        harness.server.respond("/v1/messages", response);
        harness.makeService();
        QSignalSpy saved(harness.service.get(), &SummaryService::savedCallIDChanged);
        harness.startCall();
        harness.say({ words(30) });
        harness.stopCall();
        QVERIFY(saved.wait(5000));
        QCOMPARE(harness.service->text(), text);
        QCOMPARE(harness.service->isError(), isError);
        QVERIFY(!harness.service->isGenerating());
        QCOMPARE(harness.storedCalls().front().summary, SummaryService::failedSummary);
    }

    void newStartWhileSummaryStreams()
    {
        Harness harness;
        harness.server.respond("/v1/messages", claudeReply({ QStringLiteral("Partial") }, Ending::hang));
        harness.makeService();
        harness.startCall();
        harness.say({ words(30) });
        harness.stopCall();
        QTRY_COMPARE(harness.service->text(), std::optional(QStringLiteral("Partial")));

        // The next call starts: the first is stored with the interrupted text, and nothing of it is shown.
        QSignalSpy published(harness.service.get(), &SummaryService::savedCallIDChanged);
        QSignalSpy files(harness.service.get(), &SummaryService::savedFileChanged);
        harness.startCall();
        QTRY_COMPARE(harness.storedCalls().size(), size_t(1));
        QCOMPARE(harness.storedCalls().front().summary, SummaryService::interruptedSummary);
        QVERIFY(QFile::exists(harness.storedCalls().front().archiveFile));
        QVERIFY(published.isEmpty());
        QVERIFY(files.isEmpty());
        QCOMPARE(harness.service->text(), std::optional<QString>());
        QVERIFY(!harness.service->isGenerating());
        QTRY_COMPARE(harness.server.connectionsClosed(), 1); // the old request is aborted

        harness.server.respond("/v1/messages", claudeReply({ QStringLiteral("Second call.") }));
        harness.say({ words(25, 100) });
        harness.stopCall();
        QVERIFY(published.wait(5000));
        QCOMPARE(harness.storedCalls().size(), size_t(2));
        QCOMPARE(harness.service->text(), std::optional(QStringLiteral("Second call.")));
        const std::vector<Call> calls = harness.storedCalls();
        const auto second = std::find_if(
            calls.begin(), calls.end(), [&](const Call& call) { return call.id == harness.service->savedCallID(); });
        QVERIFY(second != calls.end());
        QCOMPARE(second->summary, QStringLiteral("Second call."));
        QCOMPARE(harness.service->savedFile(), std::optional(second->archiveFile));
        QCOMPARE(harness.service->saveError(), std::optional<QString>());
    }

    void destroyedWhileStreaming()
    {
        Harness harness;
        harness.server.respond("/v1/messages", claudeReply({ QStringLiteral("Partial") }, Ending::hang));
        harness.makeService();
        harness.startCall();
        harness.say({ words(30) });
        harness.stopCall();
        QTRY_COMPARE(harness.service->text(), std::optional(QStringLiteral("Partial")));
        harness.service.reset();
        QTRY_COMPARE(harness.server.connectionsClosed(), 1);
        QVERIFY(harness.storedCalls().empty());
        QVERIFY(Harness::callFiles().isEmpty());
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
        harness.makeService();
        if (storeRefuses) {
            harness.store->database().exec("CREATE TRIGGER refuse BEFORE INSERT ON \"Call\" "
                                           "BEGIN SELECT RAISE(ABORT, 'database or disk is full'); END");
        }
        if (folderBlocked) {
            QFile blocker(callArchive::folder());
            QVERIFY(blocker.open(QIODevice::WriteOnly));
        }
        LogCapture log;
        harness.startCall();
        harness.say({ QStringLiteral("Hello there") });
        harness.stopCall(); // a short call: saved at once

        QStringList expected;
        if (folderBlocked) {
            expected.append(QStringLiteral("Could not save the call: ") + callArchive::folder()
                + QStringLiteral(": Not a directory"));
        }
        if (storeRefuses) {
            expected.append(QStringLiteral("Could not save the call to the store: database or disk is full"));
        }
        QCOMPARE(harness.service->saveError(), std::optional(expected.join(u'\n')));
        QCOMPARE(log.texts(QStringLiteral("Vessaro.Quillora.summary")), expected);
        QCOMPARE(harness.service->savedFile().has_value(), !folderBlocked);
        QCOMPARE(harness.service->savedCallID().has_value(), !storeRefuses);
        QVERIFY(!harness.context->hasChanges()); // a refused call is taken out again
        const std::vector<Call> calls = harness.storedCalls();
        QCOMPARE(calls.size(), size_t(storeRefuses ? 0 : 1));
        if (!storeRefuses) {
            QCOMPARE(calls.front().archiveFile, QString());
            QCOMPARE(calls.front().summary, SummaryService::shortCallSummary);
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
        harness.makeService();
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
        QCOMPARE(
            harness.service->saveError(), saveError.isEmpty() ? std::optional<QString>() : std::optional(saveError));
        QCOMPARE(log.texts(QStringLiteral("Vessaro.Quillora.summary")),
            logged.isEmpty() ? QStringList() : QStringList { logged.arg(uuid::toText(call.id)) });
        if (callExists) {
            const Call stored = harness.store->newContext()->fetchOne<Call>(call.id).value().value();
            QCOMPARE((CallRating { stored.outcomeValue(), stored.outcomeNote }), rating);
        }
    }

    void listeningThroughTranscription()
    {
        if (!pulseTest::ready()) {
            QSKIP("needs the PulseAudio daemon of scripts/with-services");
        }
        Settings settings;
        settings.setText(settingsKey::transcriptionEngine, QStringLiteral("apple"));
        settings.setText(settingsKey::speechLocale, QStringLiteral("en-US"));
        Harness harness;
        QCoro::waitFor(harness.transcription.start());
        QVERIFY2(harness.transcription.isRunning(), qPrintable(harness.transcription.status().value_or(QString())));
        harness.makeService(); // made while listening: the flag's current value counts
        harness.say({ QStringLiteral("Short and sweet") });
        QCoro::waitFor(harness.transcription.stop());
        QVERIFY(harness.service->savedCallID());
        QCOMPARE(harness.storedCalls().front().summary, SummaryService::shortCallSummary);

        QCoro::waitFor(harness.transcription.start()); // the next call starts afresh
        QCOMPARE(harness.service->savedCallID(), std::optional<QUuid>());
        QCoro::waitFor(harness.transcription.stop());
        QCOMPARE(harness.storedCalls().size(), size_t(1));
    }
};

QTEST_GUILESS_MAIN(SummaryServiceTest)
#include "SummaryServiceTest.moc"
