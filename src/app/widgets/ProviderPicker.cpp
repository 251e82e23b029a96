#include "app/widgets/ProviderPicker.h"

#include "llm/LocalModels.h"
#include "settings/Settings.h"

#include <QNetworkAccessManager>

namespace {

constexpr LLMProvider providers[] = { LLMProvider::onDevice, LLMProvider::claude, LLMProvider::openai };

} // namespace

ProviderPicker::ProviderPicker(Settings& settings, QWidget* parent)
    : QComboBox(parent)
    , m_settings(&settings)
{
    setObjectName(QStringLiteral("provider"));
    for (const LLMProvider provider : providers) {
        addItem(llmProvider::label(provider), llmProvider::rawText(provider));
    }
    setAccessibleName(tr("Provider"));
    showStored();
    connect(this, &QComboBox::activated, this,
        [this](int index) { m_settings->setText(SettingKey::llmProvider, itemData(index).toString()); });
    connect(m_settings, &Settings::changed, this, [this](SettingKey key) {
        if (key == SettingKey::llmProvider) {
            showStored();
        }
    });
}

void ProviderPicker::showStored()
{
    setCurrentIndex(static_cast<int>(m_settings->llmProvider()));
}

LocalModelPicker::LocalModelPicker(Settings& settings, Choices choices, QWidget* parent)
    : QComboBox(parent)
    , m_settings(&settings)
    , m_choices(choices)
{
    connect(this, &QComboBox::activated, this,
        [this](int index) { m_settings->setText(SettingKey::llmModelOnDevice, itemData(index).toString()); });
}

void LocalModelPicker::list()
{
    drop();
    if (!m_network) {
        m_network = new QNetworkAccessManager(this);
    }
    QObject* listing = m_listing = new QObject(this);
    localModels::list(
        *m_network, m_settings->localModelURL(), m_timeout, listing, [this, listing](const QStringList& models) {
            if (listing != m_listing) {
                return;
            }
            drop();
            showModels(models);
            Q_EMIT listed(models);
        });
}

void LocalModelPicker::drop()
{
    // Deleted later, as the answer that ends a listing is delivered inside the listing's own callback; an
    // answer that comes before then is no longer the listing's own.
    if (m_listing) {
        m_listing->deleteLater();
        m_listing = nullptr;
    }
}

void LocalModelPicker::showModels(const QStringList& models)
{
    const QString chosen = m_settings->textOr(SettingKey::llmModelOnDevice, QString());
    clear();
    if (m_choices == Choices::withServerDefault) {
        addItem(tr("First model the server lists"), QString());
    }
    for (const QString& model : models) {
        addItem(model, model);
    }
    if (m_choices == Choices::withServerDefault) {
        if (!chosen.isEmpty() && !models.contains(chosen)) {
            addItem(chosen, chosen);
        }
        setCurrentIndex(std::max(0, findData(chosen)));
    } else {
        setCurrentIndex(findData(chosen));
    }
}
