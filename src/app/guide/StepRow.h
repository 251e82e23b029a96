#pragma once

#include "app/guide/Onboarding.h"

#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;

// One step of the guide: its title with a line on what it is for (or the denied note while denied),
// and on the trailing side its status and the one button that moves it forward.
class StepRow : public QWidget {
    Q_OBJECT

public:
    struct Texts {
        QString title;
        QString why;
        QString allowLabel;
        QString grantedLabel;
    };

    StepRow(const Texts& texts, QWidget* parent);

    void setState(const StepState& state);
    const StepState& state() const { return m_state; }
    void setWhy(const QString& why);
    // Shown instead of the line on what the step is for while the step is denied; empty for none.
    void setDeniedNote(const QString& note);
    // A denied step offers this button instead of "Try again"; empty for none.
    void setSettingsLabel(const QString& label);

    QLabel* statusLabel() const { return m_status; }
    QPushButton* button() const { return m_button; }

Q_SIGNALS:
    // The step's own action: "Allow" (or its label) and "Try again".
    void allowRequested();
    void settingsRequested();
    void stateChanged(const StepState& state);

private:
    void showState();

    Texts m_texts;
    QString m_deniedNote;
    QString m_settingsLabel;
    StepState m_state;
    bool m_buttonOpensSettings = false;
    QLabel* m_title = nullptr;
    QLabel* m_why = nullptr;
    QLabel* m_icon = nullptr;
    QLabel* m_status = nullptr;
    QProgressBar* m_progress = nullptr;
    QPushButton* m_button = nullptr;
};

// A coloured status glyph for a row or a status line.
enum class StatusSymbol { none, ok, warning, error };
void showStatusSymbol(QLabel* label, StatusSymbol symbol);
