#include "app/settings/SuggestionSettingsView.h"

#include "app/widgets/AddressField.h"
#include "app/widgets/KeyField.h"
#include "app/widgets/ProviderPicker.h"
#include "settings/Settings.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

SuggestionSettingsView::SuggestionSettingsView(Settings& settings, Keychain& keychain, QWidget* parent)
    : QWidget(parent)
    , m_settings(&settings)
{
    setObjectName(QStringLiteral("suggestions"));
    auto* layout = new QVBoxLayout(this);
    m_form = new QFormLayout;
    layout->addLayout(m_form);
    layout->addStretch(1);

    m_provider = new ProviderPicker(settings, this);
    m_form->addRow(tr("Provider"), m_provider);

    // The on-device provider is a local server speaking the OpenAI protocol; its models are listed anew
    // whenever its address changes.
    m_serverRow = new QWidget(this);
    auto* serverLines = new QVBoxLayout(m_serverRow);
    serverLines->setContentsMargins(0, 0, 0, 0);
    auto* serverStatus = new QLabel(m_serverRow);
    serverStatus->setObjectName(QStringLiteral("serverAddressStatus"));
    m_serverAddress = new AddressField(settings, SettingKey::localModelURL, serverStatus, m_serverRow);
    m_serverAddress->setObjectName(QStringLiteral("serverAddress"));
    m_serverAddress->setAccessibleName(tr("Server address"));
    serverLines->addWidget(m_serverAddress);
    serverLines->addWidget(serverStatus);
    m_form->addRow(tr("Server address"), m_serverRow);

    m_model = new QLineEdit(this);
    m_model->setObjectName(QStringLiteral("model"));
    m_model->setAccessibleName(tr("Model"));
    m_form->addRow(tr("Model"), m_model);
    connect(m_model, &QLineEdit::returnPressed, this, &SuggestionSettingsView::saveModels);

    m_serverModels = new LocalModelPicker(settings, LocalModelPicker::Choices::listed, this);
    m_serverModels->setObjectName(QStringLiteral("serverModels"));
    m_serverModels->setAccessibleName(tr("Models on the server"));
    m_form->addRow(tr("Models on the server"), m_serverModels);
    m_form->setRowVisible(m_serverModels, false);
    // The picker stores the model it shows; the field shows it too.
    connect(m_serverModels, &QComboBox::activated, this,
        [this](int index) { m_model->setText(m_serverModels->itemText(index)); });
    connect(m_serverModels, &LocalModelPicker::listed, this, &SuggestionSettingsView::showServerModels);

    m_improvementModel = new QLineEdit(this);
    m_improvementModel->setObjectName(QStringLiteral("improvementModel"));
    m_improvementModel->setAccessibleName(tr("Improvement model"));
    m_form->addRow(tr("Improvement model"), m_improvementModel);
    connect(m_improvementModel, &QLineEdit::returnPressed, this, &SuggestionSettingsView::saveModels);

    m_keyStatus = new QLabel(this);
    m_keyStatus->setObjectName(QStringLiteral("apiKeyStatus"));
    m_apiKey = new KeyField(keychain, m_keyStatus, this);
    m_apiKey->setObjectName(QStringLiteral("apiKey"));
    m_apiKey->setAccessibleName(tr("API key"));
    m_form->addRow(tr("API key"), m_apiKey);
    m_form->addRow(m_keyStatus);
    connect(m_apiKey, &QLineEdit::returnPressed, m_apiKey, &KeyField::save);

    m_save = new QPushButton(tr("Save"), this);
    m_save->setAccessibleName(m_save->text());
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_save);
    m_form->addRow(buttons);
    connect(m_save, &QPushButton::clicked, this, &SuggestionSettingsView::save);

    m_keyNote = new QLabel(tr("The key is stored in the system keyring."), this);
    m_keyNote->setWordWrap(true);
    m_keyNote->setForegroundRole(QPalette::PlaceholderText);
    m_form->addRow(m_keyNote);

    connect(m_settings, &Settings::changed, this, [this](SettingKey key) {
        if (key == SettingKey::llmProvider && isVisible()) {
            load();
        } else if (key == SettingKey::localModelURL && isVisible() && shownProvider() == LLMProvider::onDevice) {
            m_form->setRowVisible(m_serverModels, false);
            m_serverModels->list();
        }
    });
}

void SuggestionSettingsView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Only a real opening of the tab (or the window) reloads: a restore from minimised is spontaneous,
    // and must not drop what the user typed and has not saved yet.
    if (!event->spontaneous()) {
        load();
    }
}

LLMProvider SuggestionSettingsView::shownProvider() const
{
    return llmProvider::parseForSuggestions(m_settings->llmProviderText());
}

void SuggestionSettingsView::load()
{
    const LLMProvider provider = shownProvider();
    const bool cloud = provider != LLMProvider::onDevice;
    m_provider->showStored();

    m_model->setText(m_settings->textOr(settingKey::llmModel(provider), QString()));
    // The local server's model is its first listed one unless a name is given; a server that lists an
    // embedding model first needs one.
    m_model->setPlaceholderText(cloud ? modelDefaults::suggestion(provider) : tr("First model the server lists"));
    m_improvementModel->setText(m_settings->textOr(settingKey::improvementModel(provider), QString()));
    m_improvementModel->setPlaceholderText(modelDefaults::improvement(provider).value_or(QString()));
    m_form->setRowVisible(m_serverRow, !cloud);
    m_form->setRowVisible(m_improvementModel, cloud);
    m_form->setRowVisible(m_apiKey, cloud);
    m_form->setRowVisible(m_keyNote, cloud);
    if (cloud) {
        m_apiKey->load(llmProvider::rawText(provider));
    } else {
        m_apiKey->clear();
        m_keyStatus->hide();
    }
    m_form->setRowVisible(m_serverModels, false);
    // An answer for the provider shown before is dropped.
    m_serverModels->drop();
    if (!cloud) {
        m_serverModels->list();
    }
}

void SuggestionSettingsView::showServerModels(const QStringList& models)
{
    m_serverModels->setCurrentIndex(models.indexOf(m_model->text()));
    m_form->setRowVisible(m_serverModels, !models.isEmpty() && shownProvider() == LLMProvider::onDevice);
    Q_EMIT serverModelsListed();
}

void SuggestionSettingsView::saveModels()
{
    const LLMProvider provider = shownProvider();
    // Stored as typed: the empty text means the provider's default.
    m_settings->setText(settingKey::llmModel(provider), m_model->text());
    if (provider != LLMProvider::onDevice) {
        m_settings->setText(settingKey::improvementModel(provider), m_improvementModel->text());
    }
}

void SuggestionSettingsView::save()
{
    saveModels();
    if (shownProvider() != LLMProvider::onDevice) {
        m_apiKey->save();
    }
}
