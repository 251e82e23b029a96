#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

// Records the messages logged while it exists (one capture at a time), as
// "<category> <level>: <text>" with level "info", "warning", "critical" or "debug".
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    QStringList messages() const { return m_messages; }
    // Messages of one category, text only.
    QStringList texts(const QString& category) const;

private:
    static void handler(QtMsgType type, const QMessageLogContext& context, const QString& message);

    QStringList m_messages;
    QtMessageHandler m_previous;
};
