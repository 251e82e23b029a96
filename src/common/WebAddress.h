#pragma once

#include <QString>
#include <QUrl>

#include <optional>

namespace webAddress {

// `text`, white space around it ignored, as an http or https address with a host; nothing for
// anything else (another scheme, no host, not an address at all).
std::optional<QUrl> parse(const QString& text);

} // namespace webAddress
