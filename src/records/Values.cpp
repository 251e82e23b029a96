#include "records/Values.h"

#include "common/Dates.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <optional>

namespace blob {

namespace {

QByteArray encodeArray(const QJsonArray& array)
{
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

// Decodes `data` as an array whose every element `convert` accepts; one bad element (or any
// other fault) makes the whole list empty.
template <typename T, typename Convert> QList<T> decodeArray(const QByteArray& data, Convert convert)
{
    if (data.isEmpty()) {
        return {};
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray()) {
        return {};
    }
    const QJsonArray array = document.array();
    QList<T> out;
    out.reserve(array.size());
    for (const QJsonValue& element : array) {
        if (!element.isObject()) {
            return {};
        }
        std::optional<T> value = convert(element.toObject());
        if (!value) {
            return {};
        }
        out.append(std::move(*value));
    }
    return out;
}

std::optional<QString> stringMember(const QJsonObject& object, QLatin1String key)
{
    const QJsonValue value = object.value(key);
    if (!value.isString()) {
        return std::nullopt;
    }
    return value.toString();
}

std::optional<QDateTime> dateMember(const QJsonObject& object, QLatin1String key)
{
    const QJsonValue value = object.value(key);
    if (!value.isDouble()) {
        return std::nullopt;
    }
    return dates::fromReferenceSeconds(value.toDouble());
}

} // namespace

QByteArray encodeLines(const QList<CallLine>& lines)
{
    QJsonArray array;
    for (const CallLine& line : lines) {
        array.append(QJsonObject { { QStringLiteral("fromMe"), line.fromMe }, { QStringLiteral("text"), line.text },
            { QStringLiteral("date"), dates::toReferenceSeconds(line.date) } });
    }
    return encodeArray(array);
}

QList<CallLine> decodeLines(const QByteArray& data)
{
    return decodeArray<CallLine>(data, [](const QJsonObject& object) -> std::optional<CallLine> {
        const QJsonValue fromMe = object.value(QLatin1String("fromMe"));
        auto text = stringMember(object, QLatin1String("text"));
        auto date = dateMember(object, QLatin1String("date"));
        if (!fromMe.isBool() || !text || !date) {
            return std::nullopt;
        }
        return CallLine { fromMe.toBool(), std::move(*text), *date };
    });
}

QByteArray encodeSuggestions(const QList<CallSuggestion>& suggestions)
{
    QJsonArray array;
    for (const CallSuggestion& suggestion : suggestions) {
        QJsonObject object { { QStringLiteral("text"), suggestion.text },
            { QStringLiteral("date"), dates::toReferenceSeconds(suggestion.date) } };
        if (!suggestion.preparedQuestion.isEmpty()) {
            object.insert(QStringLiteral("source"), QStringLiteral("answers"));
            object.insert(QStringLiteral("question"), suggestion.preparedQuestion);
        }
        array.append(object);
    }
    return encodeArray(array);
}

QList<CallSuggestion> decodeSuggestions(const QByteArray& data)
{
    return decodeArray<CallSuggestion>(data, [](const QJsonObject& object) -> std::optional<CallSuggestion> {
        auto text = stringMember(object, QLatin1String("text"));
        auto date = dateMember(object, QLatin1String("date"));
        if (!text || !date) {
            return std::nullopt;
        }
        const bool prepared = object.value(QLatin1String("source")) == QLatin1String("answers");
        return CallSuggestion { std::move(*text), *date,
            prepared ? stringMember(object, QLatin1String("question")).value_or(QString()) : QString() };
    });
}

QByteArray encodeQuotes(const QList<ProposalQuote>& quotes)
{
    QJsonArray array;
    for (const ProposalQuote& quote : quotes) {
        array.append(
            QJsonObject { { QStringLiteral("callID"), quote.callID }, { QStringLiteral("text"), quote.text } });
    }
    return encodeArray(array);
}

QList<ProposalQuote> decodeQuotes(const QByteArray& data)
{
    return decodeArray<ProposalQuote>(data, [](const QJsonObject& object) -> std::optional<ProposalQuote> {
        auto callID = stringMember(object, QLatin1String("callID"));
        auto text = stringMember(object, QLatin1String("text"));
        if (!callID || !text) {
            return std::nullopt;
        }
        return ProposalQuote { std::move(*callID), std::move(*text) };
    });
}

} // namespace blob
