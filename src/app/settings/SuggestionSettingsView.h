#pragma once

#include "app/widgets/ProviderPicker.h"
#include "records/Enums.h"

#include <QPointer>
#include <QWidget>

class AddressField;
class KeyField;
class Keychain;
class QComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class Settings;

// The "Suggestions" tab: the language model provider, its models and its API key, and the local
// server's address for the on-device provider. The fields show the stored values of the chosen
// provider, read again each time the tab is opened and whenever the provider changes, so unsaved edits
// of another provider's fields are dropped; restoring a minimised window keeps them.
class SuggestionSettingsView : public QWidget {
    Q_OBJECT

public:
    SuggestionSettingsView(Settings& settings, Keychain& keychain, QWidget* parent = nullptr);

    // The local model server's address, for the on-device provider.
    // The models the local server lists, to pick the on-device model from; hidden until it answers.

    // Reads the chosen provider's stored models and key into the fields.
    void load();

Q_SIGNALS:
    // The local server's model list came back, or did not within the time.
    void serverModelsListed();

protected:
    void showEvent(QShowEvent* event) override;

private:
    LLMProvider shownProvider() const;
    void saveModels();
    void showServerModels(const QStringList& models);
    void save();

    QPointer<Settings> m_settings;
    QFormLayout* m_form = nullptr;
    ProviderPicker* m_provider = nullptr;
    QWidget* m_serverRow = nullptr;
    AddressField* m_serverAddress = nullptr;
    QLineEdit* m_model = nullptr;
    LocalModelPicker* m_serverModels = nullptr;
    QLineEdit* m_improvementModel = nullptr;
    QLabel* m_keyStatus = nullptr;
    KeyField* m_apiKey = nullptr;
    QPushButton* m_save = nullptr;
    QLabel* m_keyNote = nullptr;
};
