#pragma once

#include <QByteArray>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>

// `quillora --mcp` as a child process with a throw-away home; the D-Bus session is inherited.
class ServerProcess {
public:
    explicit ServerProcess(const QString& home)
        : m_home(home)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), home);
        environment.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
        m_process.setProcessEnvironment(environment);
    }

    ~ServerProcess()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    QString storePath() const { return m_home + QStringLiteral("/data/Quillora/Assistants.store"); }

    bool start(const QString& binary = QStringLiteral(QUILLORA_BINARY))
    {
        m_process.start(binary, { QStringLiteral("--mcp") });
        return m_process.waitForStarted(10000);
    }

    void send(const QByteArray& bytes)
    {
        m_process.write(bytes);
        m_process.waitForBytesWritten(10000);
    }

    // The next response line, or an empty array when none came within the time.
    QByteArray readLine(int timeoutMs = 10000)
    {
        while (!m_process.canReadLine()) {
            if (!m_process.waitForReadyRead(timeoutMs)) {
                return {};
            }
        }
        QByteArray line = m_process.readLine();
        line.chop(1);
        return line;
    }

    QJsonObject request(const QByteArray& line)
    {
        send(line + '\n');
        return QJsonDocument::fromJson(readLine()).object();
    }

    // Closes standard input and waits for the exit status.
    int finish(int timeoutMs = 30000)
    {
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(timeoutMs)) {
            return -1;
        }
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -2;
    }

    QProcess& process() { return m_process; }

private:
    QString m_home;
    QProcess m_process;
};
