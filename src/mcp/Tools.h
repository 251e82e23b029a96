#pragma once

#include "common/Error.h"
#include "mcp/RequestState.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

namespace tools {

// The eighteen tool descriptors sent by "tools/list", built once per process.
const QJsonArray& catalogue();

// Runs one tool on the request's store context and gives its result as compact JSON text.
// Tools that write save the context and set `state.changed`; a failure leaves nothing saved.
Result<QByteArray> callTool(const QString& name, const QJsonObject& arguments, RequestState& state);

} // namespace tools
