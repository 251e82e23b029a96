#pragma once

#include <QJsonObject>
#include <QList>
#include <QNetworkRequest>
#include <QObject>
#include <QPointer>

#include <functional>

class QTcpServer;
class QTcpSocket;
class QWebSocket;
class QWebSocketServer;

// A loopback stand-in for the OpenAI Realtime service: a WebSocket server on 127.0.0.1 that
// records every JSON message a client sends and lets the test answer with events. With
// `transcribeCommits` set it answers each commit with one delta and one completed event; with
// `refuseHandshakes` it answers the opening request with an HTTP status instead of upgrading.
class FakeRealtimeServer : public QObject {
    Q_OBJECT

public:
    explicit FakeRealtimeServer(QObject* parent = nullptr);
    ~FakeRealtimeServer() override;

    // The base address for the "openaiBaseURL" setting (http://127.0.0.1:<port>).
    QString baseUrl() const;
    quint16 port() const;

    int connectionCount() const { return m_connections; }
    const QNetworkRequest& lastRequest() const { return m_lastRequest; }
    const QList<QJsonObject>& messages() const { return m_messages; }
    QList<QJsonObject> messagesOfType(const QString& type) const;

    // Sends an event to the newest client.
    void sendEvent(const QJsonObject& event);
    // Answers each commit with a delta and a completed event after `delayMs`; the text is
    // "turn <n>" unless `text` says otherwise.
    void setTranscribeCommits(bool enabled, int delayMs = 0, std::function<QString(int)> text = {});
    // Answers every later opening request with `status` and an OpenAI-style JSON error body, then
    // closes; 0 upgrades again.
    void refuseHandshakes(int status) { m_refuseStatus = status; }

Q_SIGNALS:
    void clientConnected();
    void messageReceived(const QJsonObject& message);

private:
    void refuse(QTcpSocket* socket);

    QTcpServer* m_listener;
    QWebSocketServer* m_server;
    QPointer<QWebSocket> m_client;
    QNetworkRequest m_lastRequest;
    QList<QJsonObject> m_messages;
    int m_connections = 0;
    int m_commits = 0;
    bool m_transcribe = false;
    int m_delayMs = 0;
    int m_refuseStatus = 0;
    std::function<QString(int)> m_text;
};
