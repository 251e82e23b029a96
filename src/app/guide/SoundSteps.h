#pragma once

#include "app/guide/StepRow.h"

#include <QCoroTask>
#include <QPointer>

#include <chrono>

class GuideRun;

// A step the sound server answers: its probe waits on one of the guide's probe threads, and a denied step
// offers the desktop's sound settings, where a source is chosen or unmuted (Linux has no privacy pane
// for sound).
class SoundStep : public StepRow {
    Q_OBJECT

public:
    SoundStep(const Texts& texts, GuideRun* run, QWidget* parent);

    // Asks the sound server again what it can, without a sound and without showing work.
    virtual void refresh() = 0;
    // Back to "Pending", as the next showing starts.
    void reset();

protected:
    QPointer<GuideRun> m_run;
    bool m_probing = false;
};

// "Microphone": the default source delivers audio within the wait.
class MicrophoneStep : public SoundStep {
    Q_OBJECT

public:
    MicrophoneStep(GuideRun* run, std::chrono::milliseconds wait, QWidget* parent);

    void refresh() override;

private:
    QCoro::Task<> probe(bool showWorking);

    const std::chrono::milliseconds m_wait;
};

// "System audio": a tone played to the default sink comes back on its monitor. "Allow" listens for the
// whole window; a refresh of a denied step listens only for the shorter one.
class SystemAudioStep : public SoundStep {
    Q_OBJECT

public:
    SystemAudioStep(
        GuideRun* run, std::chrono::milliseconds window, std::chrono::milliseconds refreshWindow, QWidget* parent);

    void refresh() override;

private:
    QCoro::Task<> probe(std::chrono::milliseconds window);

    const std::chrono::milliseconds m_window;
    const std::chrono::milliseconds m_refreshWindow;
};
