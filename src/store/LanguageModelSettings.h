#pragma once

#include "model/Enums.h"
#include "store/Settings.h"

#include <functional>
#include <optional>

// Resolved afresh for every suggestion, summary or improvement run, then dropped.
struct SuggestionSettings {
    LLMProvider provider = LLMProvider::onDevice;
    QString model;
    QString prompt; // the system prompt for the selected assistant and context
    std::optional<QString> apiKey;
};

struct ImprovementSettings {
    LLMProvider provider = LLMProvider::claude; // claude or openai only
    QString model;
    std::optional<QString> apiKey;
};

namespace languageModelSettings {

// Reads the key of a cloud provider; nothing for onDevice. Replaceable in tests.
using KeyReader = std::function<std::optional<QString>(const QString& account)>;
KeyReader keychainReader();

// `systemPrompt` builds the prompt for the current selection (the suggestion prompt builder).
SuggestionSettings loadSuggestionSettings(const Settings& settings, const std::function<QString()>& systemPrompt,
    const KeyReader& readKey = keychainReader());

// Nothing unless "llmProvider" is exactly "claude" or "openai".
std::optional<ImprovementSettings> loadImprovementSettings(
    const Settings& settings, const KeyReader& readKey = keychainReader());

} // namespace languageModelSettings
