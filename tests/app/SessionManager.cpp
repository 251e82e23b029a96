#include "SessionManager.h"

#include <QSocketNotifier>
#include <QStringList>

#include <X11/ICE/ICElib.h>
#include <X11/SM/SMlib.h>

#include <cstdlib>
#include <functional>
#include <vector>

struct SessionManager::Private {
    SessionManager* owner = nullptr;
    int listenCount = 0;
    IceListenObj* listenObjects = nullptr;
    std::vector<QSocketNotifier*> listeners;
    IceConn connection = nullptr;
    QSocketNotifier* connectionNotifier = nullptr;
    SmsConn client = nullptr;
    bool dieWhenSaved = false;
    std::function<void()> beforeDie;

    void accept(IceListenObj listener);
    void process();
    void drop();
};

namespace {

SessionManager::Private* g_manager = nullptr;

Bool anyLocalHost(char*)
{
    return True;
}

// libICE's default handlers end the process; a client that goes away is only a closed connection here.
void ignoreIoError(IceConn) { }
void ignoreIceError(IceConn, Bool, int, unsigned long, int, int, IcePointer) { }
void ignoreSmsError(SmsConn, Bool, int, unsigned long, int, int, SmPointer) { }

Status registerClient(SmsConn client, SmPointer, char* previousId)
{
    char* id = previousId ? previousId : SmsGenerateClientID(client);
    const Status status = SmsRegisterClientReply(client, id);
    if (!previousId) {
        std::free(id);
    } else {
        std::free(previousId);
    }
    QMetaObject::invokeMethod(g_manager->owner, &SessionManager::clientRegistered, Qt::QueuedConnection);
    return status;
}

void interactRequest(SmsConn client, SmPointer, int)
{
    SmsInteract(client);
}

void interactDone(SmsConn, SmPointer, Bool) { }
void saveYourselfRequest(SmsConn, SmPointer, int, Bool, int, Bool, Bool) { }

void saveYourselfPhase2Request(SmsConn client, SmPointer)
{
    SmsSaveYourselfPhase2(client);
}

void saveYourselfDone(SmsConn client, SmPointer, Bool success)
{
    if (g_manager->dieWhenSaved) {
        // As a logout goes on once every client has answered: at once, before the client runs anything more.
        if (g_manager->beforeDie) {
            g_manager->beforeDie();
        }
        SmsDie(client);
        IceFlush(SmsGetIceConnection(client));
    }
    QMetaObject::invokeMethod(
        g_manager->owner, [success] { Q_EMIT g_manager->owner->saveDone(success != False); }, Qt::QueuedConnection);
}

void closeConnection(SmsConn, SmPointer, int count, char** reasons)
{
    SmFreeReasons(count, reasons);
    QMetaObject::invokeMethod(
        g_manager->owner, [] { g_manager->drop(); }, Qt::QueuedConnection);
}

void setProperties(SmsConn, SmPointer, int count, SmProp** properties)
{
    for (int i = 0; i < count; ++i) {
        SmFreeProperty(properties[i]);
    }
    std::free(properties);
}

void deleteProperties(SmsConn, SmPointer, int count, char** names)
{
    for (int i = 0; i < count; ++i) {
        std::free(names[i]);
    }
    std::free(names);
}

void getProperties(SmsConn client, SmPointer)
{
    SmsReturnProperties(client, 0, nullptr);
}

Status newClient(SmsConn client, SmPointer, unsigned long* mask, SmsCallbacks* callbacks, char**)
{
    g_manager->client = client;
    *mask = SmsRegisterClientProcMask | SmsInteractRequestProcMask | SmsInteractDoneProcMask
        | SmsSaveYourselfRequestProcMask | SmsSaveYourselfP2RequestProcMask | SmsSaveYourselfDoneProcMask
        | SmsCloseConnectionProcMask | SmsSetPropertiesProcMask | SmsDeletePropertiesProcMask
        | SmsGetPropertiesProcMask;
    callbacks->register_client.callback = registerClient;
    callbacks->interact_request.callback = interactRequest;
    callbacks->interact_done.callback = interactDone;
    callbacks->save_yourself_request.callback = saveYourselfRequest;
    callbacks->save_yourself_phase2_request.callback = saveYourselfPhase2Request;
    callbacks->save_yourself_done.callback = saveYourselfDone;
    callbacks->close_connection.callback = closeConnection;
    callbacks->set_properties.callback = setProperties;
    callbacks->delete_properties.callback = deleteProperties;
    callbacks->get_properties.callback = getProperties;
    return True;
}

} // namespace

void SessionManager::Private::accept(IceListenObj listener)
{
    IceAcceptStatus status = IceAcceptSuccess;
    IceConn accepted = IceAcceptConnection(listener, &status);
    if (!accepted || status != IceAcceptSuccess) {
        return;
    }
    drop(); // one client at a time
    connection = accepted;
    connectionNotifier = new QSocketNotifier(IceConnectionNumber(connection), QSocketNotifier::Read, owner);
    QObject::connect(connectionNotifier, &QSocketNotifier::activated, owner, [this] { process(); });
}

void SessionManager::Private::process()
{
    if (connection && IceProcessMessages(connection, nullptr, nullptr) == IceProcessMessagesIOError) {
        drop();
    }
}

void SessionManager::Private::drop()
{
    const bool had = connection != nullptr;
    if (client) {
        SmsCleanUp(client);
        client = nullptr;
    }
    if (connectionNotifier) {
        connectionNotifier->setEnabled(false);
        connectionNotifier->deleteLater();
        connectionNotifier = nullptr;
    }
    if (connection) {
        IceSetShutdownNegotiation(connection, False);
        IceCloseConnection(connection);
        connection = nullptr;
    }
    if (had) {
        Q_EMIT owner->clientGone();
    }
}

SessionManager::SessionManager(QObject* parent)
    : QObject(parent)
    , d(std::make_unique<Private>())
{
    d->owner = this;
    g_manager = d.get();
    IceSetIOErrorHandler(ignoreIoError);
    IceSetErrorHandler(ignoreIceError);
    SmsSetErrorHandler(ignoreSmsError);
    char error[256] = {};
    if (!SmsInitialize("Quillora tests", "1.0", newClient, nullptr, anyLocalHost, sizeof error, error)
        || !IceListenForConnections(&d->listenCount, &d->listenObjects, sizeof error, error)) {
        qWarning("session manager: %s", error);
        return;
    }
    QStringList local;
    for (int i = 0; i < d->listenCount; ++i) {
        IceListenObj listener = d->listenObjects[i];
        IceSetHostBasedAuthProc(listener, anyLocalHost);
        char* id = IceGetListenConnectionString(listener);
        // Only the local socket: nothing of the test is reachable over the network.
        if (QString::fromLatin1(id).startsWith(QLatin1String("local/"))) {
            local.append(QString::fromLatin1(id));
            auto* notifier = new QSocketNotifier(IceGetListenConnectionNumber(listener), QSocketNotifier::Read, this);
            connect(notifier, &QSocketNotifier::activated, this, [this, listener] { d->accept(listener); });
            d->listeners.push_back(notifier);
        }
        std::free(id);
    }
    m_address = local.join(u',');
}

SessionManager::~SessionManager()
{
    d->drop();
    if (d->listenObjects) {
        IceFreeListenObjs(d->listenCount, d->listenObjects);
    }
    g_manager = nullptr;
}

bool SessionManager::hasClient() const
{
    return d->client != nullptr;
}

void SessionManager::logOut(std::function<void()> beforeDie)
{
    d->dieWhenSaved = true;
    d->beforeDie = std::move(beforeDie);
    if (d->client) {
        SmsSaveYourself(d->client, SmSaveBoth, True, SmInteractStyleNone, False);
        IceFlush(d->connection);
    }
}
