#pragma once

#include "records/Records.h"
#include "suggestions/LanguageIdentifier.h"

#include <QString>

#include <optional>
#include <span>

// Finds the prepared answer of an assistant's Q&A bank that a line of the other person asks for,
// so it can be shown at once, before the model's reply. A pure function over the words: both texts
// are normalised as everywhere in the app (case, accents, punctuation), each word is cut to a short
// stem so that "expecting", "expectations" and "expectativa" meet, and every stem weighs by how rare
// it is among the bank's questions; the function words of either language count only a little.
// The score is the cosine of the two weighted word sets, lowered for an item in the other language
// when the line's language is known.
namespace qaMatch {

// Chosen on the labelled set in tests/data/qa (precision 0.97, recall 0.74 there), above the scores
// where wrong items start to crowd in: a wrong answer shown at once costs the user more than a missing
// one, since the model's reply follows anyway.
inline constexpr double threshold = 0.40;

struct Match {
    QAItem item;
    double score = 0;
};

// The item whose question the line asks best, when its score reaches `minimum`. Items without a
// question or an answer are left out, as they are from suggestions; of equal scores the earlier
// item wins.
std::optional<Match> best(const QString& question, std::span<const QAItem> items,
    std::optional<ReplyLanguage> lineLanguage = std::nullopt, double minimum = threshold);

} // namespace qaMatch
