#include "llm/LLMClient.h"

#include "common/Log.h"
#include "settings/Settings.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

namespace {

// A non-200 answer is only shown as its first 300 characters; keeping more than this of it
// would let a server that never stops sending fill the memory.
constexpr qsizetype errorBodyCapBytes = 64 * 1024;

// A local server's model list is read up to this size; a longer answer never completes and
// the probe times out.
constexpr qint64 modelListCapBytes = 1024 * 1024;

// Bytes of a warm-up answer that are buffered at most; the answer is only logged.
constexpr qint64 warmUpBufferBytes = 1024 * 1024;

QUrl endpoint(QString base, const QString& path)
{
    while (base.endsWith(u'/')) {
        base.chop(1);
    }
    return QUrl(base + path);
}

QNetworkRequest jsonRequest(const QUrl& url)
{
    QNetworkRequest request(url);
    request.setRawHeader("content-type", "application/json");
    return request;
}

QNetworkRequest claudeRequest(const LLMEndpoints& endpoints, const QString& apiKey)
{
    QNetworkRequest request = jsonRequest(endpoint(endpoints.anthropicBaseURL, QStringLiteral("/v1/messages")));
    request.setRawHeader("x-api-key", apiKey.toUtf8());
    request.setRawHeader("anthropic-version", claudeProtocol::version);
    return request;
}

QNetworkRequest openAIRequest(const LLMEndpoints& endpoints, const QString& apiKey)
{
    QNetworkRequest request(endpoint(endpoints.openaiBaseURL, QStringLiteral("/v1/chat/completions")));
    request.setRawHeader("Authorization", "Bearer " + apiKey.toUtf8());
    request.setRawHeader("Content-Type", "application/json");
    return request;
}

int statusOf(const QNetworkReply* reply)
{
    return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

} // namespace

LLMEndpoints LLMEndpoints::fromSettings(const Settings& settings)
{
    return LLMEndpoints { settings.anthropicBaseURL(), settings.openaiBaseURL(), settings.localModelURL(),
        settings.textOr(SettingKey::llmModelOnDevice, QString()) };
}

std::function<LLMEndpoints()> LLMEndpoints::sourceFor(const Settings* settings)
{
    return
        [watched = QPointer<const Settings>(settings)] { return watched ? fromSettings(*watched) : LLMEndpoints {}; };
}

// ---- LLMStream

LLMStream::LLMStream(QNetworkAccessManager* network, std::chrono::milliseconds idleTimeout)
    : m_network(network)
    , m_idleTimeout(idleTimeout)
    , m_reader([this](const QJsonObject& event) { handleEvent(event); })
{
    m_idle.setSingleShot(true);
    m_idle.setInterval(m_idleTimeout);
    connect(&m_idle, &QTimer::timeout, this, [this] { finish(Error { llmMessage::timedOut() }); });
}

LLMStream::~LLMStream()
{
    m_finished = true;
    dropReply();
}

void LLMStream::cancel()
{
    if (m_finished) {
        return;
    }
    m_cancelled = true;
    finish(Error { llmMessage::cancelled() });
}

void LLMStream::send(
    const QNetworkRequest& request, const QByteArray& body, Reading reading, bool hasSchema, bool logCacheUsage)
{
    m_reading = reading;
    m_hasSchema = hasSchema;
    m_logCacheUsage = logCacheUsage;
    m_reply = m_network->post(request, body);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, [this] {
        m_status = statusOf(m_reply);
        m_idle.start();
    });
    connect(m_reply, &QNetworkReply::uploadProgress, this, [this] { m_idle.start(); });
    connect(m_reply, &QIODevice::readyRead, this, &LLMStream::readAvailable);
    connect(m_reply, &QNetworkReply::finished, this, &LLMStream::replyFinished);
    m_idle.start();
}

void LLMStream::probeLocalModels(
    const QNetworkRequest& request, std::chrono::milliseconds timeout, std::function<void(const QString& model)> then)
{
    QNetworkReply* probe = m_network->get(request);
    probe->setReadBufferSize(modelListCapBytes);
    m_reply = probe;
    QTimer::singleShot(timeout, probe, [this, probe] {
        if (m_reply == probe) {
            finish(Error { llmMessage::noOnDeviceModel() });
        }
    });
    connect(probe, &QNetworkReply::finished, this, [this, probe, then = std::move(then)] {
        if (m_reply != probe || m_finished) {
            return;
        }
        const QStringList models = statusOf(probe) == 200 ? openAIProtocol::modelIds(probe->readAll()) : QStringList();
        dropReply();
        if (models.isEmpty()) {
            finish(Error { llmMessage::noOnDeviceModel() });
            return;
        }
        then(models.first());
    });
}

void LLMStream::readAvailable()
{
    if (m_finished || !m_reply) {
        return;
    }
    m_idle.start();
    if (m_status == 0) {
        m_status = statusOf(m_reply);
    }
    const QByteArray chunk = m_reply->readAll();
    if (m_status != 200) {
        for (const char byte : chunk) {
            if (byte != '\n' && byte != '\r') {
                m_errorBody.append(byte);
            }
        }
        if (m_status != 0 && m_errorBody.size() >= errorBodyCapBytes) {
            finish(Error { llmMessage::httpStatus(m_status, QString::fromUtf8(m_errorBody)) });
        }
        return;
    }
    if (!m_reader.feed(chunk) && !m_finished) {
        endReply(); // "[DONE]": whatever follows is not read
    }
}

void LLMStream::replyFinished()
{
    if (m_finished || !m_reply) {
        return;
    }
    readAvailable();
    if (m_finished) {
        return;
    }
    const int status = statusOf(m_reply);
    const QNetworkReply::NetworkError error = m_reply->error();
    if (status == 200) {
        if (error != QNetworkReply::NoError) {
            finish(Error { m_reply->errorString() });
            return;
        }
        m_reader.finish();
        endReply();
    } else if (status == 0 && error != QNetworkReply::NoError) {
        finish(Error { m_reply->errorString() });
    } else {
        finish(Error { llmMessage::httpStatus(status, QString::fromUtf8(m_errorBody)) });
    }
}

void LLMStream::handleEvent(const QJsonObject& event)
{
    if (m_finished) {
        return;
    }
    EventStep step;
    if (m_reading == Reading::claude) {
        if (m_logCacheUsage) {
            if (const auto usage = claudeProtocol::messageStartUsage(event)) {
                qCInfo(lcLatency, "cache read %lld write %lld", static_cast<long long>(usage->read),
                    static_cast<long long>(usage->write));
                return;
            }
        }
        step = claudeProtocol::readEvent(event, m_hasSchema);
    } else {
        step = openAIProtocol::readEvent(event);
    }
    if (step.failure) {
        finish(Error { *step.failure });
        return;
    }
    if (!step.append.isEmpty()) {
        m_text.append(step.append);
        Q_EMIT received(m_text);
    }
}

void LLMStream::finish(std::optional<Error> error)
{
    if (m_finished) {
        return;
    }
    m_finished = true;
    m_idle.stop();
    dropReply();
    Q_EMIT finished(error);
}

void LLMStream::endReply()
{
    // A reply made only of events that carried no text (garbage, or nothing before "[DONE]") would
    // otherwise pass for an answer that says nothing.
    if (m_text.trimmed().isEmpty()) {
        finish(Error { llmMessage::noText() });
    } else {
        finish(std::nullopt);
    }
}

void LLMStream::finishLater(Error error)
{
    QMetaObject::invokeMethod(
        this, [this, error = std::move(error)] { finish(error); }, Qt::QueuedConnection);
}

void LLMStream::dropReply()
{
    if (!m_reply) {
        return;
    }
    QNetworkReply* reply = m_reply;
    m_reply = nullptr;
    disconnect(reply, nullptr, this, nullptr);
    reply->abort();
    reply->deleteLater();
}

// ---- LLMClient

LLMClient::LLMClient(QNetworkAccessManager* network, EndpointSource endpoints, Timeouts timeouts)
    : m_network(network)
    , m_endpoints(std::move(endpoints))
    , m_timeouts(timeouts)
{
}

LLMEndpoints LLMClient::endpoints() const
{
    return m_endpoints ? m_endpoints() : LLMEndpoints {};
}

std::unique_ptr<LLMStream> LLMClient::stream(const LLMRequest& request) const
{
    std::unique_ptr<LLMStream> stream(new LLMStream(m_network, m_timeouts.idle));
    const LLMEndpoints where = endpoints();
    LLMStream* target = stream.get();

    if (request.provider == LLMProvider::onDevice) {
        // The model identifier, effort, cache flag and schema do not apply to the local model.
        const QUrl chat = endpoint(where.localModelURL, QStringLiteral("/chat/completions"));
        const QString chosen = where.localModel;
        target->probeLocalModels(QNetworkRequest(endpoint(where.localModelURL, QStringLiteral("/models"))),
            m_timeouts.localProbe, [target, chat, chosen, request](const QString& listed) {
                target->send(jsonRequest(chat),
                    openAIProtocol::localRequestBody(chosen.isEmpty() ? listed : chosen, request.system, request.user),
                    LLMStream::Reading::openAI, false, false);
            });
        return stream;
    }

    if (!request.apiKey || request.apiKey->isEmpty()) {
        target->finishLater(Error { llmMessage::missingKey() });
        return stream;
    }
    if (request.provider == LLMProvider::claude) {
        target->send(claudeRequest(where, *request.apiKey), claudeProtocol::requestBody(request),
            LLMStream::Reading::claude, request.schema.has_value(), request.cacheSystem);
    } else {
        target->send(openAIRequest(where, *request.apiKey), openAIProtocol::requestBody(request),
            LLMStream::Reading::openAI, request.schema.has_value(), false);
    }
    return stream;
}

void LLMClient::warmUp(const QString& model, const QString& apiKey, const QString& system, const QString& effort) const
{
    QNetworkRequest request = claudeRequest(endpoints(), apiKey);
    request.setTransferTimeout(static_cast<int>(m_timeouts.idle.count()));
    QNetworkReply* reply = m_network->post(request, claudeProtocol::warmUpBody(model, system, effort));
    reply->setReadBufferSize(warmUpBufferBytes);
    QObject::connect(reply, &QNetworkReply::finished, reply, [reply] {
        reply->deleteLater();
        const int status = statusOf(reply);
        if (status == 0 && reply->error() != QNetworkReply::NoError) {
            qCWarning(lcLatency, "warm-up failed: %s", qUtf8Printable(reply->errorString()));
            return;
        }
        const QByteArray answer = reply->read(warmUpBufferBytes);
        if (status != 200) {
            qCWarning(lcLatency, "warm-up failed HTTP %lld: %s", static_cast<long long>(status),
                qUtf8Printable(QString::fromUtf8(answer.left(300))));
            return;
        }
        const claudeProtocol::CacheCounts counts = claudeProtocol::warmUpUsage(answer);
        qCInfo(lcLatency, "warm-up write %lld read %lld", static_cast<long long>(counts.write),
            static_cast<long long>(counts.read));
    });
}
