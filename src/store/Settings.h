#pragma once

#include "model/Enums.h"

#include <QSettings>
#include <QString>

#include <memory>
#include <optional>

// Settings keys, exactly as stored.
namespace settingsKey {
inline const QString llmProvider = QStringLiteral("llmProvider");
inline const QString llmModelPrefix = QStringLiteral("llmModel.");
inline const QString improvementModelPrefix = QStringLiteral("improvementModel.");
inline const QString transcriptionEngine = QStringLiteral("transcriptionEngine");
inline const QString windowOpacity = QStringLiteral("windowOpacity");
inline const QString isAlwaysOnTop = QStringLiteral("isAlwaysOnTop");
inline const QString hideFromScreenShare = QStringLiteral("hideFromScreenShare");
inline const QString autoScroll = QStringLiteral("autoScroll");
inline const QString selectedAssistant = QStringLiteral("selectedAssistant");
inline const QString selectedContext = QStringLiteral("selectedContext");
inline const QString assistantsWindowSelection = QStringLiteral("assistantsWindowSelection");
inline const QString assistantTab = QStringLiteral("assistantTab");
inline const QString contextTab = QStringLiteral("contextTab");
inline const QString onboardingDone = QStringLiteral("onboardingDone");
inline const QString assistantsMigrated = QStringLiteral("assistantsMigrated");
inline const QString suggestionPrompt = QStringLiteral("suggestionPrompt");
inline const QString callNotes = QStringLiteral("callNotes");
inline const QString anthropicBaseURL = QStringLiteral("anthropicBaseURL");
inline const QString openaiBaseURL = QStringLiteral("openaiBaseURL");
inline const QString localModelURL = QStringLiteral("localModelURL");
inline const QString speechLocale = QStringLiteral("speechLocale");
inline const QString updateFeedURL = QStringLiteral("updateFeedURL");
} // namespace settingsKey

// The per-user settings store (QSettings, organisation "Vessaro", application "Quillora").
// Build one for each use and drop it: nothing is cached beyond what QSettings itself shares.
// A key that was never written reads as its default.
class Settings {
public:
    // The application's own settings file (~/.config/Vessaro/Quillora.conf).
    Settings();
    // Another backing store, for tests and tools; not owned.
    explicit Settings(QSettings& backing);

    // Plain typed access. `text` gives nothing for an absent key.
    std::optional<QString> text(const QString& key) const;
    QString text(const QString& key, const QString& fallback) const;
    bool boolean(const QString& key, bool fallback) const;
    double number(const QString& key, double fallback) const;
    void setText(const QString& key, const QString& value);
    void setBoolean(const QString& key, bool value);
    void setNumber(const QString& key, double value);
    void remove(const QString& key);
    bool contains(const QString& key) const;

    QString llmProviderText() const { return text(settingsKey::llmProvider, QStringLiteral("onDevice")); }
    // "llmModel.<provider>" when set and not empty, else the provider's suggestion default.
    QString suggestionModel(LLMProvider provider) const;
    // "improvementModel.<provider>" when set and not empty, else the provider's improvement default.
    QString improvementModel(LLMProvider provider) const;
    QString transcriptionEngine() const { return text(settingsKey::transcriptionEngine, QStringLiteral("apple")); }
    double windowOpacity() const { return number(settingsKey::windowOpacity, 1.0); }
    bool isAlwaysOnTop() const { return boolean(settingsKey::isAlwaysOnTop, true); }
    bool hideFromScreenShare() const { return boolean(settingsKey::hideFromScreenShare, true); }
    bool autoScroll() const { return boolean(settingsKey::autoScroll, true); }
    QString selectedAssistant() const { return text(settingsKey::selectedAssistant, QString()); }
    std::optional<QString> selectedContext() const { return text(settingsKey::selectedContext); }
    QString assistantsWindowSelection() const { return text(settingsKey::assistantsWindowSelection, QString()); }
    QString assistantTab() const { return text(settingsKey::assistantTab, QStringLiteral("general")); }
    QString contextTab() const { return text(settingsKey::contextTab, QStringLiteral("general")); }
    bool onboardingDone() const { return boolean(settingsKey::onboardingDone, false); }
    bool assistantsMigrated() const { return boolean(settingsKey::assistantsMigrated, false); }
    QString anthropicBaseURL() const
    {
        return text(settingsKey::anthropicBaseURL, QStringLiteral("https://api.anthropic.com"));
    }
    QString openaiBaseURL() const { return text(settingsKey::openaiBaseURL, QStringLiteral("https://api.openai.com")); }
    QString localModelURL() const
    {
        return text(settingsKey::localModelURL, QStringLiteral("http://127.0.0.1:11434/v1"));
    }
    QString speechLocale() const { return text(settingsKey::speechLocale, QString()); }
    QString updateFeedURL() const { return text(settingsKey::updateFeedURL, QString()); }

    QSettings& backing() { return *m_settings; }

private:
    std::unique_ptr<QSettings> m_owned;
    QSettings* m_settings;
};

// Default model identifiers when the model key is missing or empty.
namespace modelDefaults {
QString suggestion(LLMProvider provider);
// Nothing for onDevice: improvements need a cloud provider.
std::optional<QString> improvement(LLMProvider provider);
} // namespace modelDefaults
