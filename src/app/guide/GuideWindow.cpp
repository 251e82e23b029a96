#include "app/guide/GuideWindow.h"

#include "app/guide/StepRow.h"
#include "app/settings/AddressField.h"
#include "app/settings/Autostart.h"
#include "app/settings/KeyField.h"
#include "app/settings/SoundSettings.h"
#include "audio/SoundCheck.h"
#include "common/Log.h"
#include "llm/LocalModels.h"
#include "settings/Keychain.h"
#include "settings/Settings.h"
#include "transcription/TranscriptionService.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QCoreApplication>
#include <QCoroFuture>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QPushButton>
#include <QScrollArea>
#include <QStandardPaths>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

namespace {

// A field's visible label, tied to the field so that screen readers announce the field by it (Qt names
// a combo box on Linux by its current value).
QLabel* fieldLabel(const QString& text, QWidget* field)
{
    auto* label = new QLabel(text, field->parentWidget());
    label->setBuddy(field);
    return label;
}

constexpr LLMProvider providers[] = { LLMProvider::onDevice, LLMProvider::claude, LLMProvider::openai };

QLabel* makeCaption(const QString& text, QWidget* parent)
{
    auto* caption = new QLabel(text, parent);
    caption->setWordWrap(true);
    caption->setTextFormat(Qt::PlainText);
    caption->setForegroundRole(QPalette::PlaceholderText);
    caption->setAccessibleName(text);
    return caption;
}

QLabel* makeTitle(const QString& text, QWidget* parent)
{
    auto* title = new QLabel(text, parent);
    QFont font = title->font();
    font.setBold(true);
    title->setFont(font);
    title->setAccessibleName(text);
    return title;
}

QFrame* makeDivider(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

bool isCloud(const QString& providerText)
{
    return llmProvider::parseCloud(providerText).has_value();
}

} // namespace

GuideWindow::GuideWindow(Settings& settings, Keychain& keychain, QWidget* parent, GuideOptions options)
    : QDialog(parent)
    , m_settings(&settings)
    , m_keychain(&keychain)
    , m_options(std::move(options))
    , m_documentsFolder(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
{
    if (m_options.autostartEntry.isEmpty()) {
        m_options.autostartEntry = autostart::defaultEntryPath();
    }
    if (m_options.executable.isEmpty()) {
        m_options.executable = QCoreApplication::applicationFilePath();
    }
    // The microphone and the system audio are probed side by side.
    m_probes.setMaxThreadCount(2);
    m_probes.setObjectName(QStringLiteral("Quillora.SoundCheck"));
    m_network = new QNetworkAccessManager(this);

    setObjectName(QStringLiteral("onboarding"));
    setWindowTitle(tr("Welcome to Quillora"));
    setMinimumSize(520, 600);
    resize(560, 640);

    auto* content = new QWidget;
    auto* form = new QVBoxLayout(content);
    form->setContentsMargins(8, 4, 8, 4);
    auto* intro = makeCaption(tr("Quillora listens to your calls and suggests what to say. Set up these steps once; "
                                 "you can change them later in Settings."),
        content);
    form->addWidget(intro);
    form->addWidget(makeRequiredSection());
    form->addWidget(makeOptionalSection());
    form->addStretch(1);
    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidget(content);

    auto* footer = new QHBoxLayout;
    m_stepsLeft = new QLabel(this);
    m_stepsLeft->setForegroundRole(QPalette::PlaceholderText);
    m_done = new QPushButton(tr("Done"), this);
    m_done->setAccessibleName(m_done->text());
    m_done->setDefault(true);
    footer->addWidget(m_stepsLeft, 1);
    footer->addWidget(m_done);
    connect(m_done, &QPushButton::clicked, this, &GuideWindow::finishGuide);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(scroll, 1);
    layout->addWidget(makeDivider(this));
    layout->addLayout(footer);

    connect(m_settings, &Settings::changed, this, [this](SettingKey key) {
        if (key == SettingKey::llmProvider) {
            providerChanged();
        } else if (key == SettingKey::llmModelOnDevice || key == SettingKey::localModelURL) {
            checkSuggestions();
        } else if (key == SettingKey::transcriptionEngine) {
            showStepsLeft();
        }
    });
    // Coming back from the sound settings or a terminal re-checks what may have changed there.
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive && isVisible()) {
            refresh();
        }
    });
    resetState();
}

GuideWindow::~GuideWindow()
{
    m_stop.request_stop();
    m_probes.waitForDone();
}

QWidget* GuideWindow::makeRequiredSection()
{
    auto* section = new QGroupBox(tr("Required"));
    auto* rows = new QVBoxLayout(section);
    // Compact, so that the whole guide fits its default size without scrolling.
    rows->setSpacing(2);
    m_microphone =
        new StepRow({ tr("Microphone"), tr("Transcribes what you say."), tr("Allow"), tr("Allowed") }, section);
    m_systemAudio = new StepRow({ tr("System audio"),
                                    tr("Transcribes what the other people on the call say. A short sound plays while "
                                       "it checks."),
                                    tr("Allow"), tr("Allowed") },
        section);
    m_systemAudio->setDeniedNote(
        tr("No system audio came through. Open your sound settings, or play a sound and try again."));
    m_speech = new StepRow({ tr("Speech model"), QString(), tr("Check again"), tr("Installed") }, section);
    m_documents = new StepRow(
        { tr("Documents folder"), tr("Saves each call, with its transcript and summary, in Documents/Quillora."),
            tr("Allow"), tr("Ready") },
        section);
    // Linux has no privacy pane for sound; the sound settings are where a source is chosen or unmuted.
    if (!soundSettings::command().isEmpty()) {
        m_microphone->setSettingsLabel(tr("Open Sound Settings"));
        m_systemAudio->setSettingsLabel(tr("Open Sound Settings"));
    }
    for (StepRow* row : { m_microphone, m_systemAudio, m_speech, m_documents }) {
        rows->addWidget(row);
        connect(row, &StepRow::settingsRequested, this, &GuideWindow::openSoundSettings);
    }
    connect(m_microphone, &StepRow::allowRequested, this, &GuideWindow::allowMicrophone);
    connect(
        m_systemAudio, &StepRow::allowRequested, this, [this] { allowSystemAudio(m_options.systemAudioWindow, true); });
    connect(m_speech, &StepRow::allowRequested, this, &GuideWindow::checkSpeechModel);
    connect(m_documents, &StepRow::allowRequested, this, &GuideWindow::allowDocuments);
    rows->addWidget(makeDivider(section));
    rows->addWidget(makeSuggestionsBlock());
    return section;
}

QWidget* GuideWindow::makeSuggestionsBlock()
{
    auto* block = new QWidget;
    auto* layout = new QVBoxLayout(block);
    layout->setContentsMargins(0, 2, 0, 0);
    layout->setSpacing(4);
    layout->addWidget(makeTitle(tr("Suggestions"), block));
    layout->addWidget(makeCaption(tr("Choose who writes the suggestions. Claude and OpenAI use your own API key; the "
                                     "on-device model is free and needs a local model server such as Ollama."),
        block));

    auto* providerRow = new QHBoxLayout;
    m_provider = new QComboBox(block);
    for (const LLMProvider provider : providers) {
        m_provider->addItem(llmProvider::label(provider), llmProvider::rawText(provider));
    }
    m_provider->setAccessibleName(tr("Provider"));
    providerRow->addWidget(fieldLabel(tr("Provider"), m_provider));
    providerRow->addWidget(m_provider, 1);
    layout->addLayout(providerRow);
    // Only a choice of the user is stored; showing the stored value writes nothing.
    connect(m_provider, &QComboBox::activated, this,
        [this](int index) { m_settings->setText(SettingKey::llmProvider, m_provider->itemData(index).toString()); });

    m_keyRow = new QWidget(block);
    auto* keyLayout = new QVBoxLayout(m_keyRow);
    keyLayout->setContentsMargins(0, 0, 0, 0);
    auto* keyLine = new QHBoxLayout;
    m_keyStatus = new QLabel(m_keyRow);
    m_keyStatus->setObjectName(QStringLiteral("apiKeyStatus"));
    m_apiKey = new KeyField(*m_keychain, m_keyStatus, m_keyRow);
    m_apiKey->setObjectName(QStringLiteral("apiKey"));
    m_apiKey->setAccessibleName(tr("API key"));
    m_apiKey->setPlaceholderText(tr("API key"));
    m_apiKey->installEventFilter(this);
    m_saveKey = new QPushButton(tr("Save"), m_keyRow);
    m_saveKey->setAccessibleName(m_saveKey->text());
    m_saveKey->setAutoDefault(false);
    keyLine->addWidget(fieldLabel(tr("API key"), m_apiKey));
    keyLine->addWidget(m_apiKey, 1);
    keyLine->addWidget(m_saveKey);
    keyLayout->addLayout(keyLine);
    keyLayout->addWidget(m_keyStatus);
    m_keyLink = new QLabel(m_keyRow);
    m_keyLink->setTextFormat(Qt::RichText);
    m_keyLink->setOpenExternalLinks(true);
    m_keyLink->setTextInteractionFlags(Qt::TextBrowserInteraction);
    keyLayout->addWidget(m_keyLink);
    layout->addWidget(m_keyRow);
    connect(m_apiKey, &QLineEdit::textChanged, this, [this] { m_saveKey->setEnabled(!m_apiKey->text().isEmpty()); });
    connect(m_saveKey, &QPushButton::clicked, m_apiKey, &KeyField::save);
    connect(m_apiKey, &KeyField::keyStored, this, [this] {
        m_keySaved = !m_apiKey->text().isEmpty();
        showSuggestions();
    });

    // The local server's address, and the model to use (a server may list an embedding model first).
    m_localModelRow = new QWidget(block);
    auto* localLines = new QVBoxLayout(m_localModelRow);
    localLines->setContentsMargins(0, 0, 0, 0);
    auto* serverLine = new QHBoxLayout;
    auto* serverStatus = new QLabel(m_localModelRow);
    serverStatus->setObjectName(QStringLiteral("serverAddressStatus"));
    m_serverAddress = new AddressField(*m_settings, SettingKey::localModelURL, serverStatus, m_localModelRow);
    m_serverAddress->setObjectName(QStringLiteral("serverAddress"));
    m_serverAddress->setAccessibleName(tr("Server address"));
    serverLine->addWidget(fieldLabel(tr("Server address"), m_serverAddress));
    serverLine->addWidget(m_serverAddress, 1);
    localLines->addLayout(serverLine);
    localLines->addWidget(serverStatus);
    auto* modelLine = new QHBoxLayout;
    localLines->addLayout(modelLine);
    m_localModel = new QComboBox(m_localModelRow);
    m_localModel->setObjectName(QStringLiteral("localModel"));
    m_localModel->setAccessibleName(tr("Model"));
    modelLine->addWidget(fieldLabel(tr("Model"), m_localModel));
    modelLine->addWidget(m_localModel, 1);
    layout->addWidget(m_localModelRow);
    connect(m_localModel, &QComboBox::activated, this, [this](int index) {
        m_settings->setText(SettingKey::llmModelOnDevice, m_localModel->itemData(index).toString());
    });

    auto* statusLine = new QHBoxLayout;
    m_suggestionsSymbol = new QLabel(block);
    m_suggestionsStatus = new QLabel(block);
    m_suggestionsStatus->setObjectName(QStringLiteral("suggestionsStatus"));
    m_suggestionsStatus->setWordWrap(true);
    m_suggestionsStatus->setTextFormat(Qt::PlainText);
    QFont caption = m_suggestionsStatus->font();
    caption.setPointSizeF(caption.pointSizeF() * 0.9);
    m_suggestionsStatus->setFont(caption);
    statusLine->addWidget(m_suggestionsSymbol, 0, Qt::AlignTop);
    statusLine->addWidget(m_suggestionsStatus, 1);
    layout->addLayout(statusLine);
    return block;
}

QWidget* GuideWindow::makeOptionalSection()
{
    auto* section = new QGroupBox(tr("Optional"));
    auto* layout = new QVBoxLayout(section);
    layout->setSpacing(2);
    m_openAtLogin = new QCheckBox(tr("Open at login"), section);
    m_openAtLogin->setAccessibleName(m_openAtLogin->text());
    layout->addWidget(m_openAtLogin);
    layout->addWidget(makeCaption(tr("Starts Quillora when you log in."), section));
    connect(m_openAtLogin, &QCheckBox::toggled, this, &GuideWindow::setOpensAtLogin);

    layout->addWidget(makeDivider(section));
    auto* commandRow = new QHBoxLayout;
    auto* commandText = new QVBoxLayout;
    commandText->addWidget(makeTitle(tr("Claude Code (MCP)"), section));
    commandText->addWidget(
        makeCaption(tr("Lets Claude Code read and edit your assistants. Paste the command in a terminal."), section));
    commandRow->addLayout(commandText, 1);
    m_copyCommand = new QPushButton(tr("Copy command"), section);
    m_copyCommand->setAccessibleName(m_copyCommand->text());
    m_copyCommand->setAutoDefault(false);
    m_copyCommand->setToolTip(toolServerCommand());
    commandRow->addWidget(m_copyCommand, 0, Qt::AlignVCenter);
    layout->addLayout(commandRow);
    connect(m_copyCommand, &QPushButton::clicked, this, &GuideWindow::copyCommand);
    return section;
}

QString GuideWindow::toolServerCommand() const
{
    return onboarding::toolServerCommand(m_options.executable);
}

bool GuideWindow::suggestionsReady() const
{
    if (isCloud(m_settings->llmProviderText())) {
        return m_keyStored || m_keySaved;
    }
    return m_localModelAnswered;
}

void GuideWindow::present()
{
    show();
    raise();
    activateWindow();
}

void GuideWindow::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        loadProvider();
        refresh();
    }
}

void GuideWindow::hideEvent(QHideEvent* event)
{
    QDialog::hideEvent(event);
    if (event->spontaneous()) {
        return;
    }
    // Closed: the next showing starts again from "Pending", and what this one still waits for is dropped.
    m_stop.request_stop();
    m_stop = std::stop_source();
    resetState();
}

bool GuideWindow::eventFilter(QObject* watched, QEvent* event)
{
    // Return in the key field saves the key; it must not reach the dialog, where it would press "Done".
    if (watched == m_apiKey && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (m_saveKey->isEnabled()) {
                m_apiKey->save();
            }
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void GuideWindow::resetState()
{
    ++m_showing;
    m_running = 0;
    m_microphoneProbing = false;
    m_systemAudioProbing = false;
    m_keyStored = false;
    m_keySaved = false;
    m_localModelAnswered = false;
    m_copied = false;
    for (StepRow* row : { m_microphone, m_systemAudio, m_speech, m_documents }) {
        row->setState(StepState::pending());
    }
    m_speech->setWhy(onboarding::speechModelLine(m_settings->speechLocale(), QLocale::system().name()));
    m_copyCommand->setText(tr("Copy command"));
    m_copyCommand->setAccessibleName(m_copyCommand->text());
    showStepsLeft();
}

void GuideWindow::refresh()
{
    if (m_systemAudio->state().kind == StepState::Kind::denied) {
        allowSystemAudio(m_options.systemAudioRefreshWindow, false);
    }
    if (!m_microphoneProbing) {
        probeMicrophone(false);
    }
    if (m_speech->state().kind != StepState::Kind::working) {
        checkSpeechModel();
    }
    m_documents->setState(onboarding::callFolderState(m_documentsFolder, m_documents->state()));
    showOpensAtLogin();
    checkSuggestions();
}

void GuideWindow::allowMicrophone()
{
    if (!m_microphoneProbing) {
        probeMicrophone(true);
    }
}

void GuideWindow::allowSystemAudio(std::chrono::milliseconds window, bool showWorking)
{
    if (m_systemAudioProbing) {
        return;
    }
    if (showWorking) {
        m_systemAudio->setState(StepState::working(tr("Listening…")));
        showStepsLeft();
    }
    probeSystemAudio(window);
}

void GuideWindow::checkSpeechModel()
{
    const QString locale = m_settings->speechLocale();
    const QString system = QLocale::system().name();
    m_speech->setWhy(onboarding::speechModelLine(locale, system));
    m_speech->setState(onboarding::speechModelState(locale, system));
    showStepsLeft();
}

void GuideWindow::allowDocuments()
{
    m_documents->setState(onboarding::prepareCallFolder(m_documentsFolder));
    showStepsLeft();
}

void GuideWindow::openSoundSettings()
{
    if (const Result<void> opened = soundSettings::open(); !opened) {
        qCWarning(lcSettings, "Sound settings: %s", qUtf8Printable(opened.error().message));
    }
}

void GuideWindow::started()
{
    ++m_running;
}

void GuideWindow::finished()
{
    if (m_running > 0 && --m_running == 0) {
        Q_EMIT settled();
    }
}

QCoro::Task<> GuideWindow::probeMicrophone(bool showWorking)
{
    const QPointer<GuideWindow> self(this);
    const quint64 showing = m_showing;
    m_microphoneProbing = true;
    started();
    if (showWorking) {
        m_microphone->setState(StepState::working(tr("Checking…")));
        showStepsLeft();
    }
    const std::stop_token stop = m_stop.get_token();
    const std::chrono::milliseconds wait = m_options.microphoneWait;
    QFuture<Result<soundCheck::MicrophoneOutcome>> probe =
        QtConcurrent::run(&m_probes, [wait, stop] { return soundCheck::microphone(wait, stop); });
    const Result<soundCheck::MicrophoneOutcome> outcome = co_await probe;
    if (!self || showing != m_showing) {
        co_return;
    }
    m_microphoneProbing = false;
    if (!outcome) {
        m_microphone->setState(StepState::failed(outcome.error().message));
    } else if (*outcome == soundCheck::MicrophoneOutcome::delivers) {
        m_microphone->setState(StepState::granted());
    } else {
        m_microphone->setDeniedNote(*outcome == soundCheck::MicrophoneOutcome::noInput
                ? tr("No microphone input available")
                : tr("Microphone access denied. Allow it in your desktop's privacy settings."));
        m_microphone->setState(StepState::denied());
    }
    showStepsLeft();
    finished();
}

QCoro::Task<> GuideWindow::probeSystemAudio(std::chrono::milliseconds window)
{
    const QPointer<GuideWindow> self(this);
    const quint64 showing = m_showing;
    m_systemAudioProbing = true;
    started();
    const std::stop_token stop = m_stop.get_token();
    // A copy: g++ 12 destroys a coroutine parameter that a lambda captures twice.
    const std::chrono::milliseconds listen = window;
    QFuture<Result<bool>> probe =
        QtConcurrent::run(&m_probes, [listen, stop] { return soundCheck::systemAudio(listen, stop); });
    const Result<bool> heard = co_await probe;
    if (!self || showing != m_showing) {
        co_return;
    }
    m_systemAudioProbing = false;
    if (!heard) {
        m_systemAudio->setState(StepState::failed(heard.error().message));
    } else {
        m_systemAudio->setState(*heard ? StepState::granted() : StepState::denied());
    }
    showStepsLeft();
    finished();
}

void GuideWindow::providerChanged()
{
    m_keySaved = false;
    m_keyStored = false;
    m_localModelAnswered = false;
    if (isVisible()) {
        loadProvider();
        checkSuggestions();
    }
}

void GuideWindow::loadProvider()
{
    const QString providerText = m_settings->llmProviderText();
    const bool cloud = isCloud(providerText);
    m_provider->setCurrentIndex(static_cast<int>(llmProvider::parseForSuggestions(providerText)));
    m_keyRow->setVisible(cloud);
    m_localModelRow->setVisible(!cloud);
    if (cloud) {
        m_apiKey->load(providerText);
        m_saveKey->setEnabled(false);
        const bool claude = providerText == u"claude";
        const QString link = claude ? tr("Create a Claude API key") : tr("Create an OpenAI API key");
        const QString address = claude ? QStringLiteral("https://console.anthropic.com/settings/keys")
                                       : QStringLiteral("https://platform.openai.com/api-keys");
        m_keyLink->setText(QStringLiteral("<a href=\"%1\">%2</a>").arg(address, link.toHtmlEscaped()));
        m_keyLink->setAccessibleName(link);
    }
    showLocalModels({});
    showSuggestions();
}

void GuideWindow::checkSuggestions()
{
    const quint64 check = ++m_suggestionCheck;
    const QString providerText = m_settings->llmProviderText();
    if (isCloud(providerText)) {
        readStoredKey(providerText);
        return;
    }
    started();
    const quint64 showing = m_showing;
    localModels::list(*m_network, m_settings->localModelURL(), m_options.localModelTimeout, this,
        [this, check, showing](const QStringList& models) {
            if (showing != m_showing) {
                return;
            }
            if (check == m_suggestionCheck) {
                m_localModelAnswered = !models.isEmpty();
                showLocalModels(models);
                showSuggestions();
            }
            finished();
        });
    showSuggestions();
}

QCoro::Task<> GuideWindow::readStoredKey(QString account)
{
    const QPointer<GuideWindow> self(this);
    const quint64 check = m_suggestionCheck;
    const quint64 showing = m_showing;
    started();
    showSuggestions();
    if (!m_keychain) {
        finished();
        co_return;
    }
    const std::optional<QString> key = co_await m_keychain->read(account);
    if (!self || showing != m_showing) {
        co_return;
    }
    if (check == m_suggestionCheck) {
        m_keyStored = key && !key->isEmpty();
        showSuggestions();
    }
    finished();
}

void GuideWindow::showLocalModels(const QStringList& models)
{
    const QString chosen = m_settings->textOr(SettingKey::llmModelOnDevice, QString());
    m_localModel->clear();
    m_localModel->addItem(tr("First model the server lists"), QString());
    for (const QString& model : models) {
        m_localModel->addItem(model, model);
    }
    if (!chosen.isEmpty() && !models.contains(chosen)) {
        m_localModel->addItem(chosen, chosen);
    }
    m_localModel->setCurrentIndex(std::max(0, m_localModel->findData(chosen)));
}

void GuideWindow::showSuggestions()
{
    const bool ready = suggestionsReady();
    QString text;
    if (ready) {
        text = tr("Ready");
    } else if (isCloud(m_settings->llmProviderText())) {
        text = tr("Save an API key to get suggestions.");
    } else {
        text = tr("No local model server answered. Start one (for example Ollama), or choose Claude or OpenAI with "
                  "a key.");
    }
    showStatusSymbol(m_suggestionsSymbol, ready ? StatusSymbol::ok : StatusSymbol::warning);
    QPalette colours = m_suggestionsStatus->palette();
    colours.setColor(QPalette::WindowText, ready ? QColor(40, 160, 70) : QColor(220, 130, 20));
    m_suggestionsStatus->setPalette(colours);
    m_suggestionsStatus->setText(text);
    m_suggestionsStatus->setAccessibleName(text);
    showStepsLeft();
}

void GuideWindow::showOpensAtLogin()
{
    const QSignalBlocker blocker(m_openAtLogin);
    m_openAtLogin->setChecked(autostart::isEnabled(m_options.autostartEntry));
}

void GuideWindow::setOpensAtLogin(bool on)
{
    // A failure shows in the toggle itself: it follows what the autostart folder holds.
    const Result<void> done = on ? autostart::enable(m_options.autostartEntry, m_options.executable)
                                 : autostart::disable(m_options.autostartEntry);
    if (!done) {
        qCWarning(lcSettings, "Open at login: %s", qUtf8Printable(done.error().message));
    }
    showOpensAtLogin();
}

void GuideWindow::copyCommand()
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(toolServerCommand());
    m_copied = true;
    m_copyCommand->setText(tr("Copied"));
    m_copyCommand->setAccessibleName(m_copyCommand->text());
}

void GuideWindow::finishGuide()
{
    m_settings->setBoolean(SettingKey::onboardingDone, true);
    close();
}

void GuideWindow::showStepsLeft()
{
    // The speech model is needed (and shown) only while the chosen engine transcribes on this computer.
    const bool speechModel = TranscriptionService::engineFromText(m_settings->text(SettingKey::transcriptionEngine))
        != TranscriptionEngine::openAI;
    m_speech->setVisible(speechModel);
    QList<StepState> steps { m_microphone->state(), m_systemAudio->state(), m_documents->state() };
    if (speechModel) {
        steps.append(m_speech->state());
    }
    const int left = onboarding::stepsLeft(steps, suggestionsReady());
    const QString text = onboarding::stepsLeftText(left);
    if (m_stepsLeft->text() != text) {
        m_stepsLeft->setText(text);
        m_stepsLeft->setAccessibleName(text);
    }
    Q_EMIT stateChanged();
}

GuideOpener::GuideOpener(Settings& settings, QWidget* watched, std::function<void()> open)
    : QObject(watched)
    , m_settings(&settings)
    , m_open(std::move(open))
{
    watched->installEventFilter(this);
}

bool GuideOpener::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Show) {
        m_shown = true;
    } else if (event->type() == QEvent::Paint && m_shown) {
        // Opened once the window has painted, so that making the guide never delays the first look at
        // the window; posted, so that this paint finishes first.
        m_shown = false;
        if (m_settings && !m_settings->onboardingDone()) {
            QMetaObject::invokeMethod(
                this, [this] { m_open(); }, Qt::QueuedConnection);
        }
    }
    return QObject::eventFilter(watched, event);
}
