#pragma once

#include <QByteArray>
#include <QJsonValue>

#include <optional>

namespace jsonText {

// Parses any JSON text, a bare scalar included. Nothing when the text is not JSON.
// Containers nested deeper than QJsonDocument accepts are read as null, so deep but valid
// input is still told apart from malformed input.
std::optional<QJsonValue> parse(const QByteArray& utf8);

// Compact JSON on one line; forward slashes are not escaped.
QByteArray write(const QJsonValue& value);

// `utf8` as the body of a JSON string (without the quotes): quotes, backslashes and control
// characters escaped, everything else copied byte for byte.
QByteArray escapedString(const QByteArray& utf8);

// Checks that `text` is one JSON text and copies it without insignificant white space,
// replacing every container that starts deeper than `maxDepth` by null. Nothing when the
// text is not JSON. Works without recursion, so any depth is safe.
std::optional<QByteArray> pruneDeepContainers(const QByteArray& text, int maxDepth);

} // namespace jsonText
