#pragma once

#include "common/Error.h"
#include "llm/EventReader.h"
#include "llm/ProviderProtocol.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;
class Settings;

// Where the providers are reached; read from the settings for every request.
struct LLMEndpoints {
    QString anthropicBaseURL; // + "/v1/messages"
    QString openaiBaseURL; // + "/v1/chat/completions"
    QString localModelURL; // + "/models", "/chat/completions"
    QString localModel; // "llmModel.onDevice"; empty: the first model the local server lists

    static LLMEndpoints fromSettings(const Settings& settings);
    // Reads `settings` at every request; nothing once it is gone.
    static std::function<LLMEndpoints()> sourceFor(const Settings* settings);
};

// The reply of one request as an asynchronous sequence of texts. `received` carries the whole
// reply so far each time it grows; `finished` comes exactly once, last, with the error that
// ended the reply or nothing; a reply that brought no text at all ends with an error. Neither is
// emitted from inside `LLMClient::stream` or the destructor. Destroying the stream, or `cancel`,
// aborts the network request. A handler of its signals must not destroy it directly (deleteLater
// is fine).
class LLMStream : public QObject {
    Q_OBJECT

public:
    ~LLMStream() override;

    const QString& text() const { return m_text; }
    bool isFinished() const { return m_finished; }
    bool wasCancelled() const { return m_cancelled; }

    // Stops the work; `finished` follows at once with a cancellation error, unless it already came.
    void cancel();

Q_SIGNALS:
    void received(const QString& text);
    void finished(const std::optional<Error>& error);

private:
    friend class LLMClient;
    enum class Reading { claude, openAI };

    explicit LLMStream(QNetworkAccessManager* network, std::chrono::milliseconds idleTimeout);

    void send(
        const QNetworkRequest& request, const QByteArray& body, Reading reading, bool hasSchema, bool logCacheUsage);
    void probeLocalModels(const QNetworkRequest& request, std::chrono::milliseconds timeout,
        std::function<void(const QString& model)> then);
    void readAvailable();
    void replyFinished();
    void handleEvent(const QJsonObject& event);
    void finish(std::optional<Error> error);
    // The reply's body ended well: an error all the same when it brought no text.
    void endReply();
    void finishLater(Error error);
    void dropReply();

    QNetworkAccessManager* m_network;
    std::chrono::milliseconds m_idleTimeout;
    QPointer<QNetworkReply> m_reply;
    QTimer m_idle;
    EventReader m_reader;
    Reading m_reading = Reading::claude;
    bool m_hasSchema = false;
    bool m_logCacheUsage = false;
    int m_status = 0;
    QByteArray m_errorBody; // body of a non-200 answer, line breaks removed, capped
    QString m_text;
    bool m_finished = false;
    bool m_cancelled = false;
};

struct LLMTimeouts {
    // A request fails when nothing arrives for this long.
    std::chrono::milliseconds idle { 60000 };
    // The local server must list its models within this time to count as available.
    std::chrono::milliseconds localProbe { 2000 };
};

// The one way to ask a language model: Claude (Anthropic Messages), OpenAI Chat Completions,
// or a local OpenAI-compatible server standing in for an on-device model. Cheap to copy; all
// copies share the caller's network manager, which must outlive every stream.
class LLMClient {
public:
    using EndpointSource = std::function<LLMEndpoints()>;

    using Timeouts = LLMTimeouts;

    // `endpoints` is asked at every request (usually LLMEndpoints::sourceFor the app's settings).
    LLMClient(QNetworkAccessManager* network, EndpointSource endpoints, LLMTimeouts timeouts = LLMTimeouts());

    // Starts the request at once; the caller owns the stream.
    std::unique_ptr<LLMStream> stream(const LLMRequest& request) const;

    // Sends the system prompt to Claude so that its prompt cache holds it; only logs its outcome.
    void warmUp(const QString& model, const QString& apiKey, const QString& system, const QString& effort) const;

private:
    LLMEndpoints endpoints() const;

    QNetworkAccessManager* m_network;
    EndpointSource m_endpoints;
    Timeouts m_timeouts;
};
