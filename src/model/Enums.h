#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// Enumerations are stored and exchanged as their own names, never as numbers.

enum class AssistantTemplate { interview, projects, prospecting, blank };

namespace assistantTemplate {
QString rawText(AssistantTemplate value);
// Exact, case-sensitive match of the stored text.
std::optional<AssistantTemplate> parse(const QString& text);
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

enum class LLMProvider { onDevice, claude, openai };

namespace llmProvider {
QString rawText(LLMProvider value);
// "claude" and "openai" exactly; anything else is `onDevice`.
LLMProvider parseForSuggestions(const QString& text);
// "claude" and "openai" exactly; anything else is no provider.
std::optional<LLMProvider> parseCloud(const QString& text);
} // namespace llmProvider
