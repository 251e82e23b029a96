#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

enum class ReplyLanguage { portuguese, english };

// Tells Portuguese from English in what the other person says, including the short questions that
// general-purpose classifiers get wrong. Evidence is a signed number: positive leans Portuguese,
// negative English. Pure functions over one fixed table.
namespace languageIdentifier {

// Evidence at which a clause, a line or a line with the ones before it counts as settled.
inline constexpr double enoughEvidence = 3.0;
// Earlier lines read at most when the last one is not enough.
inline constexpr qsizetype maxEarlierLines = 12;

// The evidence of every word in `text`: known words of either language by their weight, other
// words by the letters and letter sequences each language writes (a name counts for little).
double evidence(QStringView text);

// The more probable of Portuguese and English for `text`. Its clauses are read from the last one
// backwards, so a closing question decides over an opening "ok" or "great"; when the whole line is
// not enough, `earlierLines` (the same speaker's previous lines, oldest first) are read newest
// first. Nothing for text without a letter or digit, or when no word leans either way.
std::optional<ReplyLanguage> identify(QStringView text, const QStringList& earlierLines = {});

} // namespace languageIdentifier
