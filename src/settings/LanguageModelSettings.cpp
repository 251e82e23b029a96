#include "settings/LanguageModelSettings.h"

#include "settings/Keychain.h"

#include <QPointer>

namespace languageModelSettings {

KeyReader keychainReader(Keychain* keychain)
{
    return [owner = QPointer<Keychain>(keychain)](const QString& account) -> QCoro::Task<std::optional<QString>> {
        if (!owner) {
            co_return std::nullopt;
        }
        // Awaited into a local first: g++ 12 mishandles `co_return co_await`.
        std::optional<QString> key = co_await owner->read(account);
        co_return key;
    };
}

QCoro::Task<SuggestionSettings> loadSuggestionSettings(
    const Settings& settings, const std::function<QString()>& systemPrompt, KeyReader readKey)
{
    SuggestionSettings resolved;
    resolved.provider = settings.llmProvider();
    resolved.model = settings.suggestionModel(resolved.provider);
    resolved.prompt = systemPrompt ? systemPrompt() : QString();
    if (resolved.provider != LLMProvider::onDevice && readKey) {
        resolved.apiKey = co_await readKey(llmProvider::rawText(resolved.provider));
    }
    co_return resolved;
}

QCoro::Task<std::optional<ImprovementSettings>> loadImprovementSettings(const Settings& settings, KeyReader readKey)
{
    const auto provider = llmProvider::parseCloud(settings.llmProviderText());
    if (!provider) {
        co_return std::nullopt;
    }
    ImprovementSettings resolved;
    resolved.provider = *provider;
    resolved.model = settings.improvementModel(*provider);
    if (readKey) {
        resolved.apiKey = co_await readKey(llmProvider::rawText(*provider));
    }
    co_return resolved;
}

} // namespace languageModelSettings
