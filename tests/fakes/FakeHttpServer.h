#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <optional>

class QTcpServer;
class QTcpSocket;

// A loopback HTTP/1.1 server on 127.0.0.1 (port chosen by the system) that answers scripted
// responses and records every request. Response bodies go out with chunked transfer coding,
// one script chunk at a time on separate turns of the event loop, so a client sees them
// arrive split exactly where the script splits them (or merged, when one chunk holds several
// lines).
class FakeHttpServer : public QObject {
    Q_OBJECT

public:
    struct Request {
        QByteArray method;
        QByteArray path;
        QList<std::pair<QByteArray, QByteArray>> headers; // names lower-cased, in arrival order
        QByteArray body;

        QByteArray header(const QByteArray& name) const; // case-insensitive; empty when absent
        bool hasHeader(const QByteArray& name) const;
        QJsonObject json() const;
    };

    enum class Ending {
        complete, // the body ends properly
        hang, // nothing more is sent, the connection stays open (push() can add more)
        reset, // the connection is dropped after the last chunk
    };

    struct Response {
        int status = 200;
        QByteArray contentType = "text/event-stream";
        QList<QByteArray> chunks;
        Ending ending = Ending::complete;
        QList<std::pair<QByteArray, QByteArray>> headers = {}; // more header lines, e.g. Content-Range
    };

    using Handler = std::function<Response(const Request&)>;

    explicit FakeHttpServer(QObject* parent = nullptr);
    ~FakeHttpServer() override;

    // "http://127.0.0.1:<port>", no slash at the end.
    QString baseURL() const;

    // Every request to `path` (without query) gets this response; unknown paths get 404.
    void respond(const QByteArray& path, Response response);
    void handle(const QByteArray& path, Handler handler);

    // Answers like a tuned server: every write goes out at once (no Nagle) and every read is
    // acknowledged at once, so a benchmark's round trip never waits on Linux's 40 ms delayed
    // acknowledgement. Off by default: then a scripted chunk waits for the client's
    // acknowledgement of the one before, which keeps chunks apart even on a busy machine.
    void setLowDelay(bool lowDelay) { m_lowDelay = lowDelay; }

    // Adds a body chunk to the newest connection whose response hangs; `finishHeld` ends it.
    void push(const QByteArray& chunk);
    void finishHeld();

    const QList<Request>& requests() const { return m_requests; }
    int connectionsAccepted() const { return m_accepted; }
    int connectionsClosed() const { return m_closed; }

Q_SIGNALS:
    void requestReceived(const FakeHttpServer::Request& request);
    void connectionClosed();

private:
    struct Connection;
    void accept();
    void readFrom(Connection* connection);
    void answer(Connection* connection, const Request& request);
    void writeNext(Connection* connection);

    QTcpServer* m_server;
    QHash<QByteArray, Handler> m_handlers;
    QList<Request> m_requests;
    QList<Connection*> m_connections;
    int m_accepted = 0;
    int m_closed = 0;
    bool m_lowDelay = false;
};

// Stream bodies in the providers' formats, one SSE line ("data: ...\n\n") per event.
namespace fakeEvents {
QByteArray data(const QByteArray& json);
QByteArray claudeMessageStart(qint64 cacheRead, qint64 cacheWrite);
QByteArray claudeText(const QString& text);
QByteArray claudeStop(const QString& reason);
QByteArray claudeError(const std::optional<QString>& message);
QByteArray openAIText(const QString& text);
QByteArray done();
} // namespace fakeEvents
