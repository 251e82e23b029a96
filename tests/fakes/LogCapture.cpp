#include "fakes/LogCapture.h"

namespace {
QStringList* activeMessages = nullptr;
} // namespace

LogCapture::LogCapture()
{
    activeMessages = &m_messages;
    m_previous = qInstallMessageHandler(&LogCapture::handler);
}

LogCapture::~LogCapture()
{
    qInstallMessageHandler(m_previous);
    activeMessages = nullptr;
}

QStringList LogCapture::texts(const QString& category) const
{
    QStringList out;
    const QString prefix = category + u' ';
    for (const QString& message : m_messages) {
        if (message.startsWith(prefix)) {
            out.append(message.mid(message.indexOf(QStringLiteral(": ")) + 2));
        }
    }
    return out;
}

void LogCapture::handler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (!activeMessages) {
        return;
    }
    QString level;
    switch (type) {
    case QtDebugMsg: level = QStringLiteral("debug"); break;
    case QtInfoMsg: level = QStringLiteral("info"); break;
    case QtWarningMsg: level = QStringLiteral("warning"); break;
    case QtCriticalMsg: level = QStringLiteral("critical"); break;
    case QtFatalMsg: level = QStringLiteral("fatal"); break;
    }
    activeMessages->append(QString::fromUtf8(context.category ? context.category : "default") + u' ' + level
        + QStringLiteral(": ") + message);
}
