#pragma once

#include "records/Enums.h"
#include "settings/Settings.h"

#include <QCoroTask>

#include <functional>
#include <optional>

class Keychain;

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

// Reads the key of a cloud provider without holding up the main thread. Replaceable in tests.
using KeyReader = std::function<QCoro::Task<std::optional<QString>>(const QString& account)>;
// Reads through `keychain`; nothing once it is gone.
KeyReader keychainReader(Keychain* keychain);

// Everything but the key is read before the first suspension, so `settings` need only live
// until this returns its task. `systemPrompt` builds the prompt for the current selection.
QCoro::Task<SuggestionSettings> loadSuggestionSettings(
    const Settings& settings, const std::function<QString()>& systemPrompt, KeyReader readKey);

// Nothing unless "llmProvider" is exactly "claude" or "openai".
QCoro::Task<std::optional<ImprovementSettings>> loadImprovementSettings(const Settings& settings, KeyReader readKey);

} // namespace languageModelSettings
