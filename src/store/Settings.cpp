#include "store/Settings.h"

Settings::Settings()
    : m_owned(std::make_unique<QSettings>(QStringLiteral("Vessaro"), QStringLiteral("Quillora")))
    , m_settings(m_owned.get())
{
}

Settings::Settings(QSettings& backing)
    : m_settings(&backing)
{
}

std::optional<QString> Settings::text(const QString& key) const
{
    const QVariant value = m_settings->value(key);
    if (!value.isValid()) {
        return std::nullopt;
    }
    return value.toString();
}

QString Settings::text(const QString& key, const QString& fallback) const
{
    return text(key).value_or(fallback);
}

bool Settings::boolean(const QString& key, bool fallback) const
{
    const QVariant value = m_settings->value(key);
    return value.isValid() ? value.toBool() : fallback;
}

double Settings::number(const QString& key, double fallback) const
{
    const QVariant value = m_settings->value(key);
    bool ok = false;
    const double number = value.toDouble(&ok);
    return ok ? number : fallback;
}

void Settings::setText(const QString& key, const QString& value)
{
    m_settings->setValue(key, value);
}

void Settings::setBoolean(const QString& key, bool value)
{
    m_settings->setValue(key, value);
}

void Settings::setNumber(const QString& key, double value)
{
    m_settings->setValue(key, value);
}

void Settings::remove(const QString& key)
{
    m_settings->remove(key);
}

bool Settings::contains(const QString& key) const
{
    return m_settings->contains(key);
}

QString Settings::suggestionModel(LLMProvider provider) const
{
    const QString stored = text(settingsKey::llmModelPrefix + llmProvider::rawText(provider), QString());
    return stored.isEmpty() ? modelDefaults::suggestion(provider) : stored;
}

QString Settings::improvementModel(LLMProvider provider) const
{
    const QString stored = text(settingsKey::improvementModelPrefix + llmProvider::rawText(provider), QString());
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
