#include "transcription/OpenAITranscriber.h"

#include "common/Log.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkRequest>
#include <QTimer>
#include <QWebSocket>

#include <cmath>
#include <limits>

// The transcriber's state, confined to its worker thread.
class RealtimeWorker : public QObject {
    Q_OBJECT

public:
    RealtimeWorker(QString apiKey, QStringList languages, OpenAITranscriber::TextCallback onText,
        OpenAITranscriber::ErrorCallback onError, float speechLevel, QUrl endpoint, OpenAITranscriber::Clock clock)
        : m_apiKey(std::move(apiKey))
        , m_languages(std::move(languages))
        , m_onText(std::move(onText))
        , m_onError(std::move(onError))
        , m_speechLevel(speechLevel)
        , m_endpoint(std::move(endpoint))
        , m_clock(std::move(clock))
    {
    }

    void open();
    void process(const QByteArray& bytes, float level, double durationSeconds);
    void finish(std::function<void()> done);

private:
    enum class Link { connecting, open, failed };

    void send(const QJsonObject& message);
    void sendAppend();
    void endTurn();
    void handleFrame(const QString& frame);
    void reportTransportError(const QString& description);
    void pollOpenTurns(int pollsLeft, std::function<void()> done);
    void close(std::function<void()> done);

    const QString m_apiKey;
    const QStringList m_languages;
    const OpenAITranscriber::TextCallback m_onText;
    const OpenAITranscriber::ErrorCallback m_onError;
    const float m_speechLevel;
    const QUrl m_endpoint;
    const OpenAITranscriber::Clock m_clock;

    QWebSocket* m_socket = nullptr;
    Link m_link = Link::connecting;
    QStringList m_outbox; // messages sent before the connection opened, in order

    QByteArray m_preroll;
    QByteArray m_pending;
    bool m_speaking = false;
    double m_lastVoice = -std::numeric_limits<double>::infinity();
    double m_turnStart = -std::numeric_limits<double>::infinity();
    double m_voiced = 0;
    QHash<QString, QString> m_partials;
    int m_openTurns = 0;
    bool m_closing = false;
};

namespace {

double wallClockSeconds()
{
    return static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
}

} // namespace

void RealtimeWorker::open()
{
    m_socket = new QWebSocket(QString(), QWebSocketProtocol::VersionLatest, this);
    connect(m_socket, &QWebSocket::connected, this, [this] {
        if (m_link != Link::connecting) {
            return;
        }
        m_link = Link::open;
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
            m_link = Link::failed;
            m_outbox.clear();
            reportTransportError(m_socket->errorString());
        });
    connect(m_socket, &QWebSocket::disconnected, this, [this] {
        if (m_link == Link::open) {
            m_link = Link::failed;
            reportTransportError(m_socket->errorString().isEmpty() ? QStringLiteral("The connection was closed.")
                                                                   : m_socket->errorString());
        }
    });

    QNetworkRequest request(m_endpoint);
    request.setRawHeader("Authorization", "Bearer " + m_apiKey.toUtf8());
    request.setTransferTimeout(OpenAITranscriber::openTimeoutMs);
    m_socket->open(request);
    QTimer::singleShot(OpenAITranscriber::openTimeoutMs, this, [this] {
        if (m_link == Link::connecting) {
            m_link = Link::failed;
            m_outbox.clear();
            m_socket->abort();
            reportTransportError(QStringLiteral("The request timed out."));
        }
    });

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

void RealtimeWorker::send(const QJsonObject& message)
{
    const QString text = QString::fromUtf8(QJsonDocument(message).toJson(QJsonDocument::Compact));
    switch (m_link) {
    case Link::connecting: m_outbox.append(text); break;
    case Link::open: m_socket->sendTextMessage(text); break;
    case Link::failed:
        // Every send on a broken connection fails, and says so.
        reportTransportError(
            m_socket->errorString().isEmpty() ? QStringLiteral("The connection was closed.") : m_socket->errorString());
        break;
    }
}

void RealtimeWorker::reportTransportError(const QString& description)
{
    if (!m_closing && m_onError) {
        m_onError(QStringLiteral("OpenAI: ") + description);
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
    const double now = m_clock();
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
        if (m_onText) {
            m_onText(partial, false);
        }
    } else if (type == QLatin1String("conversation.item.input_audio_transcription.completed")) {
        m_partials.remove(itemId);
        m_openTurns = std::max(0, m_openTurns - 1);
        QString transcript = event.value(QStringLiteral("transcript")).toString();
        if (OpenAITranscriber::hasForeignScript(transcript)) {
            transcript.clear();
        }
        if (m_onText) {
            m_onText(transcript, true);
        }
    } else if (type == QLatin1String("error")) {
        const QJsonValue error = event.value(QStringLiteral("error"));
        const QJsonValue message = error.isObject() ? error.toObject().value(QStringLiteral("message")) : QJsonValue();
        if (m_onError) {
            m_onError(QStringLiteral("OpenAI: ")
                + (message.isString() ? message.toString() : QStringLiteral("unknown error")));
        }
    }
}

void RealtimeWorker::finish(std::function<void()> done)
{
    if (m_speaking) {
        endTurn();
    }
    pollOpenTurns(OpenAITranscriber::finishPolls, std::move(done));
}

void RealtimeWorker::pollOpenTurns(int pollsLeft, std::function<void()> done)
{
    // Waits on a timer rather than sleeping, so final texts keep arriving meanwhile.
    if (m_openTurns < 1 || pollsLeft <= 0) {
        close(std::move(done));
        return;
    }
    QTimer::singleShot(OpenAITranscriber::finishPollMs, this,
        [this, pollsLeft, done = std::move(done)]() mutable { pollOpenTurns(pollsLeft - 1, std::move(done)); });
}

void RealtimeWorker::close(std::function<void()> done)
{
    if (m_openTurns > 0) {
        qCInfo(lcTranscription) << "Closing the realtime connection with" << m_openTurns << "turns outstanding";
    }
    m_closing = true;
    m_outbox.clear();
    if (m_socket) {
        m_socket->close(QWebSocketProtocol::CloseCodeNormal);
    }
    if (done) {
        done();
    }
}

OpenAITranscriber::OpenAITranscriber(const QString& apiKey, const QStringList& languages, TextCallback onText,
    ErrorCallback onError, float speechLevel, const QUrl& endpoint, Clock clock)
    : m_converter(wireFormat())
{
    m_thread.setObjectName(QStringLiteral("Quillora.OpenAITranscriber"));
    m_worker = new RealtimeWorker(apiKey, languages, std::move(onText), std::move(onError), speechLevel, endpoint,
        clock ? std::move(clock) : Clock(&wallClockSeconds));
    m_worker->moveToThread(&m_thread);
    QObject::connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread.start();
    QMetaObject::invokeMethod(m_worker, &RealtimeWorker::open, Qt::QueuedConnection);
}

OpenAITranscriber::~OpenAITranscriber()
{
    m_thread.quit();
    m_thread.wait();
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

void OpenAITranscriber::append(const AudioBufferView& buffer)
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

    // When the worker falls this far behind, newer audio is dropped: sending it late would only
    // delay every later turn further.
    if (m_queuedBytes.load(std::memory_order_relaxed) + bytes.size() > maxQueuedBytes) {
        const qint64 dropped = ++m_droppedBuffers;
        if (dropped == 1 || dropped % 100 == 0) {
            qCWarning(lcTranscription) << "Transcriber is behind; dropped" << dropped << "audio buffers so far";
        }
        return;
    }
    m_queuedBytes += bytes.size();
    QMetaObject::invokeMethod(
        m_worker,
        [this, bytes = std::move(bytes), level, duration] {
            m_queuedBytes -= bytes.size();
            m_worker->process(bytes, level, duration);
        },
        Qt::QueuedConnection);
}

void OpenAITranscriber::finish(std::function<void()> done)
{
    QMetaObject::invokeMethod(
        m_worker, [this, done = std::move(done)]() mutable { m_worker->finish(std::move(done)); },
        Qt::QueuedConnection);
}

void OpenAITranscriber::drain()
{
    QMetaObject::invokeMethod(
        m_worker, [] {}, Qt::BlockingQueuedConnection);
}

#include "OpenAITranscriber.moc"
