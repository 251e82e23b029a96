#include "store/LanguageModelSettings.h"

#include "store/Keychain.h"

namespace languageModelSettings {

KeyReader keychainReader()
{
    return [](const QString& account) { return keychain::read(account); };
}

SuggestionSettings loadSuggestionSettings(
    const Settings& settings, const std::function<QString()>& systemPrompt, const KeyReader& readKey)
{
    SuggestionSettings resolved;
    resolved.provider = llmProvider::parseForSuggestions(settings.llmProviderText());
    resolved.model = settings.suggestionModel(resolved.provider);
    resolved.prompt = systemPrompt ? systemPrompt() : QString();
    if (resolved.provider != LLMProvider::onDevice) {
        resolved.apiKey = readKey(llmProvider::rawText(resolved.provider));
    }
    return resolved;
}

std::optional<ImprovementSettings> loadImprovementSettings(const Settings& settings, const KeyReader& readKey)
{
    const auto provider = llmProvider::parseCloud(settings.text(settingsKey::llmProvider, QString()));
    if (!provider) {
        return std::nullopt;
    }
    ImprovementSettings resolved;
    resolved.provider = *provider;
    resolved.model = settings.improvementModel(*provider);
    resolved.apiKey = readKey(llmProvider::rawText(*provider));
    return resolved;
}

} // namespace languageModelSettings
