#include "fakes/FakeHttpServer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

struct FakeHttpServer::Connection {
    QPointer<QTcpSocket> socket;
    QByteArray input;
    QList<QByteArray> queue; // body chunks still to send
    Ending ending = Ending::complete;
    bool answering = false;
    bool held = false;
};

QByteArray FakeHttpServer::Request::header(const QByteArray& name) const
{
    const QByteArray wanted = name.toLower();
    for (const auto& [key, value] : headers) {
        if (key == wanted) {
            return value;
        }
    }
    return {};
}

bool FakeHttpServer::Request::hasHeader(const QByteArray& name) const
{
    const QByteArray wanted = name.toLower();
    for (const auto& entry : headers) {
        if (entry.first == wanted) {
            return true;
        }
    }
    return false;
}

QJsonObject FakeHttpServer::Request::json() const
{
    return QJsonDocument::fromJson(body).object();
}

FakeHttpServer::FakeHttpServer(QObject* parent)
    : QObject(parent)
    , m_server(new QTcpServer(this))
{
    m_server->listen(QHostAddress::LocalHost, 0);
    connect(m_server, &QTcpServer::newConnection, this, &FakeHttpServer::accept);
}

FakeHttpServer::~FakeHttpServer()
{
    for (Connection* connection : std::as_const(m_connections)) {
        if (connection->socket) {
            connection->socket->disconnect(this);
        }
        delete connection;
    }
}

QString FakeHttpServer::baseURL() const
{
    return QStringLiteral("http://127.0.0.1:") + QString::number(m_server->serverPort());
}

void FakeHttpServer::respond(const QByteArray& path, Response response)
{
    m_handlers.insert(path, [response](const Request&) { return response; });
}

void FakeHttpServer::handle(const QByteArray& path, Handler handler)
{
    m_handlers.insert(path, std::move(handler));
}

void FakeHttpServer::accept()
{
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        ++m_accepted;
        auto* connection = new Connection;
        connection->socket = socket;
        m_connections.append(connection);
        socket->setParent(this);
        if (m_lowDelay) {
            socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        }
        connect(socket, &QTcpSocket::readyRead, this, [this, connection] { readFrom(connection); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            ++m_closed;
            socket->deleteLater();
            Q_EMIT connectionClosed();
        });
        readFrom(connection);
    }
}

void FakeHttpServer::readFrom(Connection* connection)
{
    if (!connection->socket) {
        return;
    }
    connection->input.append(connection->socket->readAll());
    if (m_lowDelay) {
        // Linux re-arms its delayed acknowledgement after every read.
        const int quickAck = 1;
        ::setsockopt(static_cast<int>(connection->socket->socketDescriptor()), IPPROTO_TCP, TCP_QUICKACK, &quickAck,
            sizeof quickAck);
    }
    while (!connection->answering) {
        const qsizetype headEnd = connection->input.indexOf("\r\n\r\n");
        if (headEnd < 0) {
            return;
        }
        Request request;
        const QList<QByteArray> headLines = connection->input.left(headEnd).split('\n');
        const QList<QByteArray> requestLine = headLines.value(0).trimmed().split(' ');
        request.method = requestLine.value(0);
        request.path = requestLine.value(1).split('?').value(0);
        qsizetype length = 0;
        for (qsizetype i = 1; i < headLines.size(); ++i) {
            const QByteArray line = headLines.at(i).trimmed();
            const qsizetype colon = line.indexOf(':');
            if (colon <= 0) {
                continue;
            }
            const QByteArray name = line.left(colon).trimmed().toLower();
            const QByteArray value = line.mid(colon + 1).trimmed();
            request.headers.append({ name, value });
            if (name == "content-length") {
                length = value.toLongLong();
            }
        }
        if (connection->input.size() < headEnd + 4 + length) {
            return;
        }
        request.body = connection->input.mid(headEnd + 4, length);
        connection->input.remove(0, headEnd + 4 + length);
        m_requests.append(request);
        Q_EMIT requestReceived(request);
        answer(connection, request);
    }
}

void FakeHttpServer::answer(Connection* connection, const Request& request)
{
    const auto handler = m_handlers.constFind(request.path);
    Response response;
    if (handler == m_handlers.constEnd()) {
        response.status = 404;
        response.contentType = "text/plain";
        response.chunks = { "no such path" };
    } else {
        response = (*handler)(request);
    }
    connection->answering = true;
    connection->queue = response.chunks;
    connection->ending = response.ending;
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + " Status\r\n";
    head += "Content-Type: " + response.contentType + "\r\n";
    for (const auto& [name, value] : std::as_const(response.headers)) {
        head += name + ": " + value + "\r\n";
    }
    head += "Transfer-Encoding: chunked\r\n\r\n";
    connection->socket->write(head);
    connection->socket->flush();
    QTimer::singleShot(1, connection->socket, [this, connection] { writeNext(connection); });
}

void FakeHttpServer::writeNext(Connection* connection)
{
    QTcpSocket* socket = connection->socket;
    if (!socket) {
        return;
    }
    if (!connection->queue.isEmpty()) {
        const QByteArray chunk = connection->queue.takeFirst();
        if (!chunk.isEmpty()) {
            socket->write(QByteArray::number(chunk.size(), 16) + "\r\n" + chunk + "\r\n");
            socket->flush();
        }
        QTimer::singleShot(1, socket, [this, connection] { writeNext(connection); });
        return;
    }
    switch (connection->ending) {
    case Ending::complete:
        socket->write("0\r\n\r\n");
        socket->flush();
        connection->answering = false;
        readFrom(connection); // a pipelined request may wait
        break;
    case Ending::hang: connection->held = true; break;
    case Ending::reset: {
        // Linger 0 makes the close a reset rather than an orderly end.
        const linger option { 1, 0 };
        ::setsockopt(static_cast<int>(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &option, sizeof option);
        socket->abort();
        break;
    }
    }
}

void FakeHttpServer::push(const QByteArray& chunk)
{
    for (auto it = m_connections.crbegin(); it != m_connections.crend(); ++it) {
        Connection* connection = *it;
        if (!connection->socket || !connection->answering || connection->ending != Ending::hang) {
            continue;
        }
        if (connection->held) {
            connection->socket->write(QByteArray::number(chunk.size(), 16) + "\r\n" + chunk + "\r\n");
            connection->socket->flush();
        } else {
            connection->queue.append(chunk); // the scripted chunks are still going out
        }
        return;
    }
}

void FakeHttpServer::finishHeld()
{
    for (Connection* connection : std::as_const(m_connections)) {
        if (connection->held && connection->socket) {
            connection->held = false;
            connection->ending = Ending::complete;
            writeNext(connection);
        }
    }
}

namespace fakeEvents {

namespace {
QByteArray compact(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}
} // namespace

QByteArray data(const QByteArray& json)
{
    return "data: " + json + "\n\n";
}

QByteArray claudeMessageStart(qint64 cacheRead, qint64 cacheWrite)
{
    return "event: message_start\n"
        + data(compact(QJsonObject {
            { QStringLiteral("type"), QStringLiteral("message_start") },
            { QStringLiteral("message"),
                QJsonObject { { QStringLiteral("usage"),
                    QJsonObject { { QStringLiteral("input_tokens"), 12 },
                        { QStringLiteral("cache_read_input_tokens"), cacheRead },
                        { QStringLiteral("cache_creation_input_tokens"), cacheWrite } } } } },
        }));
}

QByteArray claudeText(const QString& text)
{
    return "event: content_block_delta\n"
        + data(compact(QJsonObject {
            { QStringLiteral("type"), QStringLiteral("content_block_delta") },
            { QStringLiteral("index"), 0 },
            { QStringLiteral("delta"),
                QJsonObject {
                    { QStringLiteral("type"), QStringLiteral("text_delta") }, { QStringLiteral("text"), text } } },
        }));
}

QByteArray claudeStop(const QString& reason)
{
    return "event: message_delta\n"
        + data(compact(QJsonObject {
            { QStringLiteral("type"), QStringLiteral("message_delta") },
            { QStringLiteral("delta"), QJsonObject { { QStringLiteral("stop_reason"), reason } } },
        }));
}

QByteArray claudeError(const std::optional<QString>& message)
{
    QJsonObject error { { QStringLiteral("type"), QStringLiteral("overloaded_error") } };
    if (message) {
        error.insert(QStringLiteral("message"), *message);
    }
    return "event: error\n"
        + data(compact(
            QJsonObject { { QStringLiteral("type"), QStringLiteral("error") }, { QStringLiteral("error"), error } }));
}

QByteArray openAIText(const QString& text)
{
    return data(compact(QJsonObject {
        { QStringLiteral("object"), QStringLiteral("chat.completion.chunk") },
        { QStringLiteral("choices"),
            QJsonArray { QJsonObject { { QStringLiteral("index"), 0 },
                { QStringLiteral("delta"), QJsonObject { { QStringLiteral("content"), text } } } } } },
    }));
}

QByteArray done()
{
    return data("[DONE]");
}

} // namespace fakeEvents
