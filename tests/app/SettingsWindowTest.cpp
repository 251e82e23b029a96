#include "app/settings/SettingsWindow.h"
#include "WindowHarness.h"
#include "app/settings/GeneralSettingsView.h"
#include "app/settings/SuggestionSettingsView.h"
#include "app/widgets/KeyField.h"
#include "fakes/PulseTestSupport.h"
#include "fakes/WhisperModelWriter.h"
#include "settings/Keychain.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QStandardItemModel>
#include <QTabWidget>

namespace {

const QString claude = QStringLiteral("claude");
const QString openai = QStringLiteral("openai");

// A settings window on the harness's settings file and an autostart folder of its own, with the session's
// real keyring.
struct Harness : WindowHarness {
    Harness() { open(); }

    void open()
    {
        window = std::make_unique<SettingsWindow>(settings, keychain, nullptr,
            SettingsWindowOptions { directory.filePath(QStringLiteral("autostart/quillora.desktop")),
                QStringLiteral("/usr/bin/quillora") });
    }

    template <typename T = QWidget> T* named(const QString& name) const { return gui::named<T>(window.get(), name); }
    template <typename T = QWidget> T* find(const QString& name) const { return gui::find<T>(window.get(), name); }

    // Shows the Suggestions tab and waits until the key of a cloud provider has been read.
    bool showSuggestions()
    {
        QSignalSpy loaded(find<KeyField>(QStringLiteral("apiKey")), &KeyField::loaded);
        find<QTabWidget>(QString())->setCurrentWidget(find(QStringLiteral("suggestions")));
        const bool cloud = settings.llmProvider() != LLMProvider::onDevice;
        return gui::shown(window.get()) && (!cloud || !loaded.isEmpty() || loaded.wait(keyringWait));
    }

    void choose(QComboBox* picker, int index)
    {
        picker->setCurrentIndex(index);
        Q_EMIT picker->activated(index);
    }

    Keychain keychain;
    std::unique_ptr<SettingsWindow> window;
};

bool saveAndWait(KeyField* field, QAbstractButton* button)
{
    QSignalSpy finished(field, &KeyField::saveFinished);
    QTest::mouseClick(button, Qt::LeftButton);
    return !finished.isEmpty() || finished.wait(20000);
}

// Replaces the field's text as a user does, and presses Return.
void enter(QLineEdit* field, const QString& text)
{
    field->selectAll();
    QTest::keyClicks(field, text);
    QTest::keyClick(field, Qt::Key_Return);
}

} // namespace

class SettingsWindowTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void opacity_data();
    void opacity();
    void windowToggles();
    void engine_data();
    void engine();
    void downloadSpeechModel();
    void providerSwitchKeepsModelsAndKeys();
    void updateFeed();
    void onDeviceModel_data();
    void onDeviceModel();
    void keyWrittenOnlyWhenEdited_data();
    void keyWrittenOnlyWhenEdited();
    void keySaveWithoutKeyring();
    void accessibleNames();
};

void SettingsWindowTest::initTestCase()
{
    QVERIFY2(QGuiApplication::platformName() == u"xcb", "runs on Xvfb: scripts/with-services");
}

void SettingsWindowTest::opacity_data()
{
    QTest::addColumn<double>("stored");
    QTest::addColumn<int>("moveTo"); // slider steps (thousandths); 0 leaves the slider alone
    QTest::addColumn<double>("expectedStored");
    QTest::addColumn<QString>("shown");
    QTest::newRow("default") << -1.0 << 0 << 1.0 << QStringLiteral("100%");
    QTest::newRow("fraction dropped") << 0.555 << 0 << 0.555 << QStringLiteral("55%");
    QTest::newRow("binary fraction below") << 0.57 << 0 << 0.57 << QStringLiteral("57%");
    QTest::newRow("slider moved") << 1.0 << 420 << 0.42 << QStringLiteral("42%");
}

void SettingsWindowTest::opacity()
{
    QFETCH(double, stored);
    QFETCH(int, moveTo);
    QFETCH(double, expectedStored);
    QFETCH(QString, shown);
    Harness harness;
    if (stored >= 0) {
        harness.settings.setNumber(SettingKey::windowOpacity, stored);
    }
    QVERIFY(gui::shown(harness.window.get()));
    if (moveTo > 0) {
        harness.named<QSlider>(QStringLiteral("Glass opacity"))->setValue(moveTo);
    }
    QCOMPARE(harness.settings.windowOpacity(), expectedStored);
    QCOMPARE(harness.find<QLabel>(QStringLiteral("opacityText"))->text(), shown);
}

void SettingsWindowTest::windowToggles()
{
    Harness harness;
    QVERIFY(gui::shown(harness.window.get()));
    auto* onTop = harness.named<QCheckBox>(QStringLiteral("Always on Top"));
    QVERIFY(onTop->isChecked());
    onTop->click();
    QVERIFY(!harness.settings.isAlwaysOnTop());
    // The call window's pin writes the same key; the toggle follows.
    harness.settings.setBoolean(SettingKey::isAlwaysOnTop, true);
    QVERIFY(onTop->isChecked());

    // The window cannot be hidden from a capture here: the toggle says so and changes nothing, and the
    // stored default (hidden) stays unwritten.
    auto* hide = harness.named<QCheckBox>(QStringLiteral("Hide when sharing the whole screen"));
    QVERIFY(!hide->isEnabled() && !hide->isChecked());
    QCOMPARE(hide->accessibleDescription(), QStringLiteral("Not available on this desktop."));
    hide->click();
    QVERIFY(harness.settings.hideFromScreenShare());
    QVERIFY(!harness.settings.contains(SettingKey::hideFromScreenShare));

    // Where the compositor's capture can be seen, the toggle works and shows the stored value; when the
    // watcher loses PipeWire it goes back to the note with the stored value untouched.
    auto* general = harness.find<GeneralSettingsView>(QStringLiteral("general"));
    general->setScreenShareVisible(true);
    QVERIFY(hide->isEnabled() && hide->isChecked());
    hide->click();
    QVERIFY(!harness.settings.hideFromScreenShare());
    harness.settings.setBoolean(SettingKey::hideFromScreenShare, true);
    QVERIFY(hide->isChecked());
    general->setScreenShareVisible(false);
    QVERIFY(!hide->isEnabled() && !hide->isChecked());
    QVERIFY(harness.settings.hideFromScreenShare());
}

void SettingsWindowTest::engine_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("shownIndex");
    QTest::newRow("never set") << QString() << 0;
    QTest::newRow("whisper") << QStringLiteral("whisper") << 1;
    QTest::newRow("openai") << openai << 2;
    QTest::newRow("other spelling") << QStringLiteral("OpenAI") << 0;
}

void SettingsWindowTest::engine()
{
    QFETCH(QString, stored);
    QFETCH(int, shownIndex);
    const QStringList values { QStringLiteral("apple"), QStringLiteral("whisper"), openai };
    Harness harness;
    if (!stored.isNull()) {
        harness.settings.setText(SettingKey::transcriptionEngine, stored);
    }
    QVERIFY(gui::shown(harness.window.get()));
    auto* engine = harness.named<QComboBox>(QStringLiteral("Engine"));
    const auto shows = [&](int index) {
        return engine->currentIndex() == index
            && harness.find<KeyField>(QStringLiteral("openAIKey"))->isVisible() == (index == 2)
            && harness.find(QStringLiteral("speechModels"))->isVisible() == (index != 2)
            && harness.named(QStringLiteral("Language"))->isVisible() == (index == 1);
    };
    QVERIFY(shows(shownIndex));
    // Showing the stored value writes nothing.
    QCOMPARE(harness.settings.contains(SettingKey::transcriptionEngine), !stored.isNull());

    // Choosing another engine stores its value and shows or hides the key.
    const int other = shownIndex == 2 ? 0 : 2;
    harness.choose(engine, other);
    QCOMPARE(harness.settings.transcriptionEngineText(), values[other]);
    QVERIFY(shows(other));
}

// Settings lists the models with their sizes, downloads the chosen one and then uses the Whisper
// engine with it; until a model is installed the Whisper engine cannot be chosen.
void SettingsWindowTest::downloadSpeechModel()
{
    Harness harness;
    pulseTest::ScopedEnvironment dataHome(
        "XDG_DATA_HOME", QFile::encodeName(harness.directory.filePath(QStringLiteral("data"))));
    const QString generated = harness.directory.filePath(QStringLiteral("generated.bin"));
    whisperModelWriter::write(generated, whisperModelWriter::Size::tiny);
    QFile file(generated);
    QVERIFY(file.open(QIODevice::ReadOnly));
    harness.settings.setText(SettingKey::speechModelListURL, whisperModelWriter::serve(harness.model, file.readAll()));
    harness.open();
    QVERIFY(gui::shown(harness.window.get()));
    auto* models = harness.find<QComboBox>(QStringLiteral("speechModels"));
    auto* download = harness.find<QPushButton>(QStringLiteral("downloadSpeechModel"));
    auto* status = harness.find<QLabel>(QStringLiteral("speechModelStatus"));
    auto* engines = qobject_cast<QStandardItemModel*>(harness.named<QComboBox>(QStringLiteral("Engine"))->model());
    QTRY_COMPARE(models->count(), 1);
    QCOMPARE(models->currentText(), QStringLiteral("Whisper tiny, 78 MB"));
    QVERIFY(!engines->item(1)->isEnabled());

    QTest::mouseClick(download, Qt::LeftButton);
    QVERIFY(harness.named<QProgressBar>(QStringLiteral("Download progress"))->isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(status->text(), QStringLiteral("Installed. The Whisper engine uses this model."), 60000);
    QCOMPARE(harness.settings.transcriptionEngineText(), QStringLiteral("whisper"));
    QCOMPARE(harness.settings.whisperModel(), QStringLiteral("ggml-tiny.bin"));
    QVERIFY(engines->item(1)->isEnabled());
    QCOMPARE(models->currentText(), QStringLiteral("Whisper tiny, 78 MB, installed"));
    QVERIFY(!download->isEnabled());
}

void SettingsWindowTest::providerSwitchKeepsModelsAndKeys()
{
    Harness harness;
    Settings& settings = harness.settings;
    settings.setText(SettingKey::llmProvider, claude);
    settings.setText(SettingKey::llmModelClaude, QStringLiteral("claude-custom"));
    settings.setText(SettingKey::improvementModelOpenAI, QStringLiteral("gpt-improve"));
    QVERIFY(keychain::save(QStringLiteral("sk-ant-1"), claude));
    QVERIFY(keychain::save(QStringLiteral("sk-openai-1"), openai));
    QVERIFY(harness.showSuggestions());
    auto* provider = harness.named<QComboBox>(QStringLiteral("Provider"));
    auto* model = harness.find<QLineEdit>(QStringLiteral("model"));
    auto* improvementModel = harness.find<QLineEdit>(QStringLiteral("improvementModel"));
    auto* key = harness.find<KeyField>(QStringLiteral("apiKey"));
    QCOMPARE(model->text(), QStringLiteral("claude-custom"));
    QCOMPARE(improvementModel->text(), QString());
    QCOMPARE(key->text(), QStringLiteral("sk-ant-1"));

    // An unsaved edit stays while the window is minimised and restored (a spontaneous show, not an opening
    // of the tab), and is dropped when the provider changes.
    QTest::keyClicks(model, QStringLiteral("-unsaved"));
    harness.window->showMinimized();
    harness.window->showNormal();
    QCOMPARE(model->text(), QStringLiteral("claude-custom-unsaved"));
    QSignalSpy loaded(key, &KeyField::loaded);
    harness.choose(provider, static_cast<int>(LLMProvider::openai));
    QVERIFY(loaded.wait(keyringWait));
    QCOMPARE(settings.llmProviderText(), openai);
    QCOMPARE(model->text(), QString());
    QCOMPARE(improvementModel->text(), QStringLiteral("gpt-improve"));
    QCOMPARE(key->text(), QStringLiteral("sk-openai-1"));

    harness.choose(provider, static_cast<int>(LLMProvider::claude));
    QVERIFY(loaded.wait(keyringWait));
    QCOMPARE(model->text(), QStringLiteral("claude-custom"));
    QCOMPARE(key->text(), QStringLiteral("sk-ant-1"));
    QCOMPARE(keychain::read(openai), std::optional(QStringLiteral("sk-openai-1")));
}

void SettingsWindowTest::updateFeed()
{
    Harness harness;
    QVERIFY(gui::shown(harness.window.get()));
    auto* field = harness.find<QLineEdit>(QStringLiteral("updateFeed"));
    auto* complaint = harness.find<QLabel>(QStringLiteral("updateFeedStatus"));
    // Not a web address: nothing is stored, and the entry stays to be mended.
    enter(field, QStringLiteral("ftp://example.invalid/appcast.xml"));
    QVERIFY(!harness.settings.contains(SettingKey::updateFeedURL));
    QVERIFY(complaint->isVisible());
    QCOMPARE(field->text(), QStringLiteral("ftp://example.invalid/appcast.xml"));
    enter(field, QStringLiteral(" https://example.invalid/appcast.xml "));
    QCOMPARE(harness.settings.updateFeedURL(), QStringLiteral("https://example.invalid/appcast.xml"));
    QVERIFY(!complaint->isVisible());
}

void SettingsWindowTest::onDeviceModel_data()
{
    QTest::addColumn<bool>("serverAnswers");
    QTest::newRow("server lists its models") << true;
    QTest::newRow("no server") << false;
}

void SettingsWindowTest::onDeviceModel()
{
    // A local server may list an embedding model first, so its model can be named or picked too.
    QFETCH(bool, serverAnswers);
    Harness harness;
    FakeHttpServer::Response models;
    models.contentType = "application/json";
    models.chunks = { R"({"data":[{"id":"nomic-embed-text"},{"id":"llama3.2"}]})" };
    harness.model.respond("/v1/models", models);
    // Nothing listens on port 1 of the loopback: the connection is refused at once.
    harness.settings.setText(SettingKey::localModelURL, QStringLiteral("http://127.0.0.1:1/v1"));
    auto* view = harness.find<SuggestionSettingsView>(QStringLiteral("suggestions"));
    QSignalSpy listed(view, &SuggestionSettingsView::serverModelsListed);
    QVERIFY(harness.showSuggestions());
    auto* model = harness.find<QLineEdit>(QStringLiteral("model"));
    auto* serverModels = harness.find<QComboBox>(QStringLiteral("serverModels"));
    QVERIFY(model->isVisible());
    QVERIFY(!harness.find(QStringLiteral("improvementModel"))->isVisible());
    QVERIFY(!harness.find(QStringLiteral("apiKey"))->isVisible());
    QVERIFY(!listed.isEmpty() || listed.wait(10000));
    if (serverAnswers) {
        // The server's address entered in the tab: its models are listed at once.
        listed.clear();
        enter(
            harness.find<QLineEdit>(QStringLiteral("serverAddress")), harness.model.baseURL() + QStringLiteral("/v1/"));
        QVERIFY(listed.wait(10000));
    }
    QCOMPARE(serverModels->isVisible(), serverAnswers);
    if (serverAnswers) {
        QCOMPARE(serverModels->count(), 2);
        harness.choose(serverModels, 1);
        QCOMPARE(model->text(), QStringLiteral("llama3.2"));
    } else {
        QTest::keyClicks(model, QStringLiteral("llama3.2"));
        QTest::keyClick(model, Qt::Key_Return);
    }
    QCOMPARE(harness.settings.text(SettingKey::llmModelOnDevice), std::optional(QStringLiteral("llama3.2")));
    QVERIFY(!harness.settings.contains(SettingKey::improvementModelOnDevice));
}

void SettingsWindowTest::keyWrittenOnlyWhenEdited_data()
{
    QTest::addColumn<QString>("tab");
    QTest::addColumn<QString>("typed"); // null: the field is left alone
    QTest::addColumn<QString>("expectedKey"); // null: no key
    QTest::addColumn<QString>("status");
    // The guide (or another window) saved a newer key after this field was read.
    const QString suggestions = QStringLiteral("suggestions");
    const QString general = QStringLiteral("general");
    const QString typed = QStringLiteral("typed");
    const QString saved = QStringLiteral("Key saved.");
    QTest::newRow("suggestions, untouched") << suggestions << QString() << QStringLiteral("newer") << QString();
    QTest::newRow("suggestions, typed") << suggestions << typed << typed << saved;
    QTest::newRow("suggestions, emptied")
        << suggestions << QStringLiteral("") << QString() << QStringLiteral("Key removed.");
    QTest::newRow("general, untouched") << general << QString() << QStringLiteral("newer") << QString();
    QTest::newRow("general, typed") << general << typed << typed << saved;
}

void SettingsWindowTest::keyWrittenOnlyWhenEdited()
{
    QFETCH(QString, tab);
    QFETCH(QString, typed);
    QFETCH(QString, expectedKey);
    QFETCH(QString, status);
    const bool general = tab == u"general";
    const QString account = general ? openai : claude;
    QVERIFY(keychain::save(QStringLiteral("older"), account));
    Harness harness;
    harness.settings.setText(SettingKey::llmProvider, claude);
    harness.settings.setText(SettingKey::transcriptionEngine, openai);
    auto* field = harness.find<KeyField>(general ? QStringLiteral("openAIKey") : QStringLiteral("apiKey"));
    auto* save = harness.named<QPushButton>(general ? QStringLiteral("Save key") : QStringLiteral("Save"));
    auto* statusLine =
        harness.find<QLabel>(general ? QStringLiteral("openAIKeyStatus") : QStringLiteral("apiKeyStatus"));
    if (general) {
        QSignalSpy loaded(field, &KeyField::loaded);
        QVERIFY(gui::shown(harness.window.get()));
        QVERIFY(!loaded.isEmpty() || loaded.wait(keyringWait));
    } else {
        QVERIFY(harness.showSuggestions());
        QTest::keyClicks(harness.find<QLineEdit>(QStringLiteral("model")), QStringLiteral("claude-other"));
    }
    QCOMPARE(field->text(), QStringLiteral("older"));
    QVERIFY(keychain::save(QStringLiteral("newer"), account));

    if (!typed.isNull()) {
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClicks(field, typed);
    }
    QVERIFY(saveAndWait(field, save));
    QCOMPARE(keychain::read(account), expectedKey.isNull() ? std::nullopt : std::optional(expectedKey));
    QCOMPARE(statusLine->isVisible(), !status.isNull());
    if (!status.isNull()) {
        QCOMPARE(statusLine->text(), status);
    }
    if (!general) {
        QCOMPARE(harness.settings.text(SettingKey::llmModelClaude), std::optional(QStringLiteral("claude-other")));
    }
}

void SettingsWindowTest::keySaveWithoutKeyring()
{
    // Run alone on a session bus without any keyring (see CMakeLists.txt).
    if (secretServiceAvailable()) {
        QSKIP("a keyring serves this session");
    }
    Harness harness;
    harness.settings.setText(SettingKey::llmProvider, claude);
    QVERIFY(harness.showSuggestions());
    auto* status = harness.find<QLabel>(QStringLiteral("apiKeyStatus"));
    auto* key = harness.find<KeyField>(QStringLiteral("apiKey"));
    // Said before anything is typed, with what to do about it.
    QVERIFY(status->isVisible());
    QCOMPARE(status->text(), keychain::noKeyringText());
    QTest::keyClicks(key, QStringLiteral("sk-ant-unsaved"));
    QVERIFY(saveAndWait(key, harness.named<QPushButton>(QStringLiteral("Save"))));
    QCOMPARE(status->text(), keychain::noKeyringText());
    QVERIFY(key->isEdited()); // still to be saved once a keyring runs
}

void SettingsWindowTest::accessibleNames()
{
    Harness harness;
    harness.settings.setText(SettingKey::transcriptionEngine, openai);
    auto* tabs = harness.find<QTabWidget>(QString());
    QVERIFY(gui::shown(harness.window.get()));
    QCOMPARE(QAccessible::queryAccessibleInterface(harness.window.get())->role(), QAccessible::Window);
    for (int tab = 0; tab < tabs->count(); ++tab) {
        tabs->setCurrentIndex(tab);
        const QStringList unnamed = gui::unnamedControls(harness.window.get());
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(u'\n')));
    }
}

QTEST_MAIN(SettingsWindowTest)
#include "SettingsWindowTest.moc"
