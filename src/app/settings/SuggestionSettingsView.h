#pragma once

#include "records/Enums.h"

#include <QPointer>
#include <QWidget>

class KeyField;
class Keychain;
class QComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QNetworkAccessManager;
class QPushButton;
class Settings;

// The "Suggestions" tab: the language model provider, its models and its API key. The fields show
// the stored values of the chosen provider, read again each time the tab is shown and whenever the
// provider changes, so unsaved edits of another provider's fields are dropped.
class SuggestionSettingsView : public QWidget {
    Q_OBJECT

public:
    SuggestionSettingsView(Settings& settings, Keychain& keychain, QWidget* parent = nullptr);

    QComboBox* provider() const { return m_provider; }
    QLineEdit* model() const { return m_model; }
    // The models the local server lists, to pick the on-device model from; hidden until it answers.
    QComboBox* serverModels() const { return m_serverModels; }
    QLineEdit* improvementModel() const { return m_improvementModel; }
    KeyField* apiKey() const { return m_apiKey; }
    QPushButton* saveButton() const { return m_save; }
    QLabel* keyNote() const { return m_keyNote; }
    QLabel* keyStatus() const { return m_keyStatus; }

    // Reads the chosen provider's stored models and key into the fields.
    void load();

    // How long the local server has to list its models, as for the on-device model itself.
    static constexpr int serverModelsTimeoutMs = 2000;

Q_SIGNALS:
    // The local server's model list came back, or did not within the time.
    void serverModelsListed();

protected:
    void showEvent(QShowEvent* event) override;

private:
    LLMProvider shownProvider() const;
    void saveModels();
    void listServerModels();
    void showServerModels(const QStringList& models);
    void save();

    QPointer<Settings> m_settings;
    QFormLayout* m_form = nullptr;
    QComboBox* m_provider = nullptr;
    QLineEdit* m_model = nullptr;
    QComboBox* m_serverModels = nullptr;
    QNetworkAccessManager* m_network = nullptr;
    quint64 m_listing = 0; // counts listings, so that only the newest one's answer is shown
    QLineEdit* m_improvementModel = nullptr;
    QLabel* m_keyStatus = nullptr;
    KeyField* m_apiKey = nullptr;
    QPushButton* m_save = nullptr;
    QLabel* m_keyNote = nullptr;
};
