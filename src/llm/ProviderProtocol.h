#pragma once

#include "records/Enums.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <optional>

// What goes to each language model and what its stream events mean, without any networking:
// request bodies, headers' fixed values and the reading of one event, so that every member
// can be checked on its own.

// One request of `LLMClient::stream`.
struct LLMRequest {
    LLMProvider provider = LLMProvider::onDevice;
    QString model;
    std::optional<QString> apiKey;
    QString system;
    QString user;
    QString effort = QStringLiteral("low"); // "low", "medium" or "high"
    bool cacheSystem = false;
    std::optional<QJsonObject> schema; // a JSON Schema the reply must follow
};

// User-facing failure texts of the clients.
// The texts the user sees when a request fails, translatable.
namespace llmMessage {
QString missingKey();
QString noOnDeviceModel();
QString refusal();
QString cutOff();
QString timedOut();
QString cancelled();
// A reply that ended without any text: only unreadable events, or none at all.
QString noText();
// "Claude error: " and the event's message, or "unknown".
QString claudeError(const std::optional<QString>& message);
// "HTTP <status>: " and the first 300 user-perceived characters of the body.
QString httpStatus(int status, const QString& body);
// True for a failure caused by what one request asked: a refusal, a reply cut off for length, or a
// request too large for the model. Asking the same again fails the same way, whereas a missing key,
// the network, a time-out or the service's load say nothing about the request itself.
bool concernsTheRequest(const QString& message);
} // namespace llmMessage

// What one stream event does to the reply.
struct EventStep {
    QString append; // text added to the reply (empty: nothing)
    std::optional<QString> failure; // the reply ends with this error
};

namespace claudeProtocol {
inline const QByteArray version = QByteArrayLiteral("2026-10-21");

QByteArray requestBody(const LLMRequest& request);
QByteArray warmUpBody(const QString& model, const QString& system, const QString& effort);
EventStep readEvent(const QJsonObject& event, bool hasSchema);

struct CacheCounts {
    qint64 read = 0;
    qint64 write = 0;
};
// The usage of a "message_start" event; nothing for other events or without usage.
std::optional<CacheCounts> messageStartUsage(const QJsonObject& event);
// The top-level usage of a warm-up answer; zeros when the answer, usage or a count is missing.
CacheCounts warmUpUsage(const QByteArray& answer);
} // namespace claudeProtocol

namespace openAIProtocol {
QByteArray requestBody(const LLMRequest& request);
// The local server's chat request: the system prompt as the "system" message, streamed.
QByteArray localRequestBody(const QString& model, const QString& system, const QString& user);
EventStep readEvent(const QJsonObject& event);
// Model identifiers of a "GET /models" answer ({"data": [{"id": ...}, ...]}), in order.
QStringList modelIds(const QByteArray& answer);
} // namespace openAIProtocol
