#include "app/guide/GuideWindow.h"
#include "app/guide/Onboarding.h"
#include "app/guide/StepRow.h"
#include "app/guide/SuggestionsStep.h"
#include "app/widgets/AddressField.h"
#include "app/widgets/KeyField.h"
#include "app/widgets/ProviderPicker.h"
#include "fakes/FakeHttpServer.h"
#include "fakes/PulseTestSupport.h"
#include "fakes/UserFolders.h"
#include "fakes/WhisperModelWriter.h"
#include "settings/Keychain.h"
#include "settings/Settings.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace std::chrono_literals;
using Kind = StepState::Kind;

namespace {

// A guide on a settings file, a data folder and an autostart entry of its own, with the session's real
// sound server and keyring; the local model server is a loopback fake.
struct Harness {
    Harness()
        : settings(directory.filePath(QStringLiteral("Quillora.conf")), nullptr)
        , dataHome("XDG_DATA_HOME", QFile::encodeName(directory.filePath(QStringLiteral("data"))))
    {
        settings.setText(SettingKey::localModelURL, server.baseURL() + QStringLiteral("/v1"));
        options.autostartEntry = directory.filePath(QStringLiteral("autostart/quillora.desktop"));
        options.executable = QStringLiteral("/opt/Quillora App/quillora");
        options.systemAudioWindow = 3s;
        options.localModelTimeout = 500ms;
    }

    GuideWindow& open()
    {
        window = std::make_unique<GuideWindow>(settings, keychain, nullptr, options);
        window->present();
        return *window;
    }

    template <typename T = StepRow> T* find(const QString& name = QString()) const
    {
        return window->findChild<T*>(name);
    }
    QLabel* suggestionsStatus() const { return find<QLabel>(QStringLiteral("suggestionsStatus")); }
    bool suggestionsReady() const { return find<SuggestionsStep>()->isReady(); }

    // Opens the guide and waits until every probe of its first refresh has come back.
    bool openSettled()
    {
        GuideWindow& guide = open();
        QSignalSpy settled(&guide, &GuideWindow::settled);
        return QTest::qWaitForWindowExposed(&guide) && (guide.isSettled() || settled.wait(20000));
    }

    QTemporaryDir directory;
    Settings settings;
    pulseTest::ScopedEnvironment dataHome;
    Keychain keychain;
    FakeHttpServer server;
    GuideOptions options;
    std::unique_ptr<GuideWindow> window;
};

QByteArray modelList(const QStringList& ids)
{
    QByteArray body = "{\"object\":\"list\",\"data\":[";
    for (qsizetype i = 0; i < ids.size(); ++i) {
        body += (i ? "," : "") + QByteArray("{\"id\":\"") + ids[i].toUtf8() + "\",\"object\":\"model\"}";
    }
    return body + "]}";
}

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
    void microphone();
    void microphoneWithoutSource();
    void systemAudio_data();
    void systemAudio();
    void speechModel();
    void documentsFolder();
    void localModel_data();
    void localModel();
    void cloudKey();
    void keySaveWithoutKeyring();
    void optionalRowsAndDone();
    void opensWhileNotDone();
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

void GuideWindowTest::microphone()
{
    QVERIFY(pulseTest::ready());
    Harness harness;
    // The first refresh finds the session's source delivering audio without any button.
    QVERIFY(harness.openSettled());
    StepRow* row = harness.find(QStringLiteral("microphone"));
    QCOMPARE(row->state(), StepState::granted());
    QCOMPARE(row->statusLabel()->text(), QStringLiteral("Allowed"));
    QVERIFY(row->button()->isHidden());
}

void GuideWindowTest::microphoneWithoutSource()
{
    QVERIFY(pulseTest::ready());
    // Without any sink the server has no source at all (not even a monitor to fall back on).
    const QStringList modules =
        pulseTest::pactl({ QStringLiteral("list"), QStringLiteral("short"), QStringLiteral("modules") })
            .value_or(QString())
            .split(u'\n');
    QStringList nullSinks;
    for (const QString& line : modules) {
        const QStringList fields = line.split(u'\t');
        if (fields.size() >= 3 && fields[1] == u"module-null-sink") {
            QVERIFY(pulseTest::pactl({ QStringLiteral("unload-module"), fields[0] }));
            nullSinks.append(fields[2]);
        }
    }
    const auto restore = qScopeGuard([&nullSinks] {
        for (const QString& arguments : nullSinks) {
            pulseTest::pactl(QStringList { QStringLiteral("load-module"), QStringLiteral("module-null-sink") }
                + arguments.split(u' ', Qt::SkipEmptyParts));
        }
        pulseTest::pactl({ QStringLiteral("set-default-sink"), QStringLiteral("callout") });
        pulseTest::pactl({ QStringLiteral("set-default-source"), QStringLiteral("micfeed.monitor") });
    });
    QVERIFY(!nullSinks.isEmpty());

    Harness harness;
    QVERIFY(harness.openSettled());
    StepRow* row = harness.find(QStringLiteral("microphone"));
    QCOMPARE(row->state(), StepState::denied());
    QCOMPARE(row->whyLabel()->text(), QStringLiteral("No microphone input available"));
    QVERIFY(row->button()->isVisible());
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
    QCOMPARE(row->button()->text(), QStringLiteral("Allow"));
    QSignalSpy settled(harness.window.get(), &GuideWindow::settled);
    row->button()->click();
    QCOMPARE(row->state().kind, Kind::working);
    QVERIFY(settled.wait(20000));
    QCOMPARE(int(row->state().kind), kind);
    if (muted) {
        QCOMPARE(row->whyLabel()->text(),
            QStringLiteral("No system audio came through. Open your sound settings, or play a sound and try again."));
        QCOMPARE(row->statusLabel()->text(), QStringLiteral("Denied"));
        QVERIFY(row->button()->isVisible());
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
        whisperModelWriter::serve(harness.server, model, QByteArray(64, '0'))); // a wrong checksum first
    QVERIFY(harness.openSettled());
    StepRow* row = harness.find(QStringLiteral("speechModel"));
    QCOMPARE(row->state(), StepState::pending());
    QCOMPARE(row->whyLabel()->text(), QStringLiteral("Downloads the on-device transcription model once."));
    QCOMPARE(row->button()->text(), QStringLiteral("Download"));
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
    QCOMPARE(row->state().text,
        QStringLiteral("The downloaded file ggml-tiny.bin does not match its checksum; it was deleted. Try again."));
    QCOMPARE(row->button()->text(), QStringLiteral("Try again"));
    QCOMPARE(harness.settings.transcriptionEngineText(), QStringLiteral("apple"));

    whisperModelWriter::serve(harness.server, model);
    QStringList shown;
    connect(row, &StepRow::stateChanged, this, [&shown](const StepState& state) { shown.append(state.text); });
    row->button()->click();
    QCOMPARE(shown.value(0), QStringLiteral("Downloading 0%"));
    QTRY_COMPARE_WITH_TIMEOUT(row->state(), StepState::granted(), 60000);
    QCOMPARE(row->statusLabel()->text(), QStringLiteral("Installed"));
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
    QCOMPARE(row->button()->text(), QStringLiteral("Try again"));

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
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("models");
    QTest::addColumn<bool>("ready");
    // What the picker makes of a failed or late answer is the picker's own test.
    QTest::newRow("answers with models") << 200
                                         << QStringList { QStringLiteral("nomic-embed"), QStringLiteral("llama3") }
                                         << true;
    QTest::newRow("empty list") << 200 << QStringList() << false;
}

void GuideWindowTest::localModel()
{
    QFETCH(int, status);
    QFETCH(QStringList, models);
    QFETCH(bool, ready);
    Harness harness;
    harness.settings.setText(SettingKey::llmProvider, QStringLiteral("onDevice"));
    FakeHttpServer::Response answer;
    answer.status = status;
    answer.contentType = "application/json";
    answer.chunks = { modelList(models) };
    harness.server.respond("/v1/models", answer);
    QVERIFY(harness.openSettled());
    QCOMPARE(harness.suggestionsReady(), ready);
    QCOMPARE(harness.suggestionsStatus()->text(),
        ready ? QStringLiteral("Ready")
              : QStringLiteral("No local model server answered. Start one (for example Ollama), or choose Claude or "
                               "OpenAI with a key."));
    QVERIFY(harness.find<LocalModelPicker>()->isVisible());
    QVERIFY(!harness.find<KeyField>()->isVisible());
    if (!ready) {
        return;
    }
    // Another address is stored and asked at once (nothing listens there); Return does not press "Done".
    QSignalSpy settled(harness.window.get(), &GuideWindow::settled);
    harness.find<AddressField>()->selectAll();
    QTest::keyClicks(harness.find<AddressField>(), QStringLiteral("http://127.0.0.1:1/v1"));
    QTest::keyClick(harness.find<AddressField>(), Qt::Key_Return);
    QVERIFY(settled.wait(10000));
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
    GuideWindow& guide = *harness.window;
    // A key already in the keyring makes Claude ready without any save.
    QCOMPARE(harness.suggestionsStatus()->text(), QStringLiteral("Ready"));

    // Switching to OpenAI without a key asks for one; a save that succeeds makes it ready.
    QSignalSpy settled(&guide, &GuideWindow::settled);
    harness.find<ProviderPicker>()->setCurrentIndex(2);
    Q_EMIT harness.find<ProviderPicker>()->activated(2);
    QVERIFY(settled.wait(20000));
    QCOMPARE(harness.suggestionsStatus()->text(), QStringLiteral("Save an API key to get suggestions."));
    QVERIFY(!harness.find<QPushButton>(QStringLiteral("saveKey"))->isEnabled());
    QTest::keyClicks(harness.find<KeyField>(), QStringLiteral("sk-openai-new"));
    QSignalSpy saved(harness.find<KeyField>(), &KeyField::saveFinished);
    harness.find<QPushButton>(QStringLiteral("saveKey"))->click();
    QVERIFY(saved.wait(20000));
    QCOMPARE(harness.suggestionsStatus()->text(), QStringLiteral("Ready"));
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
    GuideWindow& guide = *harness.window;
    QTest::keyClicks(harness.find<KeyField>(), QStringLiteral("sk-ant-unsaved"));
    QSignalSpy saved(harness.find<KeyField>(), &KeyField::saveFinished);
    QTest::keyClick(harness.find<KeyField>(), Qt::Key_Return);
    QVERIFY(saved.wait(20000));
    // The failure is said with what to install, and the provider is never shown as ready.
    QVERIFY(guide.isVisible());
    QCOMPARE(guide.findChild<QLabel*>(QStringLiteral("apiKeyStatus"))->text(), keychain::noKeyringText());
    QVERIFY(!harness.suggestionsReady());
    QCOMPARE(harness.suggestionsStatus()->text(), QStringLiteral("Save an API key to get suggestions."));
}

void GuideWindowTest::optionalRowsAndDone()
{
    Harness harness;
    QVERIFY(harness.openSettled());
    GuideWindow& guide = *harness.window;
    QCOMPARE(guide.windowTitle(), QStringLiteral("Welcome to Quillora"));
    QCOMPARE(guide.minimumSize(), QSize(520, 600));

    harness.find<QPushButton>(QStringLiteral("copyCommand"))->click();
    QCOMPARE(harness.find<QPushButton>(QStringLiteral("copyCommand"))->text(), QStringLiteral("Copied"));
    QCOMPARE(QGuiApplication::clipboard()->text(),
        QStringLiteral("claude mcp add --scope user quillora -- '/opt/Quillora App/quillora' --mcp"));

    // "Done" works whatever is left, and only it sets the flag.
    QVERIFY(!harness.settings.onboardingDone());
    harness.find<QPushButton>(QStringLiteral("done"))->click();
    QVERIFY(harness.settings.onboardingDone());
    QVERIFY(!guide.isVisible());
}

void GuideWindowTest::opensWhileNotDone()
{
    QTemporaryDir directory;
    Settings settings(directory.filePath(QStringLiteral("Quillora.conf")), nullptr);
    QWidget callWindow;
    int opened = 0;
    new GuideOpener(settings, &callWindow, [&opened] { ++opened; });
    // Each showing of the call window opens the guide until "Done" set the flag.
    for (const bool done : { false, false, true }) {
        settings.setBoolean(SettingKey::onboardingDone, done);
        const int before = opened;
        callWindow.show();
        QVERIFY(QTest::qWaitForWindowExposed(&callWindow));
        QTRY_COMPARE(opened, before + (done ? 0 : 1));
        callWindow.hide();
    }
}

QTEST_MAIN(GuideWindowTest)
#include "GuideWindowTest.moc"
