#pragma once

#include "records/Enums.h"

#include <QObject>
#include <QSettings>
#include <QString>
#include <QVariant>

#include <memory>
#include <optional>

// Every settings key. The stored names and defaults are in one table (Settings.cpp).
enum class SettingKey {
    llmProvider,
    llmModelOnDevice,
    llmModelClaude,
    llmModelOpenAI,
    improvementModelOnDevice,
    improvementModelClaude,
    improvementModelOpenAI,
    transcriptionEngine,
    windowOpacity,
    isAlwaysOnTop,
    hideFromScreenShare,
    autoScroll,
    selectedAssistant,
    selectedContext,
    assistantsWindowSelection,
    assistantTab,
    contextTab,
    onboardingDone,
    assistantsMigrated,
    suggestionPrompt,
    callNotes,
    anthropicBaseURL,
    openaiBaseURL,
    localModelURL,
    speechLocale,
    updateFeedURL,
    speechModelListURL,
    whisperModel,
};

namespace settingKey {
// Every key, in declaration order.
const QList<SettingKey>& all();
// The name the key is stored under, exactly.
QString storedName(SettingKey key);
// The value a key that was never written reads as; invalid for keys that read as absent.
QVariant defaultValue(SettingKey key);
// "llmModel." / "improvementModel." + the provider's stored text.
SettingKey llmModel(LLMProvider provider);
SettingKey improvementModel(LLMProvider provider);
} // namespace settingKey

// The one per-user settings store of the desktop app (QSettings, organisation "Vessaro",
// application "Quillora"), created once and handed to whoever needs it. Values are read afresh
// from the backing store at each call; setters announce `changed`, so a window and a service see a
// change made elsewhere in the app at once. Main thread only.
class Settings : public QObject {
    Q_OBJECT

public:
    // The application's own settings file (~/.config/Vessaro/Quillora.conf).
    explicit Settings(QObject* parent = nullptr);
    // A file of its own in INI format, for tests and tools.
    Settings(const QString& iniPath, QObject* parent);

    // Plain typed access. `text` gives nothing for an absent key.
    std::optional<QString> text(SettingKey key) const;
    QString textOr(SettingKey key, const QString& fallback) const;
    bool boolean(SettingKey key) const;
    double number(SettingKey key) const;
    bool contains(SettingKey key) const;

    void setText(SettingKey key, const QString& value);
    void setBoolean(SettingKey key, bool value);
    void setNumber(SettingKey key, double value);
    void remove(SettingKey key);

    QString llmProviderText() const { return textOr(SettingKey::llmProvider, QString()); }
    LLMProvider llmProvider() const { return llmProvider::parseForSuggestions(llmProviderText()); }
    // "llmModel.<provider>" when set and not empty, else the provider's suggestion default.
    QString suggestionModel(LLMProvider provider) const;
    // "improvementModel.<provider>" when set and not empty, else the provider's improvement default.
    QString improvementModel(LLMProvider provider) const;
    QString transcriptionEngineText() const { return textOr(SettingKey::transcriptionEngine, QString()); }
    double windowOpacity() const { return number(SettingKey::windowOpacity); }
    bool isAlwaysOnTop() const { return boolean(SettingKey::isAlwaysOnTop); }
    bool hideFromScreenShare() const { return boolean(SettingKey::hideFromScreenShare); }
    bool autoScroll() const { return boolean(SettingKey::autoScroll); }
    QString selectedAssistant() const { return textOr(SettingKey::selectedAssistant, QString()); }
    std::optional<QString> selectedContext() const { return text(SettingKey::selectedContext); }
    QString assistantsWindowSelection() const { return textOr(SettingKey::assistantsWindowSelection, QString()); }
    QString assistantTab() const { return textOr(SettingKey::assistantTab, QString()); }
    QString contextTab() const { return textOr(SettingKey::contextTab, QString()); }
    bool onboardingDone() const { return boolean(SettingKey::onboardingDone); }
    bool assistantsMigrated() const { return boolean(SettingKey::assistantsMigrated); }
    QString anthropicBaseURL() const { return textOr(SettingKey::anthropicBaseURL, QString()); }
    QString openaiBaseURL() const { return textOr(SettingKey::openaiBaseURL, QString()); }
    QString localModelURL() const { return textOr(SettingKey::localModelURL, QString()); }
    QString speechLocale() const { return textOr(SettingKey::speechLocale, QString()); }
    QString updateFeedURL() const { return textOr(SettingKey::updateFeedURL, QString()); }
    // The Whisper model list's address; empty means the built-in list.
    QString speechModelListURL() const { return textOr(SettingKey::speechModelListURL, QString()); }
    // The installed Whisper model's file name the engine uses; empty means any installed one.
    QString whisperModel() const { return textOr(SettingKey::whisperModel, QString()); }

    // Keys that are not among the design's settings (window geometry and the like), by name.
    QVariant extra(const QString& name) const;
    void setExtra(const QString& name, const QVariant& value);

Q_SIGNALS:
    // A setter of this object changed the stored value of `key`.
    void changed(SettingKey key);

private:
    QVariant stored(SettingKey key) const;
    void store(SettingKey key, const QVariant& value);

    std::unique_ptr<QSettings> m_settings;
};

// Default model identifiers when the model key is missing or empty.
namespace modelDefaults {
QString suggestion(LLMProvider provider);
// Nothing for onDevice: improvements need a cloud provider.
std::optional<QString> improvement(LLMProvider provider);
} // namespace modelDefaults
