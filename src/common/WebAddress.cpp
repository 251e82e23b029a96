#include "common/WebAddress.h"

namespace webAddress {

std::optional<QUrl> parse(const QString& text)
{
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    if (!url.isValid() || (url.scheme() != u"https" && url.scheme() != u"http") || url.host().isEmpty()) {
        return std::nullopt;
    }
    return url;
}

} // namespace webAddress
