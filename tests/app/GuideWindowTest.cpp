#include "app/guide/GuideWindow.h"
#include "WindowHarness.h"
#include "app/guide/Onboarding.h"
#include "app/guide/StepRow.h"
#include "app/guide/SuggestionsStep.h"
#include "app/widgets/KeyField.h"
#include "app/widgets/ProviderPicker.h"
#include "fakes/PulseTestSupport.h"
#include "fakes/UserFolders.h"
#include "fakes/WhisperModelWriter.h"
#include "settings/Keychain.h"

#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>

using namespace std::chrono_literals;
using Kind = StepState::Kind;

namespace {

// A guide on the harness's settings file, a data folder and an autostart entry of its own, with the
// session's real sound server and keyring; the local model server is the harness's loopback model.
struct Harness : WindowHarness {
    Harness()
        : dataHome("XDG_DATA_HOME", QFile::encodeName(directory.filePath(QStringLiteral("data"))))
    {
        settings.setText(SettingKey::localModelURL, model.baseURL() + QStringLiteral("/v1"));
        options.autostartEntry = directory.filePath(QStringLiteral("autostart/quillora.desktop"));
        options.executable = QStringLiteral("/opt/Quillora App/quillora");
        options.systemAudioWindow = 3s;
        options.localModelTimeout = 500ms;
    }

    template <typename T = StepRow> T* find(const QString& name = QString()) const
    {
        return gui::find<T>(window.get(), name);
    }
    QString suggestionsStatus() const { return find<QLabel>(QStringLiteral("suggestionsStatus"))->text(); }
    bool suggestionsReady() const { return find<SuggestionsStep>()->isReady(); }
    static QString why(const StepRow* row) { return row->findChild<QLabel*>(QStringLiteral("why"))->text(); }

    // Opens the guide and waits until every check of its first refresh has come back, the one that its
    // activation starts (as coming back from the sound settings does) included.
    bool openSettled()
    {
        window = std::make_unique<GuideWindow>(settings, keychain, nullptr, options);
        window->present();
        return QTest::qWaitForWindowActive(window.get()) && settledAfter([] {});
    }

    // Runs `action` and waits until the checks it starts have all come back. Every check ends by itself:
    // a key lookup within the keyring's own call timeout, so the wait is longer than that.
    template <typename Action> bool settledAfter(Action action)
    {
        QSignalSpy settled(window.get(), &GuideWindow::settled);
        action();
        return window->isSettled() || settled.wait(keyringWait);
    }

    pulseTest::ScopedEnvironment dataHome;
    Keychain keychain;
    GuideOptions options;
    std::unique_ptr<GuideWindow> window;
};

} // namespace

class GuideWindowTest : public QObject {
    Q_OBJECT

    UserFolders m_folders;

private Q_SLOTS:
    void initTestCase();
    void stepsLeftText_data();
    void stepsLeftText();
    void toolServerCommand_data();
    void toolServerCommand();
    void microphone_data();
    void microphone();
    void systemAudio_data();
    void systemAudio();
    void speechModel();
    void documentsFolder();
    void localModel_data();
    void localModel();
    void cloudKey();
    void keySaveWithoutKeyring();
    void doneAndReopening();
};

void GuideWindowTest::initTestCase()
{
    QVERIFY2(QGuiApplication::platformName() == u"xcb", "runs on Xvfb: scripts/with-services");
}

void GuideWindowTest::stepsLeftText_data()
{
    QTest::addColumn<QList<StepState>>("steps");
    QTest::addColumn<bool>("ready");
    QTest::addColumn<QString>("text");
    const StepState granted = StepState::granted();
    QTest::newRow("all done") << QList { granted, granted, granted, granted } << true
                              << QStringLiteral("Everything is set up.");
    QTest::newRow("only the microphone") << QList { StepState::denied(), granted, granted, granted } << true
                                         << QStringLiteral("1 required step left.");
    QTest::newRow("only the suggestions")
        << QList { granted, granted, granted, granted } << false << QStringLiteral("1 required step left.");
    QTest::newRow("working and failed count") << QList { StepState::working(QStringLiteral("Checking…")),
        StepState::failed(QStringLiteral("x")), granted, StepState::pending() }
                                              << false << QStringLiteral("4 required steps left.");
}

void GuideWindowTest::stepsLeftText()
{
    QFETCH(QList<StepState>, steps);
    QFETCH(bool, ready);
    QFETCH(QString, text);
    QCOMPARE(onboarding::stepsLeftText(onboarding::stepsLeft(steps, ready)), text);
}

void GuideWindowTest::toolServerCommand_data()
{
    QTest::addColumn<QString>("executable");
    QTest::addColumn<QString>("command");
    QTest::newRow("plain path") << QStringLiteral("/usr/bin/quillora")
                                << QStringLiteral("claude mcp add --scope user quillora -- /usr/bin/quillora --mcp");
    QTest::newRow("blank") << QStringLiteral("/opt/My Apps/quillora")
                           << QStringLiteral("claude mcp add --scope user quillora -- '/opt/My Apps/quillora' --mcp");
    QTest::newRow("quote and dollar")
        << QStringLiteral("/home/o'neil/$HOME/quillora")
        << QStringLiteral("claude mcp add --scope user quillora -- '/home/o'\\''neil/$HOME/quillora' --mcp");
}

void GuideWindowTest::toolServerCommand()
{
    QFETCH(QString, executable);
    QFETCH(QString, command);
    QCOMPARE(onboarding::toolServerCommand(executable), command);
}

void GuideWindowTest::microphone_data()
{
    QTest::addColumn<bool>("withSource");
    QTest::newRow("the session's source delivers") << true;
    QTest::newRow("no source at all") << false;
}

void GuideWindowTest::microphone()
{
    QFETCH(bool, withSource);
    QVERIFY(pulseTest::ready());
    std::optional<NoSoundSources> noSources;
    if (!withSource) {
        noSources.emplace();
        QVERIFY(noSources->removedAll());
    }

    // The first refresh finds out without any button.
    Harness harness;
    QVERIFY(harness.openSettled());
    StepRow* row = harness.find(QStringLiteral("microphone"));
    QCOMPARE(row->state(), withSource ? StepState::granted() : StepState::denied());
    QCOMPARE(row->button()->isVisible(), !withSource);
    if (!withSource) {
        QCOMPARE(Harness::why(row), QStringLiteral("No microphone input available"));
    }
}

void GuideWindowTest::systemAudio_data()
{
    QTest::addColumn<bool>("muted");
    QTest::addColumn<int>("kind");
    QTest::newRow("tone heard") << false << int(Kind::granted);
    // A muted sink hands its monitor exact zeros.
    QTest::newRow("monitor muted") << true << int(Kind::denied);
}

void GuideWindowTest::systemAudio()
{
    QFETCH(bool, muted);
    QFETCH(int, kind);
    QVERIFY(pulseTest::ready());
    const QString mute = muted ? QStringLiteral("1") : QStringLiteral("0");
    QVERIFY(pulseTest::pactl({ QStringLiteral("set-sink-mute"), QStringLiteral("callout"), mute }));
    const auto unmute = qScopeGuard([] {
        pulseTest::pactl({ QStringLiteral("set-sink-mute"), QStringLiteral("callout"), QStringLiteral("0") });
    });

    Harness harness;
    QVERIFY(harness.openSettled());
    StepRow* row = harness.find(QStringLiteral("systemAudio"));
    QCOMPARE(row->state(), StepState::pending());
    QVERIFY(harness.settledAfter([row] {
        row->button()->click();
        QCOMPARE(row->state().kind, Kind::working);
    }));
    QCOMPARE(int(row->state().kind), kind);
    QCOMPARE(row->button()->isVisible(), muted);
    if (muted) {
        QCOMPARE(Harness::why(row),
            QStringLiteral("No system audio came through. Open your sound settings, or play a sound and try again."));
    }
}

void GuideWindowTest::speechModel()
{
    Harness harness;
    const QString generated = harness.directory.filePath(QStringLiteral("generated.bin"));
    whisperModelWriter::write(generated, whisperModelWriter::Size::tiny);
    QFile file(generated);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray model = file.readAll();
    harness.settings.setText(SettingKey::speechModelListURL,
        whisperModelWriter::serve(harness.model, model, QByteArray(64, '0'))); // a wrong checksum first
    QVERIFY(harness.openSettled());
    StepRow* row = harness.find(QStringLiteral("speechModel"));
    QCOMPARE(row->state(), StepState::pending());
    // With the cloud engine chosen the model is not needed: neither shown nor counted.
    const auto left = [&] {
        return harness.find<QLabel>(QStringLiteral("stepsLeft"))->text().section(u' ', 0, 0).toInt();
    };
    const int withModel = left();
    harness.settings.setText(SettingKey::transcriptionEngine, QStringLiteral("openai"));
    QVERIFY(!row->isVisible());
    QCOMPARE(left(), withModel - 1);
    harness.settings.setText(SettingKey::transcriptionEngine, QStringLiteral("apple"));

    // A wrong checksum: the step fails with the reason and offers to try again; nothing is installed.
    row->button()->click();
    QTRY_COMPARE_WITH_TIMEOUT(row->state().kind, StepState::Kind::failed, 30000);
    QVERIFY(row->state().text.contains(QStringLiteral("checksum")));
    QCOMPARE(harness.settings.transcriptionEngineText(), QStringLiteral("apple"));

    whisperModelWriter::serve(harness.model, model);
    QStringList shown;
    connect(row, &StepRow::stateChanged, this, [&shown](const StepState& state) { shown.append(state.text); });
    row->button()->click();
    QTRY_COMPARE_WITH_TIMEOUT(row->state(), StepState::granted(), 60000);
    // The percentage climbs in whole percents as the model arrives, up to 100 before it is checked.
    int last = -1;
    for (const QString& text : std::as_const(shown)) {
        if (text.isEmpty()) {
            continue; // the final state
        }
        const int percent = text.sliced(12).chopped(1).toInt();
        QVERIFY2(text.startsWith(QStringLiteral("Downloading ")) && percent >= last, qPrintable(shown.join(u'|')));
        last = percent;
    }
    QVERIFY2(shown.size() > 3 && last == 100, qPrintable(shown.join(u'|')));
    QCOMPARE(harness.settings.transcriptionEngineText(), QStringLiteral("whisper"));
    QCOMPARE(harness.settings.whisperModel(), QStringLiteral("ggml-tiny.bin"));
}

void GuideWindowTest::documentsFolder()
{
    const QString folder = m_folders.documents() + QStringLiteral("/Quillora");
    QDir(folder).removeRecursively();
    QFile::remove(folder);
    {
        // A file where the folder should be: the step is denied and offers to try again.
        QFile blocker(folder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    }
    Harness harness;
    QVERIFY(harness.openSettled());
    StepRow* row = harness.find(QStringLiteral("documents"));
    QCOMPARE(row->state(), StepState::pending());
    row->button()->click();
    QCOMPARE(row->state(), StepState::denied());

    QVERIFY(QFile::remove(folder));
    row->button()->click();
    QCOMPARE(row->state(), StepState::granted());
    QVERIFY(QFileInfo(folder).isDir());
    // An existing folder is found by the next showing's first refresh, without any button.
    harness.window->close();
    QVERIFY(harness.openSettled());
    QCOMPARE(harness.find(QStringLiteral("documents"))->state(), StepState::granted());
}

void GuideWindowTest::localModel_data()
{
    QTest::addColumn<QByteArray>("models");
    QTest::addColumn<bool>("ready");
    // What the picker makes of a failed or late answer is the picker's own test.
    QTest::newRow("answers with models") << QByteArray(R"({"data":[{"id":"nomic-embed"},{"id":"llama3"}]})") << true;
    QTest::newRow("empty list") << QByteArray(R"({"data":[]})") << false;
}

void GuideWindowTest::localModel()
{
    QFETCH(QByteArray, models);
    QFETCH(bool, ready);
    Harness harness;
    harness.settings.setText(SettingKey::llmProvider, QStringLiteral("onDevice"));
    FakeHttpServer::Response answer;
    answer.contentType = "application/json";
    answer.chunks = { models };
    harness.model.respond("/v1/models", answer);
    QVERIFY(harness.openSettled());
    QCOMPARE(harness.suggestionsReady(), ready);
    QCOMPARE(harness.suggestionsStatus() == u"Ready", ready);
    QVERIFY(harness.find<QComboBox>(QStringLiteral("localModel"))->isVisible());
    QVERIFY(!harness.find<KeyField>()->isVisible());
    if (!ready) {
        return;
    }
    // Another address is stored and asked at once (nothing listens there); Return does not press "Done".
    auto* address = harness.find<QLineEdit>(QStringLiteral("serverAddress"));
    QVERIFY(harness.settledAfter([address] {
        address->selectAll();
        QTest::keyClicks(address, QStringLiteral("http://127.0.0.1:1/v1"));
        QTest::keyClick(address, Qt::Key_Return);
    }));
    QCOMPARE(harness.settings.localModelURL(), QStringLiteral("http://127.0.0.1:1/v1"));
    QVERIFY(!harness.suggestionsReady() && harness.window->isVisible());
}

void GuideWindowTest::cloudKey()
{
    if (!secretServiceAvailable()) {
        QSKIP("needs the session's keyring: scripts/with-services");
    }
    QVERIFY(keychain::save(QString(), QStringLiteral("openai")));
    QVERIFY(keychain::save(QStringLiteral("sk-ant-stored"), QStringLiteral("claude")));
    const auto cleanUp = qScopeGuard([] {
        keychain::save(QString(), QStringLiteral("claude"));
        keychain::save(QString(), QStringLiteral("openai"));
    });
    Harness harness;
    harness.settings.setText(SettingKey::llmProvider, QStringLiteral("claude"));
    QVERIFY(harness.openSettled());
    // A key already in the keyring makes Claude ready without any save.
    QCOMPARE(harness.suggestionsStatus(), QStringLiteral("Ready"));

    // Switching to OpenAI without a key asks for one; a save that succeeds makes it ready.
    auto* picker = harness.find<ProviderPicker>();
    QVERIFY(harness.settledAfter([picker] {
        picker->setCurrentIndex(2);
        Q_EMIT picker->activated(2);
    }));
    QCOMPARE(harness.suggestionsStatus(), QStringLiteral("Save an API key to get suggestions."));
    auto* save = harness.find<QPushButton>(QStringLiteral("saveKey"));
    QVERIFY(!save->isEnabled());
    QTest::keyClicks(harness.find<KeyField>(), QStringLiteral("sk-openai-new"));
    QSignalSpy saved(harness.find<KeyField>(), &KeyField::saveFinished);
    save->click();
    QVERIFY(saved.wait(keyringWait));
    QCOMPARE(harness.suggestionsStatus(), QStringLiteral("Ready"));
    QCOMPARE(keychain::read(QStringLiteral("openai")), std::optional(QStringLiteral("sk-openai-new")));
}

void GuideWindowTest::keySaveWithoutKeyring()
{
    // Run alone on a session bus without any keyring (see CMakeLists.txt).
    if (secretServiceAvailable()) {
        QSKIP("a keyring serves this session");
    }
    Harness harness;
    harness.settings.setText(SettingKey::llmProvider, QStringLiteral("claude"));
    QVERIFY(harness.openSettled());
    QTest::keyClicks(harness.find<KeyField>(), QStringLiteral("sk-ant-unsaved"));
    QSignalSpy saved(harness.find<KeyField>(), &KeyField::saveFinished);
    QTest::keyClick(harness.find<KeyField>(), Qt::Key_Return);
    QVERIFY(saved.wait(keyringWait));
    // The failure is said with what to install, and the provider is never shown as ready.
    QVERIFY(harness.window->isVisible());
    QCOMPARE(harness.find<QLabel>(QStringLiteral("apiKeyStatus"))->text(), keychain::noKeyringText());
    QVERIFY(!harness.suggestionsReady());
}

void GuideWindowTest::doneAndReopening()
{
    Harness harness;
    QVERIFY(harness.openSettled());
    const QStringList unnamed = gui::unnamedControls(harness.window.get());
    QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(u'\n')));
    harness.find<QPushButton>(QStringLiteral("copyCommand"))->click();
    QCOMPARE(QGuiApplication::clipboard()->text(),
        QStringLiteral("claude mcp add --scope user quillora -- '/opt/Quillora App/quillora' --mcp"));

    // "Done" works whatever is left, and only it sets the flag.
    QVERIFY(!harness.settings.onboardingDone());
    harness.find<QPushButton>(QStringLiteral("done"))->click();
    QVERIFY(harness.settings.onboardingDone());
    QVERIFY(!harness.window->isVisible());

    // Each showing of the call window opens the guide until "Done" set the flag.
    QWidget callWindow;
    int opened = 0;
    new GuideOpener(harness.settings, &callWindow, [&opened] { ++opened; });
    for (const bool done : { false, false, true }) {
        harness.settings.setBoolean(SettingKey::onboardingDone, done);
        const int before = opened;
        QVERIFY(gui::shown(&callWindow));
        QTRY_COMPARE(opened, before + (done ? 0 : 1));
        callWindow.hide();
    }
}

QTEST_MAIN(GuideWindowTest)
#include "GuideWindowTest.moc"
