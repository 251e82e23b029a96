#pragma once

#include <QWidget>

class QLabel;

// What the column shows before anything was said: a waveform, what to do next and the global keys.
class EmptyState : public QWidget {
    Q_OBJECT

public:
    explicit EmptyState(QWidget* parent);

    void setListening(bool listening);
    QLabel* prompt() const { return m_prompt; }
    QLabel* hint() const { return m_hint; }

private:
    QLabel* m_prompt;
    QLabel* m_hint;
};
