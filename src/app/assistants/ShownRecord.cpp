#include "app/assistants/ShownRecord.h"

#include "common/Uuid.h"

std::optional<ShownRecord> ShownRecord::parse(const QString& text)
{
    const qsizetype colon = text.indexOf(u':');
    if (colon < 0) {
        return std::nullopt;
    }
    const QStringView prefix = QStringView(text).left(colon);
    const std::optional<QUuid> id = uuid::parse(text.mid(colon + 1));
    if (!id) {
        return std::nullopt;
    }
    if (prefix == u"a") {
        return ShownRecord { Kind::assistant, *id };
    }
    if (prefix == u"c") {
        return ShownRecord { Kind::context, *id };
    }
    return std::nullopt;
}

QString ShownRecord::text() const
{
    return (isAssistant() ? QStringLiteral("a:") : QStringLiteral("c:")) + uuid::toText(id);
}
