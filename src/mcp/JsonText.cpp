#include "mcp/JsonText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

namespace jsonText {

namespace {

// Well below QJsonDocument's own nesting limit, which also counts the wrapping array.
constexpr int keptDepth = 256;

std::optional<QJsonValue> parseWrapped(const QByteArray& utf8, QJsonParseError* error)
{
    // QJsonDocument only reads arrays and objects at the top, so a bare scalar is read as
    // the one element of an array around it.
    QByteArray wrapped;
    wrapped.reserve(utf8.size() + 2);
    wrapped.append('[');
    wrapped.append(utf8);
    wrapped.append(']');
    const QJsonDocument document = QJsonDocument::fromJson(wrapped, error);
    if (error->error != QJsonParseError::NoError || !document.isArray()) {
        return std::nullopt;
    }
    const QJsonArray array = document.array();
    if (array.size() != 1) { // "1,2" or an empty line
        return std::nullopt;
    }
    return array.first();
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isHex(char c)
{
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Scans a string starting at its opening quote; returns the index after the closing quote.
std::optional<qsizetype> scanString(const QByteArray& s, qsizetype pos)
{
    const qsizetype n = s.size();
    ++pos;
    while (pos < n) {
        const auto c = static_cast<unsigned char>(s[pos]);
        if (c == '"') {
            return pos + 1;
        }
        if (c < 0x20) {
            return std::nullopt;
        }
        if (c == '\\') {
            if (pos + 1 >= n) {
                return std::nullopt;
            }
            const char e = s[pos + 1];
            if (e == 'u') {
                if (pos + 5 >= n) {
                    return std::nullopt;
                }
                for (int i = 2; i < 6; ++i) {
                    if (!isHex(s[pos + i])) {
                        return std::nullopt;
                    }
                }
                pos += 6;
                continue;
            }
            if (e != '"' && e != '\\' && e != '/' && e != 'b' && e != 'f' && e != 'n' && e != 'r' && e != 't') {
                return std::nullopt;
            }
            pos += 2;
            continue;
        }
        ++pos;
    }
    return std::nullopt;
}

std::optional<qsizetype> scanNumber(const QByteArray& s, qsizetype pos)
{
    const qsizetype n = s.size();
    if (pos < n && s[pos] == '-') {
        ++pos;
    }
    if (pos >= n || !isDigit(s[pos])) {
        return std::nullopt;
    }
    if (s[pos] == '0') {
        ++pos;
    } else {
        while (pos < n && isDigit(s[pos])) {
            ++pos;
        }
    }
    if (pos < n && s[pos] == '.') {
        ++pos;
        if (pos >= n || !isDigit(s[pos])) {
            return std::nullopt;
        }
        while (pos < n && isDigit(s[pos])) {
            ++pos;
        }
    }
    if (pos < n && (s[pos] == 'e' || s[pos] == 'E')) {
        ++pos;
        if (pos < n && (s[pos] == '+' || s[pos] == '-')) {
            ++pos;
        }
        if (pos >= n || !isDigit(s[pos])) {
            return std::nullopt;
        }
        while (pos < n && isDigit(s[pos])) {
            ++pos;
        }
    }
    return pos;
}

std::optional<qsizetype> scanLiteral(const QByteArray& s, qsizetype pos)
{
    for (const char* word : { "true", "false", "null" }) {
        const qsizetype length = static_cast<qsizetype>(std::strlen(word));
        if (s.mid(pos, length) == word) {
            return pos + length;
        }
    }
    return std::nullopt;
}

} // namespace

namespace {

// Checks that `s` is one JSON text and measures it; with `out`, also copies it without
// insignificant white space, replacing every container that starts deeper than `maxDepth` by null.
std::optional<Shape> scanText(const QByteArray& s, int maxDepth, QByteArray* out)
{
    enum class Expect { value, valueOrEnd, key, keyOrEnd, colon, commaOrEnd, done };
    const qsizetype n = s.size();
    if (out) {
        out->reserve(n);
    }
    Shape shape;
    std::vector<char> open; // '[' or '{' for each container entered
    qsizetype prunedFrom = 0; // depth of the container being replaced by null, 0 when none
    Expect expect = Expect::value;
    qsizetype pos = 0;
    const auto copy = [&](qsizetype from, qsizetype to) {
        if (out && prunedFrom == 0) {
            out->append(s.constData() + from, to - from);
        }
    };
    const auto afterValue = [&] { return open.empty() ? Expect::done : Expect::commaOrEnd; };
    const auto close = [&] {
        const qsizetype depth = static_cast<qsizetype>(open.size());
        const char closing = open.back() == '[' ? ']' : '}';
        open.pop_back();
        if (prunedFrom == depth) {
            prunedFrom = 0;
        } else if (out && prunedFrom == 0) {
            out->append(closing);
        }
        ++pos;
        expect = afterValue();
    };
    while (true) {
        while (pos < n && (s[pos] == ' ' || s[pos] == '\t' || s[pos] == '\n' || s[pos] == '\r')) {
            ++pos;
        }
        if (pos >= n) {
            break;
        }
        const char c = s[pos];
        switch (expect) {
        case Expect::done: return std::nullopt;
        case Expect::valueOrEnd:
            if (c == ']') {
                close();
                continue;
            }
            [[fallthrough]];
        case Expect::value: {
            ++shape.values;
            if (c == '[' || c == '{') {
                open.push_back(c);
                const auto depth = static_cast<qsizetype>(open.size());
                shape.depth = std::max(shape.depth, depth);
                if (out && prunedFrom == 0 && depth > maxDepth) {
                    out->append("null");
                    prunedFrom = depth;
                }
                copy(pos, pos + 1);
                ++pos;
                expect = c == '[' ? Expect::valueOrEnd : Expect::keyOrEnd;
                continue;
            }
            std::optional<qsizetype> end;
            if (c == '"') {
                end = scanString(s, pos);
            } else if (c == '-' || isDigit(c)) {
                end = scanNumber(s, pos);
            } else {
                end = scanLiteral(s, pos);
            }
            if (!end) {
                return std::nullopt;
            }
            copy(pos, *end);
            pos = *end;
            expect = afterValue();
            continue;
        }
        case Expect::keyOrEnd:
            if (c == '}') {
                close();
                continue;
            }
            [[fallthrough]];
        case Expect::key: {
            if (c != '"') {
                return std::nullopt;
            }
            const auto end = scanString(s, pos);
            if (!end) {
                return std::nullopt;
            }
            ++shape.values; // a member's name is stored like a value
            copy(pos, *end);
            pos = *end;
            expect = Expect::colon;
            continue;
        }
        case Expect::colon:
            if (c != ':') {
                return std::nullopt;
            }
            copy(pos, pos + 1);
            ++pos;
            expect = Expect::value;
            continue;
        case Expect::commaOrEnd:
            if (c == ',') {
                copy(pos, pos + 1);
                ++pos;
                expect = open.back() == '[' ? Expect::value : Expect::key;
                continue;
            }
            if (c == (open.back() == '[' ? ']' : '}')) {
                close();
                continue;
            }
            return std::nullopt;
        }
    }
    if (expect != Expect::done) {
        return std::nullopt;
    }
    return shape;
}

} // namespace

std::optional<QByteArray> pruneDeepContainers(const QByteArray& s, int maxDepth)
{
    QByteArray out;
    if (!scanText(s, maxDepth, &out)) {
        return std::nullopt;
    }
    return out;
}

std::optional<Shape> check(const QByteArray& utf8)
{
    return scanText(utf8, std::numeric_limits<int>::max(), nullptr);
}

std::optional<QJsonValue> parseChecked(const QByteArray& utf8, const Shape& shape)
{
    QJsonParseError error {};
    if (shape.depth > keptDepth) {
        const auto pruned = pruneDeepContainers(utf8, keptDepth);
        return pruned ? parseWrapped(*pruned, &error) : std::nullopt;
    }
    // A container is read as it is; only a bare scalar needs the array around it.
    const auto first =
        std::find_if(utf8.begin(), utf8.end(), [](char c) { return c != ' ' && c != '\t' && c != '\n' && c != '\r'; });
    if (first != utf8.end() && (*first == '{' || *first == '[')) {
        const QJsonDocument document = QJsonDocument::fromJson(utf8, &error);
        if (error.error != QJsonParseError::NoError) {
            return std::nullopt;
        }
        return document.isObject() ? QJsonValue(document.object()) : QJsonValue(document.array());
    }
    return parseWrapped(utf8, &error);
}

std::optional<QJsonValue> parse(const QByteArray& utf8)
{
    // QJsonDocument is lenient where JSON is not (raw control characters in strings, unknown
    // escapes, numbers such as ".5" or "01"), so every text is checked first.
    const auto shape = check(utf8);
    if (!shape) {
        return std::nullopt;
    }
    return parseChecked(utf8, *shape);
}

QByteArray escapedString(const QByteArray& utf8)
{
    static constexpr char hex[] = "0123456789abcdef";
    QByteArray out;
    out.reserve(utf8.size() + utf8.size() / 8 + 16);
    const char* data = utf8.constData();
    const qsizetype size = utf8.size();
    qsizetype runStart = 0; // bytes copied unchanged, in runs
    for (qsizetype i = 0; i < size; ++i) {
        const auto byte = static_cast<unsigned char>(data[i]);
        if (byte >= 0x20 && byte != '"' && byte != '\\') {
            continue;
        }
        out.append(data + runStart, i - runStart);
        runStart = i + 1;
        switch (byte) {
        case '"': out.append("\\\"", 2); break;
        case '\\': out.append("\\\\", 2); break;
        case '\n': out.append("\\n", 2); break;
        case '\t': out.append("\\t", 2); break;
        case '\r': out.append("\\r", 2); break;
        default: {
            const char escape[] = { '\\', 'u', '0', '0', hex[byte >> 4], hex[byte & 0xf] };
            out.append(escape, 6);
        }
        }
    }
    out.append(data + runStart, size - runStart);
    return out;
}

QByteArray write(const QJsonValue& value)
{
    if (value.isObject()) {
        return QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact);
    }
    if (value.isArray()) {
        return QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact);
    }
    // A scalar is written as the one element of an array, without the brackets.
    QByteArray text = QJsonDocument(QJsonArray { value }).toJson(QJsonDocument::Compact);
    return text.mid(1, text.size() - 2);
}

void IdScanner::feed(QByteArrayView bytes)
{
    for (const char c : bytes) {
        if (m_part == Part::ended || m_part == Part::notAnObject) {
            return;
        }
        if (m_capturing) {
            if (m_value.size() < valueCapBytes) {
                m_value.append(c);
            } else {
                m_capturing = false; // too long to echo; an earlier id stays
                m_value.clear();
            }
        }
        if (m_inString) {
            if (m_part == Part::key && m_key.size() < keyCapBytes) {
                m_key.append(c);
            }
            if (m_escaped) {
                m_escaped = false;
            } else if (c == '\\') {
                m_escaped = true;
            } else if (c == '"') {
                m_inString = false;
                if (m_part == Part::key) {
                    m_part = Part::colon;
                }
            }
            continue;
        }
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            continue;
        }
        switch (m_part) {
        case Part::beforeObject:
            m_part = c == '{' ? Part::key : Part::notAnObject;
            m_depth = 1;
            break;
        case Part::key:
            if (c == '"') {
                m_inString = true;
                m_key = QByteArray(1, c);
            } else {
                m_part = Part::ended; // "}" of an empty object, or not JSON
            }
            break;
        case Part::colon:
            if (c != ':') {
                m_part = Part::ended;
                break;
            }
            m_part = Part::value;
            m_capturing = m_key == "\"id\"" || jsonText::parse(m_key) == QJsonValue(QStringLiteral("id"));
            m_value.clear();
            break;
        case Part::value:
            if (m_depth == 1 && (c == ',' || c == '}')) {
                if (m_capturing) {
                    m_value.chop(1); // the separator
                }
                endValue();
                m_part = c == ',' ? Part::key : Part::ended;
            } else if (c == '"') {
                m_inString = true;
            } else if (c == '{' || c == '[') {
                ++m_depth;
            } else if (c == '}' || c == ']') {
                --m_depth;
            }
            break;
        case Part::notAnObject:
        case Part::ended: break;
        }
    }
}

void IdScanner::endValue()
{
    if (m_capturing) {
        if (auto value = jsonText::parse(m_value)) {
            m_id = std::move(*value);
        }
    }
    m_capturing = false;
    m_value.clear();
}

} // namespace jsonText
