#include "fakes/FakeRealtimeServer.h"

#include <QJsonDocument>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QWebSocket>
#include <QWebSocketServer>

FakeRealtimeServer::FakeRealtimeServer(QObject* parent)
    : QObject(parent)
    , m_listener(new QTcpServer(this))
    , m_server(new QWebSocketServer(QStringLiteral("FakeRealtime"), QWebSocketServer::NonSecureMode, this))
{
    // Connections arrive here first, so that a handshake can be refused before the WebSocket
    // server sees it.
    m_listener->listen(QHostAddress::LocalHost, 0);
    connect(m_listener, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = m_listener->nextPendingConnection()) {
            if (m_refuseStatus != 0) {
                refuse(socket);
            } else {
                m_server->handleConnection(socket);
            }
        }
    });
    connect(m_server, &QWebSocketServer::newConnection, this, [this] {
        while (QWebSocket* socket = m_server->nextPendingConnection()) {
            socket->setParent(this);
            ++m_connections;
            m_client = socket;
            m_lastRequest = socket->request();
            connect(socket, &QWebSocket::textMessageReceived, this, [this](const QString& text) {
                const QJsonObject message = QJsonDocument::fromJson(text.toUtf8()).object();
                m_messages.append(message);
                if (m_transcribe
                    && message.value(QStringLiteral("type")) == QLatin1String("input_audio_buffer.commit")) {
                    const int turn = ++m_commits;
                    QTimer::singleShot(m_delayMs, this, [this, turn] {
                        const QString item = QStringLiteral("item_%1").arg(turn);
                        const QString text = m_text ? m_text(turn) : QStringLiteral("turn %1").arg(turn);
                        sendEvent({ { QStringLiteral("type"),
                                        QStringLiteral("conversation.item.input_audio_transcription.delta") },
                            { QStringLiteral("item_id"), item }, { QStringLiteral("delta"), text.left(3) } });
                        sendEvent({ { QStringLiteral("type"),
                                        QStringLiteral("conversation.item.input_audio_transcription.completed") },
                            { QStringLiteral("item_id"), item }, { QStringLiteral("transcript"), text } });
                    });
                }
                Q_EMIT messageReceived(message);
            });
            Q_EMIT clientConnected();
        }
    });
}

FakeRealtimeServer::~FakeRealtimeServer() = default;

quint16 FakeRealtimeServer::port() const
{
    return m_listener->serverPort();
}

QString FakeRealtimeServer::baseUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(port());
}

QList<QJsonObject> FakeRealtimeServer::messagesOfType(const QString& type) const
{
    QList<QJsonObject> result;
    for (const QJsonObject& message : m_messages) {
        if (message.value(QStringLiteral("type")).toString() == type) {
            result.append(message);
        }
    }
    return result;
}

void FakeRealtimeServer::sendEvent(const QJsonObject& event)
{
    if (m_client) {
        m_client->sendTextMessage(QString::fromUtf8(QJsonDocument(event).toJson(QJsonDocument::Compact)));
    }
}

void FakeRealtimeServer::setTranscribeCommits(bool enabled, int delayMs, std::function<QString(int)> text)
{
    m_transcribe = enabled;
    m_delayMs = delayMs;
    m_text = std::move(text);
}

void FakeRealtimeServer::refuse(QTcpSocket* socket)
{
    const int status = m_refuseStatus;
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QTcpSocket::readyRead, socket, [socket, status] {
        if (!socket->peek(64 * 1024).contains("\r\n\r\n")) {
            return;
        }
        socket->readAll();
        const QByteArray reason = status == 401 ? "Unauthorized"
            : status == 429                     ? "Too Many Requests"
                                                : "Service Unavailable";
        const QByteArray body = R"({"error":{"message":"Refused by the fake server.","type":"invalid_request_error"}})";
        socket->write("HTTP/1.1 " + QByteArray::number(status) + ' ' + reason
            + "\r\nContent-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size())
            + "\r\nConnection: close\r\n\r\n" + body);
        socket->disconnectFromHost();
    });
}
