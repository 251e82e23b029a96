#pragma once

#include "common/Error.h"
#include "mcp/RequestState.h"
#include "records/Records.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

namespace tools {

// The nineteen tool descriptors sent by "tools/list", built once per process.
const QJsonArray& catalogue();

// Runs one tool on the request's store context and gives its result as compact JSON text.
// Tools that write save the context and set `state.changed`; a failure leaves nothing saved.
Result<QByteArray> callTool(const QString& name, const QJsonObject& arguments, RequestState& state);

// The call as "get_call" gives it (compact JSON text): the one shape of a whole call for outside readers.
Result<QByteArray> callJson(StoreContext& context, const Call& call);

} // namespace tools
