#include "transcription/TranscriptionService.h"

#include "common/Log.h"
#include "settings/Keychain.h"
#include "settings/Settings.h"
#include "transcription/PocketSphinxRecognizer.h"

#include <QCoreApplication>
#include <QCoroSignal>
#include <QLocale>
#include <QPointer>

namespace {

// Carries a completion reported on another thread back to a coroutine on the main thread.
class Completion : public QObject {
    Q_OBJECT

public:
    // A callback for the other thread; it posts the value here, or nothing once this is gone.
    std::function<void(const QString&)> callback()
    {
        QPointer<Completion> target(this);
        return [target](const QString& value) {
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [target, value] {
                    if (target) {
                        Q_EMIT target->completed(value);
                    }
                },
                Qt::QueuedConnection);
        };
    }

Q_SIGNALS:
    void completed(const QString& value);
};

const QString openaiAccount = QStringLiteral("openai");

} // namespace

TranscriptionService::TranscriptionService(QObject* parent, Options options)
    : QObject(parent)
    , m_options(std::move(options))
    , m_transcript(new Transcript(this, m_options.transcriptClock))
    , m_audio(new AudioCaptureService(this))
{
    connect(m_audio, &AudioCaptureService::captureFailed, this, [this](const QString& message) {
        if (m_running || m_starting) {
            setStatus(message);
        }
    });
}

TranscriptionService::~TranscriptionService()
{
    // Capture and engine threads end here, before anything they report to goes away.
    m_audio->stop();
    m_audio->setOnMicBuffer({});
    m_audio->setOnSystemBuffer({});
    m_channels.clear();
}

QString TranscriptionService::microphoneDeniedMessage()
{
    return QStringLiteral("Microphone access denied. Allow it in your desktop's privacy settings.");
}

QString TranscriptionService::missingKeyMessage()
{
    return QStringLiteral("Add your OpenAI API key in Settings (Ctrl+,) > General > Transcription.");
}

TranscriptionEngine TranscriptionService::engineFromText(const std::optional<QString>& text)
{
    return text == QStringLiteral("openai") ? TranscriptionEngine::openai : TranscriptionEngine::apple;
}

std::function<void(const QString&, bool)> TranscriptionService::textReceiver(Speaker speaker)
{
    QPointer<TranscriptionService> self(this);
    return [self, speaker](const QString& text, bool isFinal) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, speaker, text, isFinal] {
                if (self) {
                    self->m_transcript->handleText(text, isFinal, speaker);
                }
            },
            Qt::QueuedConnection);
    };
}

std::function<void(const QString&)> TranscriptionService::errorReceiver()
{
    QPointer<TranscriptionService> self(this);
    return [self](const QString& message) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, message] {
                if (self) {
                    self->setStatus(message);
                }
            },
            Qt::QueuedConnection);
    };
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
    if (!m_audio->requestMicrophoneAccess()) {
        co_return fail(microphoneDeniedMessage());
    }
    QPointer<TranscriptionService> self(this);
    Settings settings;
    std::vector<Channel> channels;
    if (engineFromText(settings.text(SettingKey::transcriptionEngine)) == TranscriptionEngine::apple) {
        const Result<SpeechModel> model = speechModels::resolve(settings.speechLocale(), QLocale::system().name());
        if (!model) {
            co_return std::unexpected(model.error());
        }
        for (const Speaker speaker : { Speaker::me, Speaker::them }) {
            Result<Channel> channel = co_await makeOnDeviceChannel(*model, speaker);
            if (!self) {
                co_return fail(QString());
            }
            if (!channel) {
                co_return std::unexpected(channel.error());
            }
            channels.push_back(std::move(*channel));
        }
    } else {
        const std::optional<QString> key = keychain::read(openaiAccount);
        if (!key || key->isEmpty()) {
            co_return fail(missingKeyMessage());
        }
        const QUrl endpoint = OpenAITranscriber::endpointFor(settings.openaiBaseURL());
        channels.push_back(makeCloudChannel(*key, Speaker::me, 0.02f, endpoint));
        channels.push_back(makeCloudChannel(*key, Speaker::them, 0.01f, endpoint));
    }
    m_channels = std::move(channels);

    // Each capture keeps the callback in force when it starts, so they are set first.
    m_audio->setOnMicBuffer(m_channels[0].feed);
    m_audio->setOnSystemBuffer(m_channels[1].feed);
    if (Result<void> microphone = m_audio->startMicrophone(); !microphone) {
        co_return microphone;
    }
    if (Result<void> system = m_audio->startSystemAudio(); !system) {
        co_return system;
    }
    co_return Result<void> {};
}

QCoro::Task<Result<TranscriptionService::Channel>> TranscriptionService::makeOnDeviceChannel(
    const SpeechModel& model, Speaker speaker)
{
    const QString threadName = QStringLiteral("Quillora.SpeechRecognizer.%1")
                                   .arg(speaker == Speaker::me ? QLatin1String("me") : QLatin1String("them"));
    auto recognizer = std::make_shared<PocketSphinxRecognizer>(model, textReceiver(speaker), threadName);

    Completion loaded;
    auto report = loaded.callback();
    recognizer->load([report](const std::optional<QString>& error) { report(error.value_or(QString())); });
    const QString error = co_await qCoro(&loaded, &Completion::completed);
    if (!error.isEmpty()) {
        co_return fail(error);
    }

    Channel channel;
    channel.speaker = speaker;
    channel.feed = [recognizer](const AudioBufferView& buffer) { recognizer->feed(buffer); };
    channel.finish = [recognizer](std::function<void()> done) { recognizer->finish(std::move(done)); };
    channel.engine = recognizer;
    co_return channel;
}

TranscriptionService::Channel TranscriptionService::makeCloudChannel(
    const QString& apiKey, Speaker speaker, float speechLevel, const QUrl& endpoint)
{
    auto transcriber =
        std::make_shared<OpenAITranscriber>(apiKey, QStringList { QStringLiteral("pt"), QStringLiteral("en") },
            textReceiver(speaker), errorReceiver(), speechLevel, endpoint, m_options.transcriberClock);
    Channel channel;
    channel.speaker = speaker;
    channel.feed = [transcriber](const AudioBufferView& buffer) { transcriber->append(buffer); };
    channel.finish = [transcriber](std::function<void()> done) { transcriber->finish(std::move(done)); };
    channel.engine = transcriber;
    return channel;
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
    for (Channel& channel : m_channels) {
        Completion finished;
        auto report = finished.callback();
        channel.finish([report] { report(QString()); });
        co_await qCoro(&finished, &Completion::completed);
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

QCoro::Task<> TranscriptionService::toggle(SuggestionControl& suggestions)
{
    if (m_running) {
        co_await stop();
        co_return;
    }
    suggestions.clear();
    suggestions.warmUp();
    co_await start();
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

#include "TranscriptionService.moc"
