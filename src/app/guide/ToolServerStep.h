#pragma once

#include <QWidget>

class QPushButton;

// "Claude Code (MCP)": the command that adds the tool server to Claude Code, put on the clipboard by
// "Copy command", which then reads "Copied" until the guide closes.
class ToolServerStep : public QWidget {
    Q_OBJECT

public:
    // `executable` is the program the command starts.
    ToolServerStep(QString executable, QWidget* parent);

    QString command() const;
    void reset();

private:
    void copy();

    const QString m_executable;
    QPushButton* m_copy;
};
