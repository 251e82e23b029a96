#pragma once

#include <QHashFunctions>
#include <QString>
#include <QStringList>

#include <optional>

// Enumerations are stored and exchanged as their own names, never as numbers.

enum class AssistantTemplate { interview, projects, prospecting, blank };

namespace assistantTemplate {
QString rawText(AssistantTemplate value);
// Exact, case-sensitive match of the stored text.
std::optional<AssistantTemplate> parse(const QString& text);
// The template's name as the user sees it, in the user's language: the menu entry and a new assistant's name.
QString title(AssistantTemplate value);
QString defaultInstructions(AssistantTemplate value);
QStringList stages(AssistantTemplate value);
} // namespace assistantTemplate

enum class CallOutcome { none, positive, negative };

namespace callOutcome {
// `none` is stored as the empty text.
QString rawText(CallOutcome value);
// Any text other than the three stored texts reads as `none`.
CallOutcome parse(const QString& text);
// The words a caller names an outcome with: "positive", "negative" or "none"; nothing otherwise.
std::optional<CallOutcome> parseName(const QString& text);
} // namespace callOutcome

// The languages of prepared answers and transcription: their stored codes.
namespace language {
inline const QString portuguese = QStringLiteral("pt");
inline const QString english = QStringLiteral("en");
// Both codes, Portuguese first.
QStringList codes();
// A Q&A item's language: one of the codes, or empty for none.
bool isStoredLanguage(const QString& text);
} // namespace language

enum class ProposalKind { newQA, editQA, style, instruction };

namespace proposalKind {
QString rawText(ProposalKind value);
// Any other text reads as `newQA`.
ProposalKind parse(const QString& text);
// Exact match only; nothing for any other text.
std::optional<ProposalKind> parseStrict(const QString& text);
} // namespace proposalKind

// Who said a line: the user (the microphone) or the other person (the system audio).
enum class Speaker { me, them };

namespace speaker {
// Stored raw values: "You" for me, "Them" for them.
QString rawText(Speaker value);
// Transcript rendering for prompts and files: "You" for me, "Other" for them.
QString label(Speaker value);
// The label the windows show before a line: the raw texts, in the user's language.
QString shownLabel(Speaker value);
} // namespace speaker

inline size_t qHash(Speaker key, size_t seed = 0)
{
    return ::qHash(static_cast<int>(key), seed);
}

enum class LLMProvider { onDevice, claude, openai };

namespace llmProvider {
QString rawText(LLMProvider value);
// The name the settings and the guide show for the provider.
QString label(LLMProvider value);
// "claude" and "openai" exactly; anything else is `onDevice`.
LLMProvider parseForSuggestions(const QString& text);
// "claude" and "openai" exactly; anything else is no provider.
std::optional<LLMProvider> parseCloud(const QString& text);
} // namespace llmProvider
