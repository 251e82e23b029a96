#include "app/guide/SoundSteps.h"

#include "app/guide/GuideRun.h"
#include "app/widgets/SoundSettings.h"
#include "audio/SoundCheck.h"
#include "common/Log.h"

#include <QCoroFuture>
#include <QtConcurrent/QtConcurrentRun>

SoundStep::SoundStep(const Texts& texts, GuideRun* run, QWidget* parent)
    : StepRow(texts, parent)
    , m_run(run)
{
    if (!soundSettings::command().isEmpty()) {
        setSettingsLabel(tr("Open Sound Settings"));
    }
    connect(this, &StepRow::settingsRequested, this, [] {
        if (const Result<void> opened = soundSettings::open(); !opened) {
            qCWarning(lcSettings, "Sound settings: %s", qUtf8Printable(opened.error().message));
        }
    });
}

void SoundStep::reset()
{
    m_probing = false;
    setState(StepState::pending());
}

MicrophoneStep::MicrophoneStep(GuideRun* run, std::chrono::milliseconds wait, QWidget* parent)
    : SoundStep({ tr("Microphone"), tr("Transcribes what you say."), tr("Allow"), tr("Allowed") }, run, parent)
    , m_wait(wait)
{
    setObjectName(QStringLiteral("microphone"));
    connect(this, &StepRow::allowRequested, this, [this] {
        if (!m_probing) {
            probe(true);
        }
    });
}

void MicrophoneStep::refresh()
{
    if (!m_probing) {
        probe(false);
    }
}

QCoro::Task<> MicrophoneStep::probe(bool showWorking)
{
    if (!m_run) {
        co_return;
    }
    const QPointer<MicrophoneStep> self(this);
    const QPointer<GuideRun> run = m_run;
    const quint64 token = run->started();
    m_probing = true;
    if (showWorking) {
        setState(StepState::working(tr("Checking…")));
    }
    const std::stop_token stop = run->stopToken();
    const std::chrono::milliseconds wait = m_wait;
    QFuture<Result<soundCheck::MicrophoneOutcome>> probe =
        QtConcurrent::run(&run->probes(), [wait, stop] { return soundCheck::microphone(wait, stop); });
    const Result<soundCheck::MicrophoneOutcome> outcome = co_await probe;
    if (!self || !run || !run->isCurrent(token)) {
        co_return;
    }
    m_probing = false;
    if (!outcome) {
        setState(StepState::failed(outcome.error().message));
    } else if (*outcome == soundCheck::MicrophoneOutcome::delivers) {
        setState(StepState::granted());
    } else {
        setDeniedNote(*outcome == soundCheck::MicrophoneOutcome::noInput
                ? tr("No microphone input available")
                : tr("Microphone access denied. Allow it in your desktop's privacy settings."));
        setState(StepState::denied());
    }
    run->finished(token);
}

SystemAudioStep::SystemAudioStep(
    GuideRun* run, std::chrono::milliseconds window, std::chrono::milliseconds refreshWindow, QWidget* parent)
    : SoundStep({ tr("System audio"),
                    tr("Transcribes what the other people on the call say. A short sound plays while it checks."),
                    tr("Allow"), tr("Allowed") },
        run, parent)
    , m_window(window)
    , m_refreshWindow(refreshWindow)
{
    setObjectName(QStringLiteral("systemAudio"));
    setDeniedNote(tr("No system audio came through. Open your sound settings, or play a sound and try again."));
    connect(this, &StepRow::allowRequested, this, [this] {
        if (!m_probing) {
            setState(StepState::working(tr("Listening…")));
            probe(m_window);
        }
    });
}

void SystemAudioStep::refresh()
{
    // Only a denied step is probed again: coming back from the sound settings may have mended it.
    if (state().kind == StepState::Kind::denied && !m_probing) {
        probe(m_refreshWindow);
    }
}

QCoro::Task<> SystemAudioStep::probe(std::chrono::milliseconds window)
{
    if (!m_run) {
        co_return;
    }
    const QPointer<SystemAudioStep> self(this);
    const QPointer<GuideRun> run = m_run;
    const quint64 token = run->started();
    m_probing = true;
    const std::stop_token stop = run->stopToken();
    // A copy: g++ 12 destroys a coroutine parameter that a lambda captures twice.
    const std::chrono::milliseconds listen = window;
    QFuture<Result<bool>> probe =
        QtConcurrent::run(&run->probes(), [listen, stop] { return soundCheck::systemAudio(listen, stop); });
    const Result<bool> heard = co_await probe;
    if (!self || !run || !run->isCurrent(token)) {
        co_return;
    }
    m_probing = false;
    if (!heard) {
        setState(StepState::failed(heard.error().message));
    } else {
        setState(*heard ? StepState::granted() : StepState::denied());
    }
    run->finished(token);
}
