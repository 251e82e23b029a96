#pragma once

#include <QByteArray>
#include <QJsonValue>

#include <optional>

namespace jsonText {

// What a checked JSON text holds: values (object member names counted as values too) and the
// deepest nesting of containers.
struct Shape {
    qsizetype values = 0;
    qsizetype depth = 0;
};

// Checks that the text is JSON as RFC 8259 has it, without building anything. Nothing when it is not.
std::optional<Shape> check(const QByteArray& utf8);
// Parses a text that check() accepted, with its shape.
std::optional<QJsonValue> parseChecked(const QByteArray& utf8, const Shape& shape);

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
