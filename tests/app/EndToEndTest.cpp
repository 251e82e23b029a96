#include "AccessibleTree.h"
#include "SessionManager.h"
#include "fakes/FakeHttpServer.h"
#include "fakes/PulseTestSupport.h"

#include <SQLiteCpp/Database.h>

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <optional>

namespace {

const QString summaryText = QStringLiteral("Summary: The other person asked about the last project.");
const QString suggestionText = QStringLiteral("I led the migration of our billing system.");

// The loopback stand-in for a local OpenAI-compatible model server.
void serveLocalModel(FakeHttpServer& server)
{
    FakeHttpServer::Response models;
    models.contentType = "application/json";
    models.chunks = { R"({"object":"list","data":[{"id":"fake-local","object":"model"}]})" };
    server.respond("/v1/models", models);
    server.handle("/v1/chat/completions", [](const FakeHttpServer::Request& request) {
        const QJsonArray messages = request.json().value(QLatin1String("messages")).toArray();
        const QString system = messages.first().toObject().value(QLatin1String("content")).toString();
        const QString reply =
            system.startsWith(QLatin1String("You summarize video calls")) ? summaryText : suggestionText;
        FakeHttpServer::Response response;
        for (const QString& word : reply.split(u' ')) {
            response.chunks.append(
                fakeEvents::openAIText(word + (word == reply.split(u' ').last() ? QString() : QStringLiteral(" "))));
        }
        response.chunks.append(fakeEvents::done());
        return response;
    });
}

} // namespace

// A whole call through the built app, the way a person holds one: the global hot keys on the X
// server, speech into the two PulseAudio sinks, the on-device recogniser and a local model server;
// then the stored call read back through the tool server and the call file in the documents folder.
class EndToEndTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void wholeCall();
    void endingTheAppWhileListeningStoresTheCall_data();
    void endingTheAppWhileListeningStoresTheCall();
    void cleanup();

private:
    // Starts the desktop app in its own home, with the on-device engines and the local model at
    // `modelBaseURL` (and the session manager at `sessionManager`, when given); the environment serves
    // the tool server afterwards.
    QProcessEnvironment launch(const QString& home, const QString& modelBaseURL, const QString& sessionManager = {});
    bool waitForLog(const QString& needle, int timeoutMs);
    void pressKeys(const QString& keys);
    void playToEnd(const QString& file, const QString& sink);
    QJsonObject callTool(QProcess& server, int id, const QString& name, const QJsonObject& arguments);
    // Runs the AT-SPI helper beside this test (as a screen reader sees the window); its output, or
    // nothing when it failed.
    std::optional<QByteArray> accessible(const QStringList& arguments);

    QTemporaryDir m_home;
    QProcess m_app;
    QString m_log;
};

void EndToEndTest::initTestCase()
{
    if (!pulseTest::ready() || qEnvironmentVariableIsEmpty("DISPLAY")) {
        QSKIP("needs the PulseAudio daemon and Xvfb of scripts/with-services");
    }
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty()) {
        QSKIP("xdotool is not installed");
    }
    QVERIFY(m_home.isValid());
}

void EndToEndTest::cleanup()
{
    if (m_app.state() != QProcess::NotRunning) {
        m_app.kill();
        m_app.waitForFinished(5000);
    }
}

bool EndToEndTest::waitForLog(const QString& needle, int timeoutMs)
{
    QElapsedTimer waited;
    waited.start();
    while (!m_log.contains(needle)) {
        if (waited.elapsed() > timeoutMs || m_app.state() == QProcess::NotRunning) {
            return false;
        }
        QTest::qWait(50);
    }
    return true;
}

void EndToEndTest::pressKeys(const QString& keys)
{
    QProcess xdotool;
    xdotool.start(QStringLiteral("xdotool"), { QStringLiteral("key"), keys });
    QVERIFY(xdotool.waitForFinished(10000));
    QCOMPARE(xdotool.exitCode(), 0);
}

// Plays the file into the sink and returns once all of it has been played; the event loop turns
// meanwhile, so the loopback model server goes on answering.
void EndToEndTest::playToEnd(const QString& file, const QString& sink)
{
    QProcess player;
    QSignalSpy finished(&player, &QProcess::finished);
    player.start(QStringLiteral("paplay"), { QStringLiteral("-d"), sink, file });
    QVERIFY(finished.wait(60000));
    QCOMPARE(player.exitCode(), 0);
}

QJsonObject EndToEndTest::callTool(QProcess& server, int id, const QString& name, const QJsonObject& arguments)
{
    const QJsonObject request { { QStringLiteral("jsonrpc"), QStringLiteral("2.0") }, { QStringLiteral("id"), id },
        { QStringLiteral("method"), QStringLiteral("tools/call") },
        { QStringLiteral("params"),
            QJsonObject { { QStringLiteral("name"), name }, { QStringLiteral("arguments"), arguments } } } };
    server.write(QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n');
    while (!server.canReadLine()) {
        if (!server.waitForReadyRead(10000)) {
            return {};
        }
    }
    const QJsonObject answer = QJsonDocument::fromJson(server.readLine()).object();
    const QString text = answer.value(QLatin1String("result"))
                             .toObject()
                             .value(QLatin1String("content"))
                             .toArray()
                             .first()
                             .toObject()
                             .value(QLatin1String("text"))
                             .toString();
    return QJsonDocument::fromJson(text.toUtf8()).object();
}

QProcessEnvironment EndToEndTest::launch(
    const QString& home, const QString& modelBaseURL, const QString& sessionManager)
{
    {
        QSettings settings(home + QStringLiteral("/config/Vessaro/Quillora.conf"), QSettings::IniFormat);
        settings.setValue(QStringLiteral("llmProvider"), QStringLiteral("onDevice"));
        settings.setValue(QStringLiteral("localModelURL"), modelBaseURL + QStringLiteral("/v1"));
        settings.setValue(QStringLiteral("transcriptionEngine"), QStringLiteral("apple"));
        settings.setValue(QStringLiteral("speechLocale"), QStringLiteral("en-US"));
        settings.setValue(QStringLiteral("onboardingDone"), true);
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // Qt's accessibility bridge on, as when a screen reader runs.
    environment.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
    environment.insert(QStringLiteral("HOME"), home);
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.remove(QStringLiteral("SESSION_MANAGER"));
    if (!sessionManager.isEmpty()) {
        environment.insert(QStringLiteral("SESSION_MANAGER"), sessionManager);
    }
    m_log.clear();
    m_app.setProcessEnvironment(environment);
    m_app.setProcessChannelMode(QProcess::MergedChannels);
    disconnect(&m_app, &QProcess::readyRead, this, nullptr);
    connect(&m_app, &QProcess::readyRead, this, [this] { m_log += QString::fromUtf8(m_app.readAll()); });
    m_app.start(QStringLiteral(QUILLORA_BINARY), {});
    m_app.waitForStarted();
    return environment;
}

std::optional<QByteArray> EndToEndTest::accessible(const QStringList& arguments)
{
    QProcess helper;
    helper.start(
        QStringLiteral("/usr/bin/python3"), QStringList { QStringLiteral(QUILLORA_ACCESSIBLE_WINDOW) } + arguments);
    if (!helper.waitForFinished(40000) || helper.exitCode() != 0) {
        qWarning("%s", helper.readAllStandardError().constData());
        return std::nullopt;
    }
    return helper.readAllStandardOutput();
}

void EndToEndTest::wholeCall()
{
    FakeHttpServer model;
    serveLocalModel(model);
    const QString home = m_home.filePath(QStringLiteral("whole"));
    const QProcessEnvironment environment = launch(home, model.baseURL());
    QVERIFY2(waitForLog(QStringLiteral("Ctrl+Alt+Return grabbed"), 20000), qPrintable(m_log));

    // Ctrl+Alt+Space: listening starts.
    pressKeys(QStringLiteral("ctrl+alt+space"));
    QVERIFY2(waitForLog(QStringLiteral("System audio capture started"), 30000), qPrintable(m_log));

    // The other person asks; the app hears it on the system audio and the local model is asked.
    QTemporaryDir audio;
    QSignalSpy requests(&model, &FakeHttpServer::requestReceived);
    playToEnd(
        pulseTest::speak(audio,
            QStringLiteral(
                "Hello and thank you for joining us today. Can you tell me about the last project you worked on?")),
        QStringLiteral("callout"));
    QVERIFY2(waitForLog(QStringLiteral("Finished line: them"), 30000), qPrintable(m_log));
    // Ctrl+Alt+Enter asks at once, whether or not the line was taken for a question.
    pressKeys(QStringLiteral("ctrl+alt+Return"));
    QTRY_VERIFY_WITH_TIMEOUT(std::any_of(model.requests().begin(), model.requests().end(),
                                 [](const FakeHttpServer::Request& r) { return r.path == "/v1/chat/completions"; }),
        30000);

    // The user answers into the microphone.
    playToEnd(pulseTest::speak(audio,
                  QStringLiteral("Yes of course. Last year I worked on a large migration of our billing system with a "
                                 "small team of four people. We moved every customer account to the new platform in "
                                 "three months, and the monthly invoices now go out two days sooner than before.")),
        QStringLiteral("micfeed"));

    // Ctrl+Alt+Space: listening stops, ending the utterance in progress; the call is summarised,
    // written and stored.
    pressKeys(QStringLiteral("ctrl+alt+space"));
    const QString folder = home + QStringLiteral("/Documents/Quillora");
    QTRY_VERIFY_WITH_TIMEOUT(!QDir(folder).entryList({ QStringLiteral("*.md") }).isEmpty(), 30000);
    const QString file = folder + u'/' + QDir(folder).entryList({ QStringLiteral("*.md") }).first();
    QFile written(file);
    QVERIFY(written.open(QIODevice::ReadOnly));
    const QString markdown = QString::fromUtf8(written.readAll());
    // How many words the recogniser heard decides between a summary and a short call; the app must
    // have asked the model exactly when the call was long enough.
    const bool summarised = std::any_of(model.requests().begin(), model.requests().end(),
        [](const auto& r) { return r.body.contains("You summarize video calls"); });
    const QString expectedSummary = summarised ? summaryText : QStringLiteral("Short call: no summary.");
    QVERIFY2(markdown.contains(QStringLiteral("## Summary\n\n") + expectedSummary), qPrintable(markdown));
    QVERIFY2(markdown.contains(QStringLiteral(" Suggestion:** ") + suggestionText), qPrintable(markdown));
    QVERIFY(markdown.contains(QStringLiteral(" You:** ")));
    QVERIFY(markdown.contains(QStringLiteral(" Other:** ")));

    // The stored call, as a coding agent reads it.
    QProcess tools;
    tools.setProcessEnvironment(environment);
    tools.start(QStringLiteral(QUILLORA_BINARY), { QStringLiteral("--mcp") });
    QVERIFY(tools.waitForStarted());
    // The call file is written just before the call is stored, so another process may see the file
    // first: ask until the stored call is there.
    QJsonArray calls;
    int listing = 100;
    QTRY_COMPARE_WITH_TIMEOUT((calls = callTool(tools, ++listing, QStringLiteral("list_calls"),
                                   { { QStringLiteral("assistant"), QStringLiteral("General") } })
                                           .value(QLatin1String("calls"))
                                           .toArray())
                                  .size(),
        1, 10000);
    const QString id = calls.first().toObject().value(QLatin1String("id")).toString();
    const QJsonObject call = callTool(tools, 2, QStringLiteral("get_call"), { { QStringLiteral("call"), id } });
    QCOMPARE(call.value(QLatin1String("summary")).toString(), expectedSummary);
    QCOMPARE(call.value(QLatin1String("archive_file")).toString(), file);
    QStringList speakers;
    qsizetype words = 0;
    for (const QJsonValue& line : call.value(QLatin1String("lines")).toArray()) {
        speakers.append(line.toObject().value(QLatin1String("speaker")).toString());
        words += line.toObject()
                     .value(QLatin1String("text"))
                     .toString()
                     .split(QRegularExpression(QStringLiteral("[^\\p{L}\\p{N}]+")), Qt::SkipEmptyParts)
                     .size();
    }
    QCOMPARE(summarised, words >= 20);
    QVERIFY2(speakers.contains(QStringLiteral("You")) && speakers.contains(QStringLiteral("Other")),
        qPrintable(speakers.join(u',')));
    const QJsonArray suggestions = call.value(QLatin1String("suggestions")).toArray();
    QVERIFY(!suggestions.isEmpty());
    QCOMPARE(suggestions.last().toObject().value(QLatin1String("text")).toString(), suggestionText);

    // What a screen reader finds: every control named by its tooltip or label, and the call's
    // lines, suggestion and summary as text. Rating the call goes through it too.
    QList<AccessibleNode> tree;
    const auto rated = [&tree] {
        return std::any_of(tree.begin(), tree.end(),
            [](const AccessibleNode& node) { return node.name == u"Good call" && node.showing; });
    };
    const auto dump = [this] {
        return accessible({ QStringLiteral("dump"), QString::number(m_app.processId()) }).value_or(QByteArray());
    };
    QByteArray lastDump;
    QTRY_VERIFY2_WITH_TIMEOUT((tree = accessibleTree(lastDump = dump()), rated()), lastDump.constData(), 30000);
    const QStringList controls { QStringLiteral("push button"), QStringLiteral("check box"), QStringLiteral("text"),
        QStringLiteral("progress bar") };
    QStringList shown;
    for (const AccessibleNode& node : std::as_const(tree)) {
        shown.append(node.name);
        if (node.showing && controls.contains(node.role)) {
            QVERIFY2(!node.name.isEmpty(), qPrintable(node.role + u' ' + node.description));
            // Buttons that show a label of their own are named by it; all others by their tooltip.
            const bool labelled = node.name == u"Auto-scroll" || node.name.startsWith(u"Saved: ");
            QVERIFY2(labelled || node.description.isEmpty() || node.name == node.description, qPrintable(node.name));
        }
    }
    QVERIFY2(shown.contains(suggestionText), qPrintable(shown.join(u'|')));
    QVERIFY2(shown.contains(expectedSummary), qPrintable(shown.join(u'|')));
    for (const QJsonValue& line : call.value(QLatin1String("lines")).toArray()) {
        const QString text = line.toObject().value(QLatin1String("text")).toString();
        QVERIFY2(shown.contains(text), qPrintable(text + u'\n' + shown.join(u'|')));
    }
    QVERIFY(accessible({ QStringLiteral("press"), QStringLiteral("Good call"), QString::number(m_app.processId()) }));
    QTRY_COMPARE_WITH_TIMEOUT(callTool(tools, 3, QStringLiteral("get_call"), { { QStringLiteral("call"), id } })
                                  .value(QLatin1String("outcome"))
                                  .toString(),
        QStringLiteral("positive"), 10000);
    tools.closeWriteChannel();
    QVERIFY(tools.waitForFinished(10000));

    // Ending the app leaves nothing behind.
    ::kill(static_cast<pid_t>(m_app.processId()), SIGTERM);
    QVERIFY(m_app.waitForFinished(20000));
    QCOMPARE(m_app.exitCode(), 0);
}

// Ending the app in the middle of a call stores the call before the app ends: SIGTERM (`kill`), and
// logging out, where the session manager asks the app to save and sends Die the moment it answers.
void EndToEndTest::endingTheAppWhileListeningStoresTheCall_data()
{
    QTest::addColumn<bool>("logOut");
    QTest::newRow("SIGTERM") << false;
    QTest::newRow("logging out") << true;
}

void EndToEndTest::endingTheAppWhileListeningStoresTheCall()
{
    QFETCH(bool, logOut);
    SessionManager session;
    QVERIFY(!session.address().isEmpty());
    QSignalSpy registered(&session, &SessionManager::clientRegistered);
    FakeHttpServer model;
    serveLocalModel(model);
    const QString home = m_home.filePath(QString::fromLatin1(QTest::currentDataTag()));
    launch(home, model.baseURL(), session.address());
    QVERIFY2(registered.count() > 0 || registered.wait(20000), qPrintable(m_log));
    QVERIFY2(waitForLog(QStringLiteral("Ctrl+Alt+Return grabbed"), 20000), qPrintable(m_log));
    pressKeys(QStringLiteral("ctrl+alt+space"));
    QVERIFY2(waitForLog(QStringLiteral("System audio capture started"), 30000), qPrintable(m_log));
    QTemporaryDir audio;
    playToEnd(pulseTest::speak(audio, QStringLiteral("We should sign the contract before the end of the month.")),
        QStringLiteral("callout"));
    QVERIFY2(waitForLog(QStringLiteral("Finished line: them"), 30000), qPrintable(m_log));

    const std::string store = QFile::encodeName(home + QStringLiteral("/data/Quillora/Assistants.store")).toStdString();
    const auto storedWithLines = [&store] {
        return SQLite::Database(store, SQLite::OPEN_READONLY)
            .execAndGet("SELECT count(*) FROM \"Call\" WHERE length(\"linesData\") > 0")
            .getInt();
    };
    if (logOut) {
        QSignalSpy saved(&session, &SessionManager::saveDone);
        int storedWhenReady = -1; // what the store holds when the app says it is ready to end
        session.logOut([&] { storedWhenReady = storedWithLines(); });
        QTRY_VERIFY_WITH_TIMEOUT(m_app.state() == QProcess::NotRunning, 20000); // the session manager's loop turns
        QCOMPARE(saved.size(), 1);
        QVERIFY(saved.first().first().toBool());
        QCOMPARE(storedWhenReady, 1);
    } else {
        ::kill(static_cast<pid_t>(m_app.processId()), SIGTERM);
        QVERIFY(m_app.waitForFinished(30000));
        const QString folder = home + QStringLiteral("/Documents/Quillora");
        const QStringList files = QDir(folder).entryList({ QStringLiteral("*.md") });
        QCOMPARE(files.size(), 1);
        QFile written(folder + u'/' + files.first());
        QVERIFY(written.open(QIODevice::ReadOnly));
        QVERIFY2(written.readAll().contains(" Other:** "), qPrintable(m_log));
    }
    QCOMPARE(m_app.exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_app.exitCode(), 0);
    QCOMPARE(storedWithLines(), 1);
}

QTEST_GUILESS_MAIN(EndToEndTest)
#include "EndToEndTest.moc"
