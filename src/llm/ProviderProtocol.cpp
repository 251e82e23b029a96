#include "llm/ProviderProtocol.h"

#include <QCoreApplication>

#include "common/Text.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>

namespace llmMessage {

QString missingKey()
{
    return QCoreApplication::translate("LLMClient", "Add an API key in Settings (Ctrl+,).");
}

QString noOnDeviceModel()
{
    return QCoreApplication::translate("LLMClient", "No on-device model is available on this computer.");
}

QString refusal()
{
    return QCoreApplication::translate("LLMClient", "Claude declined to answer this one.");
}

QString cutOff()
{
    return QCoreApplication::translate("LLMClient", "The model's reply was cut off because it was too long.");
}

QString timedOut()
{
    return QCoreApplication::translate("LLMClient", "The request timed out.");
}

QString cancelled()
{
    return QCoreApplication::translate("LLMClient", "Operation canceled");
}

QString noText()
{
    return QCoreApplication::translate("LLMClient", "The model sent no text.");
}

QString claudeError(const std::optional<QString>& message)
{
    return QCoreApplication::translate("LLMClient", "Claude error: %1")
        .arg(message.value_or(QCoreApplication::translate("LLMClient", "unknown")));
}

QString httpStatus(int status, const QString& body)
{
    return QStringLiteral("HTTP ") + QString::number(status) + QStringLiteral(": ") + text::graphemePrefix(body, 300);
}

bool concernsTheRequest(const QString& message)
{
    if (message == refusal() || message == cutOff()) {
        return true;
    }
    if (message.startsWith(QLatin1String("HTTP 413: "))) {
        return true;
    }
    // Both services answer an over-long prompt with 400 and say so in the body's message or code.
    static const QLatin1String tooLong[] = {
        QLatin1String("prompt is too long"),
        QLatin1String("context_length_exceeded"),
        QLatin1String("maximum context length"),
        QLatin1String("request_too_large"),
    };
    return message.startsWith(QLatin1String("HTTP 400: "))
        && std::any_of(std::begin(tooLong), std::end(tooLong),
            [&](QLatin1String marker) { return message.contains(marker, Qt::CaseInsensitive); });
}

} // namespace llmMessage

namespace {

QByteArray compact(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QJsonObject message(const QString& role, const QString& content)
{
    return QJsonObject { { QStringLiteral("role"), role }, { QStringLiteral("content"), content } };
}

QJsonArray cachedSystem(const QString& system)
{
    return QJsonArray { QJsonObject {
        { QStringLiteral("type"), QStringLiteral("text") },
        { QStringLiteral("text"), system },
        { QStringLiteral("cache_control"), QJsonObject { { QStringLiteral("type"), QStringLiteral("ephemeral") } } },
    } };
}

qint64 count(const QJsonObject& usage, const QString& key)
{
    return usage.value(key).toInteger(0);
}

} // namespace

namespace claudeProtocol {

QByteArray requestBody(const LLMRequest& request)
{
    int maxTokens = request.effort == QStringLiteral("low") ? 2048 : 8192;
    QJsonObject outputConfig { { QStringLiteral("effort"), request.effort } };
    QJsonObject body;
    if (request.schema) {
        maxTokens = 32000;
        outputConfig.insert(QStringLiteral("format"),
            QJsonObject { { QStringLiteral("type"), QStringLiteral("json_schema") },
                { QStringLiteral("schema"), *request.schema } });
        body.insert(QStringLiteral("thinking"), QJsonObject { { QStringLiteral("type"), QStringLiteral("adaptive") } });
    }
    body.insert(QStringLiteral("model"), request.model);
    body.insert(QStringLiteral("max_tokens"), maxTokens);
    if (request.cacheSystem) {
        body.insert(QStringLiteral("system"), cachedSystem(request.system));
    } else {
        body.insert(QStringLiteral("system"), request.system);
    }
    body.insert(QStringLiteral("messages"), QJsonArray { message(QStringLiteral("user"), request.user) });
    body.insert(QStringLiteral("output_config"), outputConfig);
    body.insert(QStringLiteral("stream"), true);
    return compact(body);
}

QByteArray warmUpBody(const QString& model, const QString& system, const QString& effort)
{
    return compact(QJsonObject {
        { QStringLiteral("model"), model },
        { QStringLiteral("max_tokens"), 0 },
        { QStringLiteral("system"), cachedSystem(system) },
        { QStringLiteral("messages"), QJsonArray { message(QStringLiteral("user"), QStringLiteral("warmup")) } },
        { QStringLiteral("output_config"), QJsonObject { { QStringLiteral("effort"), effort } } },
    });
}

EventStep readEvent(const QJsonObject& event, bool hasSchema)
{
    const QJsonValue type = event.value(QLatin1String("type"));
    if (!type.isString()) {
        return {};
    }
    const QString kind = type.toString();
    if (kind == QLatin1String("content_block_delta")) {
        const QJsonValue delta = event.value(QLatin1String("delta"));
        if (delta.isObject()) {
            const QJsonObject object = delta.toObject();
            const QJsonValue text = object.value(QLatin1String("text"));
            if (object.value(QLatin1String("type")).toString() == QLatin1String("text_delta") && text.isString()) {
                return { text.toString(), std::nullopt };
            }
        }
        return {};
    }
    if (kind == QLatin1String("message_delta")) {
        const QString stop =
            event.value(QLatin1String("delta")).toObject().value(QLatin1String("stop_reason")).toString();
        if (stop == QLatin1String("refusal")) {
            return { QString(), llmMessage::refusal() };
        }
        if (hasSchema && stop == QLatin1String("max_tokens")) {
            return { QString(), llmMessage::cutOff() };
        }
        return {};
    }
    if (kind == QLatin1String("error")) {
        const QJsonValue text = event.value(QLatin1String("error")).toObject().value(QLatin1String("message"));
        return { QString(), llmMessage::claudeError(text.isString() ? std::optional(text.toString()) : std::nullopt) };
    }
    return {};
}

std::optional<CacheCounts> messageStartUsage(const QJsonObject& event)
{
    if (event.value(QLatin1String("type")).toString() != QLatin1String("message_start")) {
        return std::nullopt;
    }
    const QJsonValue usage = event.value(QLatin1String("message")).toObject().value(QLatin1String("usage"));
    if (!usage.isObject()) {
        return std::nullopt;
    }
    const QJsonObject object = usage.toObject();
    return CacheCounts { count(object, QStringLiteral("cache_read_input_tokens")),
        count(object, QStringLiteral("cache_creation_input_tokens")) };
}

CacheCounts warmUpUsage(const QByteArray& answer)
{
    const QJsonObject usage = QJsonDocument::fromJson(answer).object().value(QLatin1String("usage")).toObject();
    return CacheCounts { count(usage, QStringLiteral("cache_read_input_tokens")),
        count(usage, QStringLiteral("cache_creation_input_tokens")) };
}

} // namespace claudeProtocol

namespace openAIProtocol {

QByteArray requestBody(const LLMRequest& request)
{
    QJsonObject body {
        { QStringLiteral("model"), request.model },
        { QStringLiteral("messages"),
            QJsonArray {
                message(QStringLiteral("developer"), request.system), message(QStringLiteral("user"), request.user) } },
        { QStringLiteral("stream"), true },
    };
    if (request.schema) {
        body.insert(QStringLiteral("response_format"),
            QJsonObject { { QStringLiteral("type"), QStringLiteral("json_schema") },
                { QStringLiteral("json_schema"),
                    QJsonObject { { QStringLiteral("name"), QStringLiteral("proposals") },
                        { QStringLiteral("strict"), true }, { QStringLiteral("schema"), *request.schema } } } });
    }
    return compact(body);
}

QByteArray localRequestBody(const QString& model, const QString& system, const QString& user)
{
    return compact(QJsonObject {
        { QStringLiteral("model"), model },
        { QStringLiteral("messages"),
            QJsonArray { message(QStringLiteral("system"), system), message(QStringLiteral("user"), user) } },
        { QStringLiteral("stream"), true },
    });
}

EventStep readEvent(const QJsonObject& event)
{
    const QJsonValue choices = event.value(QLatin1String("choices"));
    if (!choices.isArray() || choices.toArray().isEmpty()) {
        return {};
    }
    const QJsonValue delta = choices.toArray().first().toObject().value(QLatin1String("delta"));
    if (!delta.isObject()) {
        return {};
    }
    const QJsonValue content = delta.toObject().value(QLatin1String("content"));
    return content.isString() ? EventStep { content.toString(), std::nullopt } : EventStep {};
}

QStringList modelIds(const QByteArray& answer)
{
    QStringList ids;
    const QJsonArray data = QJsonDocument::fromJson(answer).object().value(QLatin1String("data")).toArray();
    for (const QJsonValue& entry : data) {
        const QJsonValue id = entry.toObject().value(QLatin1String("id"));
        if (id.isString() && !id.toString().isEmpty()) {
            ids.append(id.toString());
        }
    }
    return ids;
}

} // namespace openAIProtocol
