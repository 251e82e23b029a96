#include "transcription/TranscriptionService.h"

#include "common/Log.h"
#include "settings/Settings.h"
#include "transcription/OpenAITranscriber.h"
#include "transcription/PocketSphinxRecognizer.h"
#include "transcription/SpeechModels.h"
#include "transcription/WhisperModels.h"
#include "transcription/WhisperRecognizer.h"

#include <QCoroSignal>
#include <QLocale>
#include <QPointer>

namespace {

const QString openaiAccount = QStringLiteral("openai");

} // namespace

TranscriptionService::TranscriptionService(QObject* parent)
    : TranscriptionService(parent, Options())
{
}

TranscriptionService::TranscriptionService(QObject* parent, Options options)
    : QObject(parent)
    , m_options(std::move(options))
    , m_transcript(new Transcript(this, m_options.clock))
    , m_audio(new AudioCaptureService(this))
{
    connect(m_audio, &AudioCaptureService::captureFailed, this, &TranscriptionService::captureEnded);
}

TranscriptionService::~TranscriptionService()
{
    // Capture and engine threads end here, before anything they report to goes away.
    m_audio->stop();
    m_audio->setOnMicBuffer({});
    m_audio->setOnSystemBuffer({});
    m_channels.clear();
}

QString TranscriptionService::missingKeyMessage()
{
    return tr("Add your OpenAI API key in Settings (Ctrl+,) > General > Transcription.");
}

TranscriptionEngine TranscriptionService::engineFromText(const std::optional<QString>& text)
{
    if (text == QStringLiteral("openai")) {
        return TranscriptionEngine::openAI;
    }
    return text == QStringLiteral("whisper") ? TranscriptionEngine::whisper : TranscriptionEngine::onDevice;
}

void TranscriptionService::connectReports(const Channel& channel)
{
    connect(channel.engine.get(), &SpeechEngine::textReported, this,
        [this, speaker = channel.speaker](
            const QString& text, bool isFinal) { m_transcript->handleText(text, isFinal, speaker); });
    connect(channel.engine.get(), &SpeechEngine::errorReported, this,
        [this](const QString& message) { setStatus(message); });
}

QCoro::Task<> TranscriptionService::start()
{
    if (m_running || m_starting || m_stopping) {
        co_return;
    }
    m_starting = true;
    setStatus(std::nullopt);
    m_transcript->clear();

    QPointer<TranscriptionService> self(this);
    const Result<void> started = co_await startSteps();
    if (!self) {
        co_return;
    }
    m_starting = false;
    if (!started) {
        qCInfo(lcTranscription) << "Listening did not start:" << started.error().message;
        setStatus(started.error().message);
        co_await stop();
        co_return;
    }
    setRunning(true);
}

QCoro::Task<Result<void>> TranscriptionService::startSteps()
{
    QPointer<TranscriptionService> self(this);
    if (!m_options.settings) {
        co_return fail(tr("Listening cannot start without the app's settings."));
    }
    const Settings& settings = *m_options.settings;
    std::vector<Channel> channels;
    const TranscriptionEngine engine = engineFromText(settings.text(SettingKey::transcriptionEngine));
    if (engine == TranscriptionEngine::whisper) {
        const Result<QString> model = whisperModels::installedPath(settings.whisperModel());
        if (!model) {
            co_return std::unexpected(model.error());
        }
        const QString locale =
            settings.speechLocale().trimmed().isEmpty() ? QLocale::system().name() : settings.speechLocale();
        QString language = WhisperRecognizer::languageFor(locale);
        if (language.isEmpty()) {
            if (!settings.speechLocale().trimmed().isEmpty()) {
                co_return fail(tr("On-device transcription does not support %1 on this computer.").arg(locale));
            }
            // An unset or unknown system locale ("C"): the language is heard per piece.
            language = QStringLiteral("auto");
        }
        for (const Speaker speaker : { Speaker::me, Speaker::them }) {
            const QString threadName = QStringLiteral("Quillora.Whisper.%1")
                                           .arg(speaker == Speaker::me ? QLatin1String("me") : QLatin1String("them"));
            channels.push_back({ speaker,
                std::make_unique<WhisperRecognizer>(WhisperRecognizer::Options { *model, language, 1 }, threadName) });
        }
    } else if (engine == TranscriptionEngine::onDevice) {
        const Result<SpeechModel> model = speechModels::resolve(settings.speechLocale(), QLocale::system().name());
        if (!model) {
            co_return std::unexpected(model.error());
        }
        for (const Speaker speaker : { Speaker::me, Speaker::them }) {
            const QString threadName = QStringLiteral("Quillora.SpeechRecognizer.%1")
                                           .arg(speaker == Speaker::me ? QLatin1String("me") : QLatin1String("them"));
            channels.push_back({ speaker, std::make_unique<PocketSphinxRecognizer>(*model, threadName) });
        }
    } else {
        const QUrl endpoint = OpenAITranscriber::endpointFor(settings.openaiBaseURL());
        // Not inside a conditional expression: g++ 12 mishandles co_await there.
        std::optional<QString> key;
        if (m_options.readKey) {
            key = co_await m_options.readKey(openaiAccount);
        }
        if (!self) {
            co_return fail(QString());
        }
        if (!key || key->isEmpty()) {
            co_return fail(missingKeyMessage());
        }
        const QStringList languages = language::codes();
        channels.push_back(
            { Speaker::me, std::make_unique<OpenAITranscriber>(*key, languages, 0.02f, endpoint, m_options.clock) });
        channels.push_back(
            { Speaker::them, std::make_unique<OpenAITranscriber>(*key, languages, 0.01f, endpoint, m_options.clock) });
    }
    // One after the other, `me` first; when one fails, the channels made are discarded.
    for (const Channel& channel : channels) {
        connectReports(channel);
        const Result<void> started = co_await channel.engine->start();
        if (!self) {
            co_return fail(QString());
        }
        if (!started) {
            co_return started;
        }
    }
    m_channels = std::move(channels);

    // Each capture keeps the callback in force when it starts, so they are set first. The
    // engines outlive the captures: stop() ends capture before it lets the engines go.
    SpeechEngine* me = m_channels[0].engine.get();
    SpeechEngine* them = m_channels[1].engine.get();
    m_audio->setOnMicBuffer([me](const AudioBufferView& buffer) { me->feed(buffer); });
    m_audio->setOnSystemBuffer([them](const AudioBufferView& buffer) { them->feed(buffer); });
    if (Result<void> microphone = m_audio->startMicrophone(); !microphone) {
        co_return microphone;
    }
    if (Result<void> system = m_audio->startSystemAudio(); !system) {
        co_return system;
    }
    co_return Result<void> {};
}

QCoro::Task<> TranscriptionService::stop()
{
    if (m_stopping) {
        co_await qCoro(this, &TranscriptionService::stopFinished);
        co_return;
    }
    m_stopping = true;
    m_audio->stop();
    m_audio->setOnMicBuffer({});
    m_audio->setOnSystemBuffer({});

    QPointer<TranscriptionService> self(this);
    for (const Channel& channel : m_channels) {
        co_await channel.engine->finish();
        if (!self) {
            co_return;
        }
    }
    m_channels.clear();
    m_transcript->clearVolatile();
    setRunning(false);
    m_stopping = false;
    Q_EMIT stopFinished();
}

void TranscriptionService::captureEnded(const QString& message)
{
    if (!m_running && !m_starting) {
        return;
    }
    // When the sound server goes, both captures end: each says so, neither hides the other.
    setStatus(m_status && !m_status->isEmpty() ? *m_status + u'\n' + message : message);
    // With nothing left to hear, listening ends as if the user had stopped it: the call keeps
    // every line and is stored, and the window no longer says it is listening.
    if (m_running && !m_stopping && !m_audio->isMicrophoneRunning() && !m_audio->isSystemAudioRunning()) {
        qCInfo(lcTranscription) << "Both captures ended; listening stops";
        stop();
    }
}

void TranscriptionService::setStatus(std::optional<QString> status)
{
    if (status != m_status) {
        m_status = std::move(status);
        Q_EMIT statusChanged();
    }
}

void TranscriptionService::setRunning(bool running)
{
    if (running != m_running) {
        m_running = running;
        Q_EMIT runningChanged(running);
    }
}
