#pragma once

#include <QWidget>

class QLabel;

// What the column shows before anything was said: a waveform, what to do next and the global keys.
class EmptyState : public QWidget {
    Q_OBJECT

public:
    explicit EmptyState(QWidget* parent);

    void setListening(bool listening);

private:
    QLabel* m_prompt;
    QLabel* m_hint;
};
