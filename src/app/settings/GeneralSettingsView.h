#pragma once

#include "app/widgets/LoginToggle.h"

#include <QPointer>
#include <QWidget>

#include "transcription/WhisperModels.h"

#include <QCoroTask>

class AddressField;
class KeyField;
class QNetworkAccessManager;
class QProgressBar;
class WhisperModelDownload;
class Keychain;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSlider;
class Settings;

// The "General" tab: the floating window, the login item, the transcription engine and the update
// feed. Every control writes straight through to the settings or the keyring.
class GeneralSettingsView : public QWidget {
    Q_OBJECT

public:
    // The slider's steps are thousandths, so that any stored opacity is shown as it is.
    static constexpr int opacityScale = 1000;

    GeneralSettingsView(
        Settings& settings, Keychain& keychain, QString autostartEntry, QString executable, QWidget* parent = nullptr);

    // The percentage shown for an opacity: the fraction dropped, not rounded.
    static QString percentText(double opacity);

    // Whether this desktop can tell that the screen is being shared; until told, it cannot.
    void setScreenShareVisible(bool visible);

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* makeWindowSection(QString autostartEntry, QString executable);
    QWidget* makeTranscriptionSection(Keychain& keychain);
    QWidget* makeUpdatesSection();
    void showSettings();
    void showHideFromScreenShare();
    QWidget* makeSpeechModelRows(QWidget* parent);
    // Reads the model list again (the built-in one, or from "speechModelListURL").
    QCoro::Task<> loadSpeechModels();
    void showSpeechModels();
    void downloadOrCancel();

    QPointer<Settings> m_settings;
    QSlider* m_opacity = nullptr;
    QLabel* m_opacityText = nullptr;
    QCheckBox* m_alwaysOnTop = nullptr;
    LoginToggle* m_openAtLogin = nullptr;
    QCheckBox* m_hideFromScreenShare = nullptr;
    QLabel* m_hideNote = nullptr;
    bool m_screenShareVisible = false;
    QComboBox* m_engine = nullptr;
    QWidget* m_openAIRows = nullptr;
    QLabel* m_keyStatus = nullptr;
    KeyField* m_openAIKey = nullptr;
    QPushButton* m_saveKey = nullptr;
    AddressField* m_updateFeed = nullptr;
    QWidget* m_whisperRows = nullptr;
    QComboBox* m_speechModels = nullptr;
    QPushButton* m_download = nullptr;
    QProgressBar* m_downloadProgress = nullptr;
    QLabel* m_speechModelStatus = nullptr;
    QComboBox* m_language = nullptr;
    QNetworkAccessManager* m_network = nullptr;
    WhisperModelDownload* m_modelDownload = nullptr;
    QList<WhisperModelEntry> m_modelList;
    quint64 m_listRequest = 0;
};
