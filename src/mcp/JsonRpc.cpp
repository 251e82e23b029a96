#include "mcp/JsonRpc.h"

#include "mcp/JsonText.h"
#include "mcp/Tools.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

namespace jsonRpc {

namespace {

enum class WireError { parse, invalidRequest, noMethod, unknownMethod, invalidParams, updated };

// The one place where failures become JSON-RPC error codes and messages.
QJsonObject wireError(WireError error, const QString& method = {})
{
    const auto make = [](int code, const QString& message) {
        return QJsonObject { { QStringLiteral("code"), code }, { QStringLiteral("message"), message } };
    };
    switch (error) {
    case WireError::parse: return make(-32700, QStringLiteral("Parse error"));
    case WireError::invalidRequest: return make(-32600, QStringLiteral("Invalid Request"));
    case WireError::noMethod: return make(-32601, QStringLiteral("Method not found"));
    case WireError::unknownMethod: return make(-32601, QStringLiteral("Method not found: ") + method);
    case WireError::invalidParams: return make(-32602, QStringLiteral("Invalid params: name is required"));
    case WireError::updated:
        return make(-32000, QStringLiteral("O Quillora foi atualizado. Reconecte o servidor (/mcp no Claude Code)."));
    }
    return {};
}

QByteArray errorResponse(const QJsonValue& id, WireError error, const QString& method = {})
{
    return jsonText::write(QJsonObject { { QStringLiteral("jsonrpc"), QStringLiteral("2.0") },
        { QStringLiteral("id"), id }, { QStringLiteral("error"), wireError(error, method) } });
}

QByteArray resultResponse(const QJsonValue& id, const QJsonObject& result)
{
    return jsonText::write(QJsonObject { { QStringLiteral("jsonrpc"), QStringLiteral("2.0") },
        { QStringLiteral("id"), id }, { QStringLiteral("result"), result } });
}

// A tool's result goes out as JSON inside a string. Its text is escaped as bytes, so a large
// result is not converted to UTF-16 and back.
QByteArray textResultResponse(const QJsonValue& id, const QByteArray& text)
{
    return "{\"jsonrpc\":\"2.0\",\"id\":" + jsonText::write(id)
        + ",\"result\":{\"content\":[{\"type\":\"text\",\"text\":\"" + jsonText::escapedString(text) + "\"}]}}";
}

QJsonObject textContent(const QString& text)
{
    return QJsonObject { { QStringLiteral("type"), QStringLiteral("text") }, { QStringLiteral("text"), text } };
}

QJsonObject initializeResult(const QJsonValue& params)
{
    QString version = QString::fromLatin1(defaultProtocolVersion);
    if (params.isObject()) {
        const QJsonValue requested = params.toObject().value(QLatin1String("protocolVersion"));
        if (requested.isString()) {
            version = requested.toString();
        }
    }
    return QJsonObject {
        { QStringLiteral("protocolVersion"), version },
        { QStringLiteral("capabilities"), QJsonObject { { QStringLiteral("tools"), QJsonObject {} } } },
        { QStringLiteral("serverInfo"),
            QJsonObject { { QStringLiteral("name"), QStringLiteral("quillora") },
                { QStringLiteral("version"), QStringLiteral(QUILLORA_VERSION) } } },
    };
}

std::optional<QByteArray> callToolResponse(const QJsonValue& id, const QJsonValue& params, RequestState& state)
{
    if (!params.isObject()) {
        return std::nullopt;
    }
    const QJsonObject object = params.toObject();
    const QJsonValue name = object.value(QLatin1String("name"));
    if (!name.isString()) {
        return std::nullopt;
    }
    const QJsonValue arguments = object.value(QLatin1String("arguments"));
    const auto result =
        tools::callTool(name.toString(), arguments.isObject() ? arguments.toObject() : QJsonObject {}, state);
    if (!result) {
        return resultResponse(id,
            QJsonObject { { QStringLiteral("content"), QJsonArray { textContent(result.error().message) } },
                { QStringLiteral("isError"), true } });
    }
    return textResultResponse(id, *result);
}

} // namespace

std::optional<QByteArray> handleLine(
    const QByteArray& line, RequestState& state, const std::function<bool()>& wasUpdated)
{
    // Input is read as text: invalid UTF-8 sequences become U+FFFD, as any text reader does.
    const QByteArray text = QByteArrayView(line).isValidUtf8() ? line : QString::fromUtf8(line).toUtf8();
    const auto shape = jsonText::check(text);
    if (!shape) {
        return errorResponse(QJsonValue::Null, WireError::parse);
    }
    // Each value takes 16 bytes or more once parsed: a line of small numbers would grow several
    // times over. No request of the tools comes near this many.
    if (shape->values > maxRequestValues) {
        // Refused unread, but answered as a request of that size would be: under its id, which the
        // scanner finds without building the rest, and not at all when it is a notification.
        jsonText::IdScanner scanner;
        scanner.feed(text);
        if (!scanner.beganAsObject()) {
            return errorResponse(QJsonValue::Null, WireError::invalidRequest);
        }
        const QJsonValue id = scanner.id().value_or(QJsonValue::Null);
        if (id.isNull()) {
            return std::nullopt;
        }
        return errorResponse(id, WireError::invalidRequest);
    }
    const auto parsed = jsonText::parseChecked(text, *shape);
    if (!parsed) {
        return errorResponse(QJsonValue::Null, WireError::parse);
    }
    if (!parsed->isObject()) {
        return errorResponse(QJsonValue::Null, WireError::invalidRequest);
    }
    const QJsonObject request = parsed->toObject();
    const QJsonValue id = request.value(QLatin1String("id"));
    if (id.isUndefined() || id.isNull()) {
        return std::nullopt;
    }
    if (wasUpdated && wasUpdated()) {
        state.exit = true;
        return errorResponse(id, WireError::updated);
    }
    const QJsonValue method = request.value(QLatin1String("method"));
    if (!method.isString()) {
        return errorResponse(id, WireError::noMethod);
    }
    const QString name = method.toString();
    const QJsonValue params = request.value(QLatin1String("params"));
    if (name == QLatin1String("initialize")) {
        return resultResponse(id, initializeResult(params));
    }
    if (name == QLatin1String("ping")) {
        return resultResponse(id, QJsonObject {});
    }
    if (name == QLatin1String("tools/list")) {
        return resultResponse(id, QJsonObject { { QStringLiteral("tools"), tools::catalogue() } });
    }
    if (name == QLatin1String("tools/call")) {
        auto response = callToolResponse(id, params, state);
        if (!response) {
            return errorResponse(id, WireError::invalidParams);
        }
        return response;
    }
    return errorResponse(id, WireError::unknownMethod, name);
}

QByteArray overlongLineResponse(const std::optional<QJsonValue>& id)
{
    if (id && !id->isNull()) {
        return errorResponse(*id, WireError::invalidRequest);
    }
    return errorResponse(QJsonValue::Null, WireError::parse);
}

} // namespace jsonRpc
