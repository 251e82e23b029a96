#include "settings/Settings.h"

#include "common/PrivateFiles.h"

#include <QFileInfo>

#include <array>

namespace {

struct KeyInfo {
    SettingKey key;
    const char16_t* name;
    QVariant fallback; // invalid: the key reads as absent
};

// The stored name and default of every key, in the order of the enumeration.
const std::array<KeyInfo, 28>& table()
{
    static const std::array<KeyInfo, 28> keys { {
        { SettingKey::llmProvider, u"llmProvider", QStringLiteral("onDevice") },
        { SettingKey::llmModelOnDevice, u"llmModel.onDevice", {} },
        { SettingKey::llmModelClaude, u"llmModel.claude", {} },
        { SettingKey::llmModelOpenAI, u"llmModel.openai", {} },
        { SettingKey::improvementModelOnDevice, u"improvementModel.onDevice", {} },
        { SettingKey::improvementModelClaude, u"improvementModel.claude", {} },
        { SettingKey::improvementModelOpenAI, u"improvementModel.openai", {} },
        { SettingKey::transcriptionEngine, u"transcriptionEngine", QStringLiteral("apple") },
        { SettingKey::windowOpacity, u"windowOpacity", 1.0 },
        { SettingKey::isAlwaysOnTop, u"isAlwaysOnTop", true },
        { SettingKey::hideFromScreenShare, u"hideFromScreenShare", true },
        { SettingKey::autoScroll, u"autoScroll", true },
        { SettingKey::selectedAssistant, u"selectedAssistant", QString() },
        { SettingKey::selectedContext, u"selectedContext", {} },
        { SettingKey::assistantsWindowSelection, u"assistantsWindowSelection", QString() },
        { SettingKey::assistantTab, u"assistantTab", QStringLiteral("general") },
        { SettingKey::contextTab, u"contextTab", QStringLiteral("general") },
        { SettingKey::onboardingDone, u"onboardingDone", false },
        { SettingKey::assistantsMigrated, u"assistantsMigrated", false },
        { SettingKey::suggestionPrompt, u"suggestionPrompt", {} },
        { SettingKey::callNotes, u"callNotes", {} },
        { SettingKey::anthropicBaseURL, u"anthropicBaseURL", QStringLiteral("https://api.anthropic.com") },
        { SettingKey::openaiBaseURL, u"openaiBaseURL", QStringLiteral("https://api.openai.com") },
        { SettingKey::localModelURL, u"localModelURL", QStringLiteral("http://127.0.0.1:11434/v1") },
        { SettingKey::speechLocale, u"speechLocale", QString() },
        { SettingKey::updateFeedURL, u"updateFeedURL", QString() },
        { SettingKey::speechModelListURL, u"speechModelListURL", QString() },
        { SettingKey::whisperModel, u"whisperModel", QString() },
    } };
    return keys;
}

const KeyInfo& info(SettingKey key)
{
    return table().at(static_cast<std::size_t>(key));
}

} // namespace

namespace settingKey {

const QList<SettingKey>& all()
{
    static const QList<SettingKey> keys = [] {
        QList<SettingKey> out;
        for (const KeyInfo& entry : table()) {
            out.append(entry.key);
        }
        return out;
    }();
    return keys;
}

QString storedName(SettingKey key)
{
    return QString::fromUtf16(info(key).name);
}

QVariant defaultValue(SettingKey key)
{
    return info(key).fallback;
}

SettingKey llmModel(LLMProvider provider)
{
    switch (provider) {
    case LLMProvider::onDevice: return SettingKey::llmModelOnDevice;
    case LLMProvider::claude: return SettingKey::llmModelClaude;
    case LLMProvider::openai: return SettingKey::llmModelOpenAI;
    }
    return SettingKey::llmModelOnDevice;
}

SettingKey improvementModel(LLMProvider provider)
{
    switch (provider) {
    case LLMProvider::onDevice: return SettingKey::improvementModelOnDevice;
    case LLMProvider::claude: return SettingKey::improvementModelClaude;
    case LLMProvider::openai: return SettingKey::improvementModelOpenAI;
    }
    return SettingKey::improvementModelOnDevice;
}

} // namespace settingKey

namespace {

// The settings name the selected assistant and context and hold call notes: the file and its folder
// are the user's only. A rewrite keeps the file's permissions.
void keepPrivate(const QString& file)
{
    privateFiles::ensureFolder(QFileInfo(file).path());
    privateFiles::ensureFile(file);
}

} // namespace

Settings::Settings(QObject* parent)
    : QObject(parent)
    , m_settings(std::make_unique<QSettings>(QStringLiteral("Vessaro"), QStringLiteral("Quillora")))
{
    keepPrivate(m_settings->fileName());
}

Settings::Settings(const QString& iniPath, QObject* parent)
    : QObject(parent)
    , m_settings(std::make_unique<QSettings>(iniPath, QSettings::IniFormat))
{
    keepPrivate(iniPath);
}

QVariant Settings::stored(SettingKey key) const
{
    return m_settings->value(settingKey::storedName(key));
}

void Settings::store(SettingKey key, const QVariant& value)
{
    const QString name = settingKey::storedName(key);
    const QVariant before = m_settings->value(name);
    m_settings->setValue(name, value);
    if (before != value) {
        Q_EMIT changed(key);
    }
}

std::optional<QString> Settings::text(SettingKey key) const
{
    const QVariant value = stored(key);
    if (value.isValid()) {
        return value.toString();
    }
    const QVariant fallback = settingKey::defaultValue(key);
    return fallback.isValid() ? std::optional(fallback.toString()) : std::nullopt;
}

QString Settings::textOr(SettingKey key, const QString& fallback) const
{
    return text(key).value_or(fallback);
}

bool Settings::boolean(SettingKey key) const
{
    const QVariant value = stored(key);
    return value.isValid() ? value.toBool() : settingKey::defaultValue(key).toBool();
}

double Settings::number(SettingKey key) const
{
    bool ok = false;
    const double value = stored(key).toDouble(&ok);
    return ok ? value : settingKey::defaultValue(key).toDouble();
}

bool Settings::contains(SettingKey key) const
{
    return m_settings->contains(settingKey::storedName(key));
}

void Settings::setText(SettingKey key, const QString& value)
{
    store(key, value);
}

void Settings::setBoolean(SettingKey key, bool value)
{
    store(key, value);
}

void Settings::setNumber(SettingKey key, double value)
{
    store(key, value);
}

void Settings::remove(SettingKey key)
{
    if (contains(key)) {
        m_settings->remove(settingKey::storedName(key));
        Q_EMIT changed(key);
    }
}

QVariant Settings::extra(const QString& name) const
{
    return m_settings->value(name);
}

void Settings::setExtra(const QString& name, const QVariant& value)
{
    m_settings->setValue(name, value);
}

QString Settings::suggestionModel(LLMProvider provider) const
{
    const QString stored = textOr(settingKey::llmModel(provider), QString());
    return stored.isEmpty() ? modelDefaults::suggestion(provider) : stored;
}

QString Settings::improvementModel(LLMProvider provider) const
{
    const QString stored = textOr(settingKey::improvementModel(provider), QString());
    return stored.isEmpty() ? modelDefaults::improvement(provider).value_or(QString()) : stored;
}

namespace modelDefaults {

QString suggestion(LLMProvider provider)
{
    switch (provider) {
    case LLMProvider::onDevice: return {};
    case LLMProvider::claude: return QStringLiteral("claude-haiku-5-5");
    case LLMProvider::openai: return QStringLiteral("gpt-5.4-mini");
    }
    return {};
}

std::optional<QString> improvement(LLMProvider provider)
{
    switch (provider) {
    case LLMProvider::onDevice: return std::nullopt;
    case LLMProvider::claude: return QStringLiteral("claude-opus-5-5");
    case LLMProvider::openai: return QStringLiteral("gpt-5.6-sol");
    }
    return std::nullopt;
}

} // namespace modelDefaults
