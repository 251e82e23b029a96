#include "app/guide/SpeechModelStep.h"

#include "settings/Settings.h"
#include "transcription/WhisperModelDownload.h"
#include "transcription/WhisperModels.h"

#include <QFileInfo>
#include <QNetworkAccessManager>

SpeechModelStep::SpeechModelStep(Settings& settings, QWidget* parent)
    : StepRow({ tr("Speech model"), tr("Downloads the on-device transcription model once."), tr("Download"),
                  tr("Installed") },
        parent)
    , m_settings(&settings)
    , m_network(new QNetworkAccessManager(this))
    , m_download(new WhisperModelDownload(*m_network, this))
{
    setObjectName(QStringLiteral("speechModel"));
    connect(this, &StepRow::allowRequested, this, &SpeechModelStep::allow);
    connect(m_download, &WhisperModelDownload::progress, this, [this](qint64 received, qint64 total) {
        if (state().kind == StepState::Kind::working) {
            setState(StepState::working(onboarding::downloadingText(received, total)));
        }
    });
    connect(m_download, &WhisperModelDownload::finished, this, [this](const QString& path) {
        whisperModels::use(*m_settings, QFileInfo(path).fileName());
        setState(StepState::granted());
    });
    connect(m_download, &WhisperModelDownload::failed, this,
        [this](const QString& message) { setState(StepState::failed(message)); });
    reset();
}

void SpeechModelStep::refresh()
{
    if (state().kind == StepState::Kind::working) {
        return;
    }
    setState(whisperModels::installed().isEmpty() ? StepState::pending() : StepState::granted());
}

void SpeechModelStep::reset()
{
    ++m_run;
    {
        // What arrived stays for the next download; the row starts again from "Pending".
        const QSignalBlocker blocker(m_download);
        m_download->cancel();
    }
    setState(StepState::pending());
}

void SpeechModelStep::allow()
{
    if (!whisperModels::installed().isEmpty()) {
        refresh();
        return;
    }
    download();
}

QCoro::Task<> SpeechModelStep::download()
{
    setState(StepState::working(onboarding::downloadingText(0, 1)));
    QPointer<SpeechModelStep> self(this);
    const quint64 run = m_run;
    const Result<QList<WhisperModelEntry>> list =
        co_await WhisperModelDownload::fetchList(*m_network, m_settings->speechModelListURL());
    if (!self || run != m_run) {
        co_return;
    }
    if (!list || list->isEmpty()) {
        setState(StepState::failed(list ? tr("The speech model list has no models.") : list.error().message));
        co_return;
    }
    m_download->start(whisperModels::recommended(*list));
}
