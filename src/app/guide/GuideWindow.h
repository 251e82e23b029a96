#pragma once

#include <QDialog>
#include <QPointer>

#include <chrono>
#include <functional>

class DocumentsStep;
class GuideRun;
class Keychain;
class LoginToggle;
class MicrophoneStep;
class QLabel;
class QPushButton;
class Settings;
class SpeechModelStep;
class SuggestionsStep;
class SystemAudioStep;
class ToolServerStep;

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
// the documents folder, then who writes the suggestions, and two optional extras, the login item and the
// command that adds the tool server to Claude Code. Each step is its own widget with its own check; the
// dialog lays them out, counts the required steps left and ends with "Done". Every showing starts from
// "Pending" and asks the system what it already knows; so does every return to the app.
class GuideWindow : public QDialog {
    Q_OBJECT

public:
    GuideWindow(Settings& settings, Keychain& keychain, QWidget* parent = nullptr, GuideOptions options = {});
    ~GuideWindow() override;

    // No check of this showing is still on its way.
    bool isSettled() const;

    // Shows the guide in front; a guide that was closed starts again from "Pending".
    void present();
    // Asks the system again for what it knows, as when the app becomes active.
    void refresh();

Q_SIGNALS:
    // A step, the suggestions' readiness or the count changed.
    void stateChanged();
    // The last check on its way has come back.
    void settled();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QWidget* makeRequiredSection(Settings& settings, Keychain& keychain);
    QWidget* makeOptionalSection();
    void resetState();
    void finishGuide();
    void showStepsLeft();

    QPointer<Settings> m_settings;
    GuideOptions m_options;
    GuideRun* m_run;
    MicrophoneStep* m_microphone = nullptr;
    SystemAudioStep* m_systemAudio = nullptr;
    SpeechModelStep* m_speech = nullptr;
    DocumentsStep* m_documents = nullptr;
    SuggestionsStep* m_suggestions = nullptr;
    LoginToggle* m_openAtLogin = nullptr;
    ToolServerStep* m_toolServer = nullptr;
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
