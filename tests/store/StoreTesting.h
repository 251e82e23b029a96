#pragma once

// Small builders shared by the store tests.

#include "common/Dates.h"
#include "common/Uuid.h"
#include "records/Records.h"

#include <QByteArray>
#include <QFile>
#include <QString>

namespace storeTesting {

// A fixed instant plus `seconds`, so sorted fetches have a known order.
inline QDateTime instant(double seconds)
{
    return dates::fromReferenceSeconds(760000000.0 + seconds);
}

inline Call makeCall(
    const std::optional<QUuid>& assistant, double startSeconds, const std::optional<QUuid>& context = std::nullopt)
{
    Call call;
    call.id = uuid::create();
    call.startedAt = instant(startSeconds);
    call.endedAt = instant(startSeconds + 90);
    call.assistant = assistant;
    call.context = context;
    call.linesData = blob::encodeLines({ { true, QStringLiteral("Hello"), instant(startSeconds + 1) } });
    call.suggestionsData = blob::encodeSuggestions({});
    call.summary = QStringLiteral("call at %1").arg(startSeconds);
    return call;
}

inline Assistant makeAssistant(const QString& name, double createdSeconds)
{
    Assistant assistant = Assistant::make(name, AssistantTemplate::interview);
    assistant.createdAt = instant(createdSeconds);
    return assistant;
}

inline QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace storeTesting
