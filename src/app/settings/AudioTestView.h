#pragma once

#include "audio/AudioCaptureService.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <optional>

class AudioLevelBar;
class QLabel;
class QMessageBox;
class QPushButton;

// The "Audio Test" tab: starts the microphone with a capture service of its own, so that a test never
// touches a running call's capture, and shows the live levels. Leaving the tab, or hiding or closing
// the window, stops the test. What it does is also printed on standard output, for a user who runs
// the app from a terminal to see where a start went wrong.
class AudioTestView : public QWidget {
    Q_OBJECT

public:
    explicit AudioTestView(QWidget* parent = nullptr);
    ~AudioTestView() override;

    AudioCaptureService& audioService() { return m_audioService; }
    bool isRecording() const { return m_isRecording; }
    const std::optional<QString>& errorMessage() const { return m_errorMessage; }

    // The alert opened by the last failed start while it is open; null otherwise.
    QMessageBox* alert() const;

    // The toggle button's action: stop while recording, otherwise start.
    void toggleRecording();

Q_SIGNALS:
    // The test started, stopped or failed to start; the widgets show the new state.
    void stateChanged();

protected:
    void hideEvent(QHideEvent* event) override;

private:
    void start();
    void stop();
    void showState();
    void showAlert();
    void captureEnded(const QString& message);

    AudioCaptureService m_audioService;
    bool m_isRecording = false;
    std::optional<QString> m_errorMessage;
    AudioLevelBar* m_micBar = nullptr;
    AudioLevelBar* m_systemBar = nullptr;
    QLabel* m_status = nullptr;
    QPushButton* m_toggle = nullptr;
    QLabel* m_error = nullptr;
    QPointer<QMessageBox> m_alert;
};
