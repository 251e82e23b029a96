#pragma once

#include <QString>

#include <optional>

enum class ReplyLanguage { portuguese, english };

namespace languageIdentifier {

// The more probable of Portuguese and English for `text` (libexttextcat with only those two
// fingerprints), or nothing when the text gives the classifier nothing to weigh.
std::optional<ReplyLanguage> identify(const QString& text);

} // namespace languageIdentifier
