#pragma once

#include "app/guide/Onboarding.h"

#include <QCoroTask>
#include <QDialog>
#include <QPointer>
#include <QStringList>
#include <QThreadPool>

#include <chrono>
#include <stop_token>

class AddressField;
class KeyField;
class Keychain;
class QCheckBox;
class QComboBox;
class QLabel;
class QNetworkAccessManager;
class QPushButton;
class Settings;
class StepRow;

struct GuideOptions {
    // The autostart entry; `$XDG_CONFIG_HOME/autostart/quillora.desktop` when empty.
    QString autostartEntry;
    // The program the login item and the tool-server command start; the running executable when empty.
    QString executable;
    // How long "Allow" listens for the check sound, and the shorter listen of a refresh while denied.
    std::chrono::milliseconds systemAudioWindow { 15000 };
    std::chrono::milliseconds systemAudioRefreshWindow { 2000 };
    // How long the microphone has to deliver its first audio.
    std::chrono::milliseconds microphoneWait { 5000 };
    // How long the local model server has to list its models.
    std::chrono::milliseconds localModelTimeout { 2000 };
};

// The first-start guide, "Welcome to Quillora": the microphone, the system audio, the speech model and
// the documents folder, then who writes the suggestions (with a key for the cloud providers), and two
// optional extras, the login item and the command that adds the tool server to Claude Code. Each step
// shows its live status and the one button that moves it forward. The probes that wait (the sound
// server, the local model server, the keyring) run off the main thread or asynchronously, so the window
// never freezes. Every showing starts from "Pending" and asks the system what it already knows; so does
// every return to the app.
class GuideWindow : public QDialog {
    Q_OBJECT

public:
    GuideWindow(Settings& settings, Keychain& keychain, QWidget* parent = nullptr, GuideOptions options = {});
    ~GuideWindow() override;

    StepRow* microphoneRow() const { return m_microphone; }
    StepRow* systemAudioRow() const { return m_systemAudio; }
    StepRow* speechRow() const { return m_speech; }
    StepRow* documentsRow() const { return m_documents; }
    QComboBox* provider() const { return m_provider; }
    KeyField* apiKey() const { return m_apiKey; }
    QPushButton* saveKeyButton() const { return m_saveKey; }
    QComboBox* localModel() const { return m_localModel; }
    AddressField* serverAddress() const { return m_serverAddress; }
    QLabel* suggestionsStatus() const { return m_suggestionsStatus; }
    QCheckBox* openAtLogin() const { return m_openAtLogin; }
    QPushButton* copyCommandButton() const { return m_copyCommand; }
    QLabel* stepsLeftLabel() const { return m_stepsLeft; }
    QPushButton* doneButton() const { return m_done; }

    bool suggestionsReady() const;
    // No probe, keyring lookup or model listing of this showing is still on its way.
    bool isSettled() const { return m_running == 0; }
    // The tool-server command that "Copy command" puts on the clipboard.
    QString toolServerCommand() const;

    // Shows the guide in front; a guide that was closed starts again from "Pending".
    void present();
    // Asks the system again for what it knows, as when the app becomes active.
    void refresh();

Q_SIGNALS:
    // A step, the suggestions' readiness or the count changed.
    void stateChanged();
    // The last probe, lookup or listing on its way has come back.
    void settled();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* makeRequiredSection();
    QWidget* makeSuggestionsBlock();
    QWidget* makeOptionalSection();
    void resetState();
    void allowMicrophone();
    void allowSystemAudio(std::chrono::milliseconds window, bool showWorking);
    void checkSpeechModel();
    void allowDocuments();
    void openSoundSettings();
    void providerChanged();
    void loadProvider();
    void checkSuggestions();
    QCoro::Task<> probeMicrophone(bool showWorking);
    QCoro::Task<> probeSystemAudio(std::chrono::milliseconds window);
    QCoro::Task<> readStoredKey(QString account);
    void showLocalModels(const QStringList& models);
    void showSuggestions();
    void showOpensAtLogin();
    void setOpensAtLogin(bool on);
    void copyCommand();
    void finishGuide();
    void started();
    void finished();
    void showStepsLeft();

    QPointer<Settings> m_settings;
    QPointer<Keychain> m_keychain;
    GuideOptions m_options;
    QString m_documentsFolder;
    // The probes of one showing run here; a stop request ends their waits when the guide closes.
    QThreadPool m_probes;
    std::stop_source m_stop;
    QNetworkAccessManager* m_network = nullptr;
    // Counts showings, so that an answer for an earlier one is dropped.
    quint64 m_showing = 0;
    int m_running = 0;
    bool m_microphoneProbing = false;
    bool m_systemAudioProbing = false;
    quint64 m_suggestionCheck = 0;
    bool m_keyStored = false;
    bool m_keySaved = false;
    bool m_localModelAnswered = false;
    bool m_copied = false;

    StepRow* m_microphone = nullptr;
    StepRow* m_systemAudio = nullptr;
    StepRow* m_speech = nullptr;
    StepRow* m_documents = nullptr;
    QComboBox* m_provider = nullptr;
    QWidget* m_keyRow = nullptr;
    KeyField* m_apiKey = nullptr;
    QPushButton* m_saveKey = nullptr;
    QLabel* m_keyStatus = nullptr;
    QLabel* m_keyLink = nullptr;
    QWidget* m_localModelRow = nullptr;
    AddressField* m_serverAddress = nullptr;
    QComboBox* m_localModel = nullptr;
    QLabel* m_suggestionsSymbol = nullptr;
    QLabel* m_suggestionsStatus = nullptr;
    QCheckBox* m_openAtLogin = nullptr;
    QPushButton* m_copyCommand = nullptr;
    QLabel* m_stepsLeft = nullptr;
    QPushButton* m_done = nullptr;
};

// Opens the guide each time the watched window is shown (after its first paint) while "onboardingDone" is
// false.
class GuideOpener : public QObject {
    Q_OBJECT

public:
    GuideOpener(Settings& settings, QWidget* watched, std::function<void()> open);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<Settings> m_settings;
    std::function<void()> m_open;
    bool m_shown = false;
};
