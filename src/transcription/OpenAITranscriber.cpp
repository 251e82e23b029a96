#include "transcription/OpenAITranscriber.h"

#include "common/Clock.h"
#include "common/Log.h"

#include <QCoreApplication>
#include <QCoroSignal>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QWebSocket>

#include <cmath>
#include <limits>
#include <memory>

namespace {

// The HTTP status with which the service refused the opening request, when it did. The WebSocket
// client reports it only inside its description ("... status code: 401 (Unauthorized).").
std::optional<int> refusedStatus(const QString& description)
{
    static const QRegularExpression statusCode(
        QStringLiteral("status code:\\s*(\\d{3})"), QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = statusCode.match(description);
    return match.hasMatch() ? std::optional(match.captured(1).toInt()) : std::nullopt;
}

// What the user reads when the connection could not be opened: a sentence of ours for each cause,
// since the client's descriptions are written for developers.
QString openFailureText(const QString& description)
{
    const std::optional<int> status = refusedStatus(description);
    if (!status) {
        return QCoreApplication::translate(
            "OpenAITranscriber", "OpenAI could not be reached. Check the internet connection.");
    }
    switch (*status) {
    case 401:
        return QCoreApplication::translate(
            "OpenAITranscriber", "OpenAI refused the API key. Change it in Settings (Ctrl+,).");
    case 429:
        return QCoreApplication::translate("OpenAITranscriber",
            "The OpenAI account is out of quota or rate-limited. Check its plan and "
            "billing, or try again later.");
    default:
        return QCoreApplication::translate("OpenAITranscriber", "OpenAI turned the connection down (HTTP %1).")
            .arg(*status);
    }
}

QString connectionLostText()
{
    return QCoreApplication::translate("OpenAITranscriber", "The connection to OpenAI was lost.");
}

} // namespace

// The transcriber's state, confined to its worker thread.
class RealtimeWorker : public QObject {
    Q_OBJECT

public:
    RealtimeWorker(QString apiKey, QStringList languages, float speechLevel, QUrl endpoint, Clock& clock)
        : m_apiKey(std::move(apiKey))
        , m_languages(std::move(languages))
        , m_speechLevel(speechLevel)
        , m_endpoint(std::move(endpoint))
        , m_clock(clock)
    {
    }

    void open();
    void process(const QByteArray& bytes, float level, double durationSeconds);
    void finish();

Q_SIGNALS:
    void textReported(const QString& text, bool isFinal);
    void errorReported(const QString& message);
    void finished();

private:
    enum class Link { connecting, open, failed };

    // A clock timer whose action runs here, on this worker's thread, whichever thread fires it.
    std::unique_ptr<ClockTimer> timer(void (RealtimeWorker::*action)());
    void send(const QJsonObject& message);
    void sendAppend();
    void endTurn();
    void handleFrame(const QString& frame);
    void reportTransportError(const QString& description);
    void openTimedOut();
    void close();

    const QString m_apiKey;
    const QStringList m_languages;
    const float m_speechLevel;
    const QUrl m_endpoint;
    Clock& m_clock;

    QWebSocket* m_socket = nullptr;
    std::unique_ptr<ClockTimer> m_openTimer;
    std::unique_ptr<ClockTimer> m_finishTimer;
    Link m_link = Link::connecting;
    QString m_failure; // why the link failed, as the user reads it
    QStringList m_outbox; // messages sent before the connection opened, in order

    QByteArray m_preroll;
    QByteArray m_pending;
    bool m_speaking = false;
    double m_lastVoice = -std::numeric_limits<double>::infinity();
    double m_turnStart = -std::numeric_limits<double>::infinity();
    double m_voiced = 0;
    QHash<QString, QString> m_partials;
    int m_openTurns = 0;
    bool m_finishing = false; // finish() waits for the outstanding final texts
    bool m_closing = false;
};

std::unique_ptr<ClockTimer> RealtimeWorker::timer(void (RealtimeWorker::*action)())
{
    return m_clock.createTimer(this, [this, action] { QMetaObject::invokeMethod(this, action, Qt::QueuedConnection); });
}

void RealtimeWorker::open()
{
    m_openTimer = timer(&RealtimeWorker::openTimedOut);
    m_finishTimer = timer(&RealtimeWorker::close);
    m_socket = new QWebSocket(QString(), QWebSocketProtocol::VersionLatest, this);
    connect(m_socket, &QWebSocket::connected, this, [this] {
        if (m_link != Link::connecting) {
            return;
        }
        m_link = Link::open;
        m_openTimer->stop();
        const QStringList outbox = std::exchange(m_outbox, {});
        for (const QString& message : outbox) {
            m_socket->sendTextMessage(message);
        }
    });
    connect(m_socket, &QWebSocket::textMessageReceived, this, &RealtimeWorker::handleFrame);
    connect(m_socket, qOverload<QAbstractSocket::SocketError>(&QWebSocket::error), this,
        [this](QAbstractSocket::SocketError) {
            if (m_link == Link::failed) {
                return;
            }
            m_failure = m_link == Link::connecting ? openFailureText(m_socket->errorString()) : connectionLostText();
            m_link = Link::failed;
            m_outbox.clear();
            reportTransportError(m_failure);
        });
    connect(m_socket, &QWebSocket::disconnected, this, [this] {
        if (m_link == Link::open) {
            m_link = Link::failed;
            m_failure = connectionLostText();
            reportTransportError(m_failure);
        }
    });

    QNetworkRequest request(m_endpoint);
    request.setRawHeader("Authorization", "Bearer " + m_apiKey.toUtf8());
    request.setTransferTimeout(static_cast<int>(OpenAITranscriber::openTimeout.count()));
    m_socket->open(request);
    m_openTimer->start(OpenAITranscriber::openTimeout);

    QJsonObject transcription {
        { QStringLiteral("model"), QStringLiteral("gpt-live-transcribe") },
        { QStringLiteral("languages"), QJsonArray::fromStringList(m_languages) },
        { QStringLiteral("delay"), QStringLiteral("low") },
    };
    QJsonObject input {
        { QStringLiteral("format"),
            QJsonObject { { QStringLiteral("type"), QStringLiteral("audio/pcm") },
                { QStringLiteral("rate"), static_cast<int>(OpenAITranscriber::wireSampleRate) } } },
        { QStringLiteral("transcription"), transcription },
        { QStringLiteral("turn_detection"), QJsonValue::Null },
    };
    send(QJsonObject {
        { QStringLiteral("type"), QStringLiteral("session.update") },
        { QStringLiteral("session"),
            QJsonObject { { QStringLiteral("type"), QStringLiteral("transcription") },
                { QStringLiteral("audio"), QJsonObject { { QStringLiteral("input"), input } } } } },
    });
}

void RealtimeWorker::openTimedOut()
{
    if (m_link == Link::connecting) {
        m_link = Link::failed;
        m_failure = openFailureText(QString());
        m_outbox.clear();
        m_socket->abort();
        reportTransportError(m_failure);
    }
}

void RealtimeWorker::send(const QJsonObject& message)
{
    const QString text = QString::fromUtf8(QJsonDocument(message).toJson(QJsonDocument::Compact));
    switch (m_link) {
    case Link::connecting: m_outbox.append(text); break;
    case Link::open: m_socket->sendTextMessage(text); break;
    case Link::failed:
        // Every send on a broken connection fails, and says why the connection broke.
        reportTransportError(m_failure);
        break;
    }
}

void RealtimeWorker::reportTransportError(const QString& description)
{
    if (!m_closing) {
        Q_EMIT errorReported(QCoreApplication::translate("OpenAITranscriber", "OpenAI: %1").arg(description));
    }
}

void RealtimeWorker::sendAppend()
{
    send(QJsonObject {
        { QStringLiteral("type"), QStringLiteral("input_audio_buffer.append") },
        { QStringLiteral("audio"), QString::fromLatin1(m_pending.toBase64()) },
    });
    m_pending.clear();
}

void RealtimeWorker::process(const QByteArray& bytes, float level, double durationSeconds)
{
    const double now = m_clock.monotonicSeconds();
    if (level > m_speechLevel) {
        if (!m_speaking) {
            m_speaking = true;
            m_turnStart = now;
            m_voiced = 0;
            m_pending = std::exchange(m_preroll, {});
        }
        m_lastVoice = now;
        m_voiced += durationSeconds;
    }
    if (!m_speaking) {
        m_preroll.append(bytes);
        if (m_preroll.size() > OpenAITranscriber::prerollBytes) {
            m_preroll.remove(0, m_preroll.size() - OpenAITranscriber::prerollBytes);
        }
        return;
    }
    m_pending.append(bytes);
    if (m_pending.size() >= OpenAITranscriber::chunkBytes) {
        sendAppend();
    }
    if (now - m_lastVoice > OpenAITranscriber::silenceToCommitSeconds) {
        endTurn();
    } else if (now - m_turnStart > OpenAITranscriber::maxTurnSeconds) {
        endTurn();
        m_speaking = true;
        m_turnStart = now;
        m_voiced = 0;
    }
}

void RealtimeWorker::endTurn()
{
    if (!m_pending.isEmpty()) {
        sendAppend();
    }
    m_speaking = false;
    if (m_voiced >= OpenAITranscriber::minVoiceSeconds) {
        send(QJsonObject { { QStringLiteral("type"), QStringLiteral("input_audio_buffer.commit") } });
        ++m_openTurns;
    } else {
        send(QJsonObject { { QStringLiteral("type"), QStringLiteral("input_audio_buffer.clear") } });
    }
}

void RealtimeWorker::handleFrame(const QString& frame)
{
    const QJsonDocument document = QJsonDocument::fromJson(frame.toUtf8());
    if (!document.isObject()) {
        return;
    }
    const QJsonObject event = document.object();
    const QJsonValue type = event.value(QStringLiteral("type"));
    if (!type.isString()) {
        return;
    }
    const QString itemId = event.value(QStringLiteral("item_id")).toString();
    if (type == QLatin1String("conversation.item.input_audio_transcription.delta")) {
        QString& partial = m_partials[itemId];
        partial += event.value(QStringLiteral("delta")).toString();
        Q_EMIT textReported(partial, false);
    } else if (type == QLatin1String("conversation.item.input_audio_transcription.completed")) {
        m_partials.remove(itemId);
        m_openTurns = std::max(0, m_openTurns - 1);
        QString transcript = event.value(QStringLiteral("transcript")).toString();
        if (OpenAITranscriber::hasForeignScript(transcript)) {
            transcript.clear();
        }
        Q_EMIT textReported(transcript, true);
        if (m_finishing && m_openTurns < 1) {
            close();
        }
    } else if (type == QLatin1String("error")) {
        const QJsonValue error = event.value(QStringLiteral("error"));
        const QJsonValue message = error.isObject() ? error.toObject().value(QStringLiteral("message")) : QJsonValue();
        Q_EMIT errorReported(
            QCoreApplication::translate("OpenAITranscriber", "OpenAI: %1")
                .arg(message.isString() ? message.toString()
                                        : QCoreApplication::translate("OpenAITranscriber", "unknown error")));
    }
}

void RealtimeWorker::finish()
{
    if (m_speaking) {
        endTurn();
    }
    // Waits on the final texts themselves rather than sleeping, so they keep arriving meanwhile
    // and the close follows the last one at once.
    m_finishing = true;
    if (m_openTurns < 1) {
        close();
        return;
    }
    m_finishTimer->start(OpenAITranscriber::finishWait);
}

void RealtimeWorker::close()
{
    if (m_closing) {
        return;
    }
    if (m_openTurns > 0) {
        qCInfo(lcTranscription) << "Closing the realtime connection with" << m_openTurns << "turns outstanding";
    }
    m_closing = true;
    m_outbox.clear();
    if (m_socket) {
        m_finishTimer->stop();
        m_socket->close(QWebSocketProtocol::CloseCodeNormal);
    }
    Q_EMIT finished();
}

OpenAITranscriber::OpenAITranscriber(const QString& apiKey, const QStringList& languages, float speechLevel,
    const QUrl& endpoint, Clock* clock, QObject* parent)
    : SpeechEngine(parent)
    , m_converter(wireFormat())
    , m_thread(QStringLiteral("Quillora.OpenAITranscriber"), maxQueuedBytes, &lcTranscription)
{
    auto worker = std::make_unique<RealtimeWorker>(apiKey, languages, speechLevel, endpoint, Clock::orSystem(clock));
    m_worker = worker.get();
    connect(m_worker, &RealtimeWorker::textReported, this, &SpeechEngine::textReported);
    connect(m_worker, &RealtimeWorker::errorReported, this, &SpeechEngine::errorReported);
    connect(m_worker, &RealtimeWorker::finished, this, &OpenAITranscriber::finished);
    m_thread.start(std::move(worker));
}

OpenAITranscriber::~OpenAITranscriber() = default;

QCoro::Task<Result<void>> OpenAITranscriber::start()
{
    m_thread.post([worker = m_worker] { worker->open(); });
    co_return Result<void> {};
}

QUrl OpenAITranscriber::endpointFor(const QString& baseUrl)
{
    QUrl url(baseUrl);
    const QString scheme = url.scheme().toLower();
    url.setScheme(scheme == QLatin1String("http") || scheme == QLatin1String("ws") ? QStringLiteral("ws")
                                                                                   : QStringLiteral("wss"));
    QString path = url.path();
    while (path.endsWith(QLatin1Char('/'))) {
        path.chop(1);
    }
    url.setPath(path + QStringLiteral("/v1/realtime"));
    url.setQuery(QStringLiteral("intent=transcription"));
    url.setFragment(QString());
    return url;
}

bool OpenAITranscriber::hasForeignScript(const QString& text)
{
    const QList<uint> scalars = text.toUcs4();
    return std::any_of(scalars.begin(), scalars.end(),
        [](uint scalar) { return scalar >= 0x250 && QChar::isLetter(static_cast<char32_t>(scalar)); });
}

void OpenAITranscriber::feed(const AudioBufferView& buffer)
{
    const std::optional<AudioBuffer> converted = m_converter.convert(buffer);
    if (!converted || !converted->int16Data()) {
        return;
    }
    const qsizetype frames = converted->frameCount();
    const qint16* samples = converted->int16Data();
    float sumOfSquares = 0;
    for (qsizetype i = 0; i < frames; ++i) {
        const float x = static_cast<float>(samples[i]) / 32768.0f;
        sumOfSquares += x * x;
    }
    const float level = frames > 0 ? std::sqrt(sumOfSquares / static_cast<float>(frames)) : 0.0f;
    QByteArray bytes(reinterpret_cast<const char*>(samples), frames * 2);
    const double duration = static_cast<double>(frames) / wireSampleRate;
    const qint64 size = bytes.size();
    m_thread.postAudio(size,
        [worker = m_worker, bytes = std::move(bytes), level, duration] { worker->process(bytes, level, duration); });
}

QCoro::Task<> OpenAITranscriber::finish()
{
    m_thread.post([worker = m_worker] { worker->finish(); });
    co_await qCoro(this, &OpenAITranscriber::finished);
}

#include "OpenAITranscriber.moc"
