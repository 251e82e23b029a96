#include "app/settings/SettingsWindow.h"
#include "app/services/DesktopServices.h"
#include "app/settings/GeneralSettingsView.h"
#include "app/settings/SuggestionSettingsView.h"
#include "app/tray/AppMenu.h"
#include "app/widgets/AddressField.h"
#include "app/widgets/KeyField.h"
#include "fakes/FakeHttpServer.h"
#include "fakes/PulseTestSupport.h"
#include "fakes/WhisperModelWriter.h"
#include "settings/Keychain.h"
#include "settings/Settings.h"
#include "store/Store.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString claude = QStringLiteral("claude");
const QString openai = QStringLiteral("openai");

// A settings window on a settings file and an autostart folder of its own, with the session's real
// keyring.
struct Harness {
    Harness()
        : settings(directory.filePath(QStringLiteral("Quillora.conf")), nullptr)
        , entry(directory.filePath(QStringLiteral("autostart/quillora.desktop")))
    {
        window = std::make_unique<SettingsWindow>(
            settings, keychain, nullptr, SettingsWindowOptions { entry, QStringLiteral("/usr/bin/quillora") });
    }

    bool show()
    {
        window->show();
        return QTest::qWaitForWindowExposed(window.get());
    }

    // Shows the Suggestions tab and waits until the key of a cloud provider has been read.
    bool showSuggestions()
    {
        QSignalSpy loaded(suggestions().apiKey(), &KeyField::loaded);
        window->tabs()->setCurrentWidget(window->suggestions());
        const bool cloud = settings.llmProvider() != LLMProvider::onDevice;
        return show() && (!cloud || !loaded.isEmpty() || loaded.wait(20000));
    }

    void chooseProvider(LLMProvider provider)
    {
        QComboBox* picker = suggestions().provider();
        picker->setCurrentIndex(static_cast<int>(provider));
        Q_EMIT picker->activated(picker->currentIndex());
    }

    GeneralSettingsView& general() { return *window->general(); }
    SuggestionSettingsView& suggestions() { return *window->suggestions(); }

    QTemporaryDir directory;
    Settings settings;
    Keychain keychain;
    const QString entry;
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
    void engineShowsKeyOnlyForOpenAI_data();
    void engineShowsKeyOnlyForOpenAI();
    void downloadSpeechModel();
    void providerSwitchKeepsModelsAndKeys();
    void updateFeed();
    void onDeviceModel_data();
    void onDeviceModel();
    void keyWrittenOnlyWhenEdited_data();
    void keyWrittenOnlyWhenEdited();
    void keySaveWithoutKeyring();
    void appMenu();
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
    QTest::newRow("slider to its lowest") << 0.8 << 300 << 0.3 << QStringLiteral("30%");
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
    QVERIFY(harness.show());
    if (moveTo > 0) {
        harness.general().opacitySlider()->setValue(moveTo);
    }
    QCOMPARE(harness.settings.windowOpacity(), expectedStored);
    QCOMPARE(harness.general().opacityText()->text(), shown);
}

void SettingsWindowTest::windowToggles()
{
    Harness harness;
    QVERIFY(harness.show());
    GeneralSettingsView& general = harness.general();
    QVERIFY(general.alwaysOnTop()->isChecked());
    general.alwaysOnTop()->click();
    QVERIFY(!harness.settings.isAlwaysOnTop());
    // The call window's pin writes the same key; the toggle follows.
    harness.settings.setBoolean(SettingKey::isAlwaysOnTop, true);
    QVERIFY(general.alwaysOnTop()->isChecked());

    // The window cannot be hidden from a capture here: the toggle says so and changes nothing.
    QCheckBox* hide = general.hideFromScreenShare();
    QVERIFY(!hide->isEnabled());
    QVERIFY(!hide->isChecked());
    QCOMPARE(hide->accessibleDescription(), QStringLiteral("Not available on this desktop."));
    hide->click();
    QVERIFY(harness.settings.hideFromScreenShare());
    QVERIFY(!harness.settings.contains(SettingKey::hideFromScreenShare));

    // Where the compositor's capture can be seen, the toggle works and shows the stored value.
    general.setScreenShareVisible(true);
    QVERIFY(hide->isEnabled());
    QVERIFY(hide->isChecked());
    QCOMPARE(general.hideFromScreenShareNote()->text(),
        QStringLiteral("Sharing a single app or window never shows Quillora anyway."));
    hide->click();
    QVERIFY(!harness.settings.hideFromScreenShare());
    harness.settings.setBoolean(SettingKey::hideFromScreenShare, true);
    QVERIFY(hide->isChecked());
    // The watcher lost PipeWire: back to the note, the stored value untouched.
    general.setScreenShareVisible(false);
    QVERIFY(!hide->isEnabled());
    QVERIFY(!hide->isChecked());
    QCOMPARE(general.hideFromScreenShareNote()->text(), QStringLiteral("Not available on this desktop."));
    QVERIFY(harness.settings.hideFromScreenShare());
}

void SettingsWindowTest::engineShowsKeyOnlyForOpenAI_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("shownIndex");
    QTest::newRow("never set") << QString() << 0;
    QTest::newRow("apple") << QStringLiteral("apple") << 0;
    QTest::newRow("whisper") << QStringLiteral("whisper") << 1;
    QTest::newRow("openai") << QStringLiteral("openai") << 2;
    QTest::newRow("other spelling") << QStringLiteral("OpenAI") << 0;
}

void SettingsWindowTest::engineShowsKeyOnlyForOpenAI()
{
    QFETCH(QString, stored);
    QFETCH(int, shownIndex);
    const QStringList labels { QStringLiteral("On-device (PocketSphinx, free)"), QStringLiteral("On-device (Whisper)"),
        QStringLiteral("OpenAI (automatic Portuguese + English)") };
    const QStringList values { QStringLiteral("apple"), QStringLiteral("whisper"), openai };
    Harness harness;
    if (!stored.isNull()) {
        harness.settings.setText(SettingKey::transcriptionEngine, stored);
    }
    QVERIFY(harness.show());
    GeneralSettingsView& general = harness.general();
    QCOMPARE(general.engine()->currentIndex(), shownIndex);
    QCOMPARE(general.engine()->currentText(), labels[shownIndex]);
    QCOMPARE(general.openAIKey()->isVisible(), shownIndex == 2);
    QCOMPARE(general.saveKeyButton()->isVisible(), shownIndex == 2);
    QCOMPARE(general.speechModels()->isVisible(), shownIndex != 2);
    QCOMPARE(general.speechLanguage()->isVisible(), shownIndex == 1);
    // Showing the stored value writes nothing.
    QCOMPARE(harness.settings.contains(SettingKey::transcriptionEngine), !stored.isNull());

    // Choosing another engine stores its value and shows or hides the key.
    const int other = shownIndex == 2 ? 0 : 2;
    general.engine()->setCurrentIndex(other);
    Q_EMIT general.engine()->activated(other);
    QCOMPARE(harness.settings.transcriptionEngineText(), values[other]);
    QCOMPARE(general.openAIKey()->isVisible(), other == 2);
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
    const QByteArray model = file.readAll();
    FakeHttpServer server;
    harness.settings.setText(SettingKey::speechModelListURL, whisperModelWriter::serve(server, model));
    harness.window.reset();
    harness.window = std::make_unique<SettingsWindow>(harness.settings, harness.keychain, nullptr,
        SettingsWindowOptions { harness.entry, QStringLiteral("/usr/bin/quillora") });
    QVERIFY(harness.show());
    GeneralSettingsView& general = harness.general();
    QTRY_COMPARE(general.speechModels()->count(), 1);
    QCOMPARE(general.speechModels()->currentText(), QStringLiteral("Whisper tiny, 78 MB"));
    auto* engines = qobject_cast<QStandardItemModel*>(general.engine()->model());
    QVERIFY(!engines->item(1)->isEnabled());
    QCOMPARE(general.speechModelStatus()->text(),
        QStringLiteral("No Whisper model is installed yet: download one to use the Whisper engine."));

    QTest::mouseClick(general.downloadButton(), Qt::LeftButton);
    QCOMPARE(general.downloadButton()->text(), QStringLiteral("Cancel download"));
    QVERIFY(general.downloadProgress()->isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(
        general.speechModelStatus()->text(), QStringLiteral("Installed. The Whisper engine uses this model."), 60000);
    QCOMPARE(harness.settings.transcriptionEngineText(), QStringLiteral("whisper"));
    QCOMPARE(harness.settings.whisperModel(), QStringLiteral("ggml-tiny.bin"));
    QVERIFY(engines->item(1)->isEnabled());
    QCOMPARE(general.engine()->currentIndex(), 1);
    QCOMPARE(general.speechModels()->currentText(), QStringLiteral("Whisper tiny, 78 MB, installed"));
    QVERIFY(!general.downloadButton()->isEnabled());
    QVERIFY(!general.downloadProgress()->isVisible());
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
    SuggestionSettingsView& view = harness.suggestions();
    QCOMPARE(view.provider()->currentText(), QStringLiteral("Claude (Anthropic)"));
    QCOMPARE(view.model()->text(), QStringLiteral("claude-custom"));
    QCOMPARE(view.improvementModel()->text(), QString());
    QCOMPARE(view.improvementModel()->placeholderText(), QStringLiteral("claude-opus-5-5"));
    QCOMPARE(view.apiKey()->text(), QStringLiteral("sk-ant-1"));
    QVERIFY(view.keyNote()->isVisible());
    QCOMPARE(view.keyNote()->text(), QStringLiteral("The key is stored in the system keyring."));

    // An unsaved edit stays while the window is minimised and restored (a spontaneous show, not an opening
    // of the tab), and is dropped when the provider changes.
    QTest::keyClicks(view.model(), QStringLiteral("-unsaved"));
    harness.window->showMinimized();
    harness.window->showNormal();
    QCOMPARE(view.model()->text(), QStringLiteral("claude-custom-unsaved"));
    QSignalSpy loaded(view.apiKey(), &KeyField::loaded);
    harness.chooseProvider(LLMProvider::openai);
    QVERIFY(loaded.wait(20000));
    QCOMPARE(settings.llmProviderText(), openai);
    QCOMPARE(view.model()->text(), QString());
    QCOMPARE(view.model()->placeholderText(), QStringLiteral("gpt-5.4-mini"));
    QCOMPARE(view.improvementModel()->text(), QStringLiteral("gpt-improve"));
    QCOMPARE(view.apiKey()->text(), QStringLiteral("sk-openai-1"));

    harness.chooseProvider(LLMProvider::claude);
    QVERIFY(loaded.wait(20000));
    QCOMPARE(view.model()->text(), QStringLiteral("claude-custom"));
    QCOMPARE(view.apiKey()->text(), QStringLiteral("sk-ant-1"));
    QCOMPARE(keychain::read(openai), std::optional(QStringLiteral("sk-openai-1")));
    QCOMPARE(settings.text(SettingKey::improvementModelOpenAI), std::optional(QStringLiteral("gpt-improve")));
}

void SettingsWindowTest::updateFeed()
{
    Harness harness;
    QVERIFY(harness.show());
    AddressField* field = harness.general().updateFeed();
    auto* complaint = harness.general().findChild<QLabel*>(QStringLiteral("updateFeedStatus"));
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
    FakeHttpServer server;
    FakeHttpServer::Response models;
    models.contentType = "application/json";
    models.chunks = { R"({"data":[{"id":"nomic-embed-text"},{"id":"llama3.2"}]})" };
    server.respond("/v1/models", models);
    Harness harness;
    // Nothing listens on port 1 of the loopback: the connection is refused at once.
    harness.settings.setText(SettingKey::localModelURL, QStringLiteral("http://127.0.0.1:1/v1"));
    SuggestionSettingsView& view = harness.suggestions();
    QSignalSpy listed(&view, &SuggestionSettingsView::serverModelsListed);
    QVERIFY(harness.showSuggestions());
    QCOMPARE(view.provider()->currentText(), QStringLiteral("On-device (local model, free)"));
    QVERIFY(view.model()->isVisible());
    QVERIFY(!view.improvementModel()->isVisible());
    QVERIFY(!view.apiKey()->isVisible());
    QVERIFY(!listed.isEmpty() || listed.wait(10000));
    QCOMPARE(view.serverAddress()->placeholderText(), QStringLiteral("http://127.0.0.1:11434/v1"));
    if (serverAnswers) {
        // The server's address entered in the tab: its models are listed at once.
        listed.clear();
        enter(view.serverAddress(), server.baseURL() + QStringLiteral("/v1/"));
        QVERIFY(listed.wait(10000));
    }
    QCOMPARE(view.serverModels()->isVisible(), serverAnswers);
    if (serverAnswers) {
        QCOMPARE(view.serverModels()->count(), 2);
        view.serverModels()->setCurrentIndex(1);
        Q_EMIT view.serverModels()->activated(1);
        QCOMPARE(view.model()->text(), QStringLiteral("llama3.2"));
    } else {
        QTest::keyClicks(view.model(), QStringLiteral("llama3.2"));
        QTest::keyClick(view.model(), Qt::Key_Return);
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
    QTest::newRow("suggestions, untouched")
        << QStringLiteral("suggestions") << QString() << QStringLiteral("newer") << QString();
    QTest::newRow("suggestions, typed") << QStringLiteral("suggestions") << QStringLiteral("typed")
                                        << QStringLiteral("typed") << QStringLiteral("Key saved.");
    QTest::newRow("suggestions, emptied")
        << QStringLiteral("suggestions") << QStringLiteral("") << QString() << QStringLiteral("Key removed.");
    QTest::newRow("general, untouched") << QStringLiteral("general") << QString() << QStringLiteral("newer")
                                        << QString();
    QTest::newRow("general, typed") << QStringLiteral("general") << QStringLiteral("typed") << QStringLiteral("typed")
                                    << QStringLiteral("Key saved.");
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
    KeyField* field = general ? harness.general().openAIKey() : harness.suggestions().apiKey();
    QAbstractButton* save = general ? harness.general().saveKeyButton() : harness.suggestions().saveButton();
    QLabel* statusLine = general ? harness.general().keyStatus() : harness.suggestions().keyStatus();
    if (general) {
        QSignalSpy loaded(field, &KeyField::loaded);
        QVERIFY(harness.show());
        QVERIFY(!loaded.isEmpty() || loaded.wait(20000));
    } else {
        QVERIFY(harness.showSuggestions());
        QTest::keyClicks(harness.suggestions().model(), QStringLiteral("claude-other"));
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
    SuggestionSettingsView& view = harness.suggestions();
    // Said before anything is typed, with what to do about it.
    QVERIFY(view.keyStatus()->isVisible());
    QCOMPARE(view.keyStatus()->text(), keychain::noKeyringText());
    QTest::keyClicks(view.apiKey(), QStringLiteral("sk-ant-unsaved"));
    QVERIFY(saveAndWait(view.apiKey(), view.saveButton()));
    QCOMPARE(view.keyStatus()->text(), keychain::noKeyringText());
    QVERIFY(view.apiKey()->isEdited()); // still to be saved once a keyring runs
    QCOMPARE(keychain::save(QStringLiteral("k"), claude), Result<void>(fail(keychain::noKeyringText())));
}

void SettingsWindowTest::appMenu()
{
    QTemporaryDir directory;
    Settings settings(directory.filePath(QStringLiteral("Quillora.conf")), nullptr);
    DesktopServices services(&settings, OpenedStore { *Store::openInMemory(), true, {} }, nullptr, {});
    AppMenu menu(services, nullptr);
    QStringList texts;
    for (const QAction* action : menu.menu()->actions()) {
        if (action->isVisible()) {
            texts.append(action->isSeparator() ? QStringLiteral("-") : action->text());
        }
    }
    QCOMPARE(texts,
        QStringList({ QStringLiteral("Show Quillora"), QStringLiteral("Start Listening"), QStringLiteral("-"),
            QStringLiteral("Assistants…"), QStringLiteral("Settings…"), QStringLiteral("Setup…"),
            QStringLiteral("Check for Updates…"), QStringLiteral("-"), QStringLiteral("Quit Quillora") }));
    QVERIFY(!menu.updatesAction()->isEnabled());
    // Shown only where the screen share cannot be seen (offered by the start-up).
    QCOMPARE(menu.hideWhileSharingAction()->text(), QStringLiteral("Hide while sharing"));
    QVERIFY(menu.hideWhileSharingAction()->isCheckable());

    // Ctrl+, works in every attached window; the same menu is its context menu.
    QWidget window;
    menu.attachTo(&window);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.activateWindow();
    QTRY_VERIFY(window.isActiveWindow());
    QSignalSpy settingsRequested(&menu, &AppMenu::settingsRequested);
    QTest::keyClick(&window, Qt::Key_Comma, Qt::ControlModifier);
    QCOMPARE(settingsRequested.count(), 1);
    QSignalSpy assistantsRequested(&menu, &AppMenu::assistantsRequested);
    QTest::keyClick(&window, Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(assistantsRequested.count(), 1);
    QSignalSpy shown(menu.menu(), &QMenu::aboutToShow);
    Q_EMIT window.customContextMenuRequested(QPoint(5, 5));
    QCOMPARE(shown.count(), 1);
    menu.menu()->hide();
}

QTEST_MAIN(SettingsWindowTest)
#include "SettingsWindowTest.moc"
