#include "app/guide/GuideWindow.h"

#include "app/guide/DocumentsStep.h"
#include "app/guide/GuideLabels.h"
#include "app/guide/GuideRun.h"
#include "app/guide/SoundSteps.h"
#include "app/guide/SpeechModelStep.h"
#include "app/guide/SuggestionsStep.h"
#include "app/guide/ToolServerStep.h"
#include "app/widgets/LoginToggle.h"
#include "settings/Settings.h"
#include "transcription/TranscriptionService.h"

#include <QCoreApplication>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QShowEvent>
#include <QVBoxLayout>

GuideWindow::GuideWindow(Settings& settings, Keychain& keychain, QWidget* parent, GuideOptions options)
    : QDialog(parent)
    , m_settings(&settings)
    , m_options(std::move(options))
    , m_run(new GuideRun(this))
{
    if (m_options.executable.isEmpty()) {
        m_options.executable = QCoreApplication::applicationFilePath();
    }
    setObjectName(QStringLiteral("onboarding"));
    setWindowTitle(tr("Welcome to Quillora"));
    setMinimumSize(520, 600);
    resize(560, 640);

    auto* content = new QWidget;
    auto* form = new QVBoxLayout(content);
    form->setContentsMargins(8, 4, 8, 4);
    form->addWidget(guideLabels::caption(tr("Quillora listens to your calls and suggests what to say. Set up these "
                                            "steps once; you can change them later in Settings."),
        content));
    form->addWidget(makeRequiredSection(settings, keychain));
    form->addWidget(makeOptionalSection());
    form->addStretch(1);
    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidget(content);

    auto* footer = new QHBoxLayout;
    m_stepsLeft = new QLabel(this);
    m_stepsLeft->setObjectName(QStringLiteral("stepsLeft"));
    m_stepsLeft->setForegroundRole(QPalette::PlaceholderText);
    m_done = new QPushButton(tr("Done"), this);
    m_done->setObjectName(QStringLiteral("done"));
    m_done->setAccessibleName(m_done->text());
    m_done->setDefault(true);
    footer->addWidget(m_stepsLeft, 1);
    footer->addWidget(m_done);
    connect(m_done, &QPushButton::clicked, this, &GuideWindow::finishGuide);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(scroll, 1);
    layout->addWidget(guideLabels::divider(this));
    layout->addLayout(footer);

    connect(m_run, &GuideRun::settled, this, &GuideWindow::settled);
    connect(m_settings, &Settings::changed, this, [this](SettingKey key) {
        if (key == SettingKey::transcriptionEngine) {
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

GuideWindow::~GuideWindow() = default;

QWidget* GuideWindow::makeRequiredSection(Settings& settings, Keychain& keychain)
{
    auto* section = new QGroupBox(tr("Required"));
    auto* rows = new QVBoxLayout(section);
    // Compact, so that the whole guide fits its default size without scrolling.
    rows->setSpacing(2);
    m_microphone = new MicrophoneStep(m_run, m_options.microphoneWait, section);
    m_systemAudio =
        new SystemAudioStep(m_run, m_options.systemAudioWindow, m_options.systemAudioRefreshWindow, section);
    m_speech = new SpeechModelStep(settings, section);
    m_documents = new DocumentsStep(section);
    for (StepRow* row : std::initializer_list<StepRow*> { m_microphone, m_systemAudio, m_speech, m_documents }) {
        rows->addWidget(row);
        connect(row, &StepRow::stateChanged, this, &GuideWindow::showStepsLeft);
    }
    rows->addWidget(guideLabels::divider(section));
    m_suggestions = new SuggestionsStep(settings, keychain, m_run, m_options.localModelTimeout, section);
    rows->addWidget(m_suggestions);
    connect(m_suggestions, &SuggestionsStep::changed, this, &GuideWindow::showStepsLeft);
    return section;
}

QWidget* GuideWindow::makeOptionalSection()
{
    auto* section = new QGroupBox(tr("Optional"));
    auto* layout = new QVBoxLayout(section);
    layout->setSpacing(2);
    m_openAtLogin = new LoginToggle(m_options.autostartEntry, m_options.executable, section);
    layout->addWidget(m_openAtLogin);
    layout->addWidget(guideLabels::caption(tr("Starts Quillora when you log in."), section));
    layout->addWidget(guideLabels::divider(section));
    m_toolServer = new ToolServerStep(m_options.executable, section);
    layout->addWidget(m_toolServer);
    return section;
}

bool GuideWindow::isSettled() const
{
    return m_run->isSettled();
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
        m_suggestions->load();
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
    m_run->close();
    resetState();
}

void GuideWindow::resetState()
{
    m_microphone->reset();
    m_systemAudio->reset();
    m_speech->reset();
    m_documents->setState(StepState::pending());
    m_suggestions->reset();
    m_toolServer->reset();
    showStepsLeft();
}

void GuideWindow::refresh()
{
    m_systemAudio->refresh();
    m_microphone->refresh();
    m_speech->refresh();
    m_documents->refresh();
    m_openAtLogin->showStored();
    m_suggestions->refresh();
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
    const int left = onboarding::stepsLeft(steps, m_suggestions->isReady());
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
