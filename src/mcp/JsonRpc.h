#pragma once

#include "mcp/RequestState.h"

#include <QByteArray>
#include <QJsonValue>

#include <functional>
#include <optional>

namespace jsonRpc {

constexpr const char* defaultProtocolVersion = "2025-06-18";

// The most values (member names included) one request may hold; a longer request is answered with
// "Invalid Request" before it is built, so that memory stays bounded by the line size.
constexpr qsizetype maxRequestValues = 1024 * 1024;

// One JSON-RPC request line to its response line (without the line break), or nothing for
// a notification. Pure apart from the tool's store work: no reading or writing of streams.
// `wasUpdated` is asked once per request that carries an id.
std::optional<QByteArray> handleLine(
    const QByteArray& line, RequestState& state, const std::function<bool()>& wasUpdated);

// The response to a line that exceeded the size limit and was skipped: "Invalid Request" under the
// id read from it, or "Parse error" when none could be read.
QByteArray overlongLineResponse(const std::optional<QJsonValue>& id);

} // namespace jsonRpc
