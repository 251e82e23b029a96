#pragma once

#include <QString>
#include <QUuid>

#include <optional>

namespace uuid {

// Canonical 36-character upper-case text, without braces.
QString toText(const QUuid& id);

// Parses canonical 36-character text in either case; anything else (braces, other lengths,
// the nil UUID's absence of meaning aside) gives nothing.
std::optional<QUuid> parse(const QString& text);

QUuid create();

} // namespace uuid
