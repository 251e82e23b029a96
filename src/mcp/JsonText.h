#pragma once

#include <QByteArray>
#include <QByteArrayView>
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

// Reads the "id" member of a top-level object from a text given in pieces, without holding the
// text, so that a request too large to be read whole can still be answered under its own id. It
// follows only the structure it needs; whether the whole text is JSON is not checked.
class IdScanner {
public:
    void feed(QByteArrayView bytes);

    // The text's first significant character opened an object.
    bool beganAsObject() const { return m_part != Part::beforeObject && m_part != Part::notAnObject; }
    // The value of the last "id" member read whole; nothing when there is none, or it is too long to echo.
    const std::optional<QJsonValue>& id() const { return m_id; }

private:
    enum class Part { beforeObject, notAnObject, key, colon, value, ended };

    void endValue();

    static constexpr qsizetype keyCapBytes = 64;
    static constexpr qsizetype valueCapBytes = 4096;

    Part m_part = Part::beforeObject;
    qint64 m_depth = 0; // containers open; 1 inside the top-level object
    bool m_inString = false;
    bool m_escaped = false;
    QByteArray m_key; // the member name being read, quotes included
    bool m_capturing = false; // reading the value of an "id" member into m_value
    QByteArray m_value;
    std::optional<QJsonValue> m_id;
};

} // namespace jsonText
