#pragma once

#include <QString>
#include <QUuid>

#include <optional>

// The assistant or context the window shows, as the sidebar selection is stored:
// "a:" + assistant UUID or "c:" + context UUID.
struct ShownRecord {
    enum class Kind { assistant, context };

    Kind kind = Kind::assistant;
    QUuid id;

    // Nothing unless the text splits at its first ":" into a known prefix and a valid UUID.
    static std::optional<ShownRecord> parse(const QString& text);
    QString text() const;
    bool isAssistant() const { return kind == Kind::assistant; }

    bool operator==(const ShownRecord&) const = default;
};
