#include "SessionManager.h"

#include <QSocketNotifier>
#include <QStringList>

#include <X11/ICE/ICElib.h>
#include <X11/SM/SMlib.h>

#include <cstdlib>
#include <functional>
#include <utility>

namespace {

// The one manager's state, reached from libSM's callbacks.
SessionManager* g_owner = nullptr;
int g_listenCount = 0;
IceListenObj* g_listeners = nullptr;
IceConn g_connection = nullptr;
QSocketNotifier* g_connectionNotifier = nullptr;
SmsConn g_client = nullptr;
std::function<void()> g_beforeDie;

Bool anyLocalHost(char*)
{
    return True;
}

void drop()
{
    if (g_client) {
        SmsCleanUp(std::exchange(g_client, nullptr));
    }
    if (g_connectionNotifier) {
        g_connectionNotifier->setEnabled(false);
        std::exchange(g_connectionNotifier, nullptr)->deleteLater();
    }
    if (g_connection) {
        IceSetShutdownNegotiation(g_connection, False);
        IceCloseConnection(std::exchange(g_connection, nullptr));
    }
}

Status registerClient(SmsConn client, SmPointer, char* previousId)
{
    char* id = previousId ? previousId : SmsGenerateClientID(client);
    const Status status = SmsRegisterClientReply(client, id);
    std::free(id);
    QMetaObject::invokeMethod(g_owner, &SessionManager::clientRegistered, Qt::QueuedConnection);
    return status;
}

void saveYourselfDone(SmsConn client, SmPointer, Bool success)
{
    if (g_beforeDie) {
        // As a logout goes on once every client has answered: at once, before the client runs anything more.
        g_beforeDie();
        SmsDie(client);
        IceFlush(SmsGetIceConnection(client));
    }
    QMetaObject::invokeMethod(
        g_owner, [success] { Q_EMIT g_owner->saveDone(success != False); }, Qt::QueuedConnection);
}

Status newClient(SmsConn client, SmPointer, unsigned long* mask, SmsCallbacks* callbacks, char**)
{
    g_client = client;
    *mask = SmsRegisterClientProcMask | SmsInteractRequestProcMask | SmsInteractDoneProcMask
        | SmsSaveYourselfRequestProcMask | SmsSaveYourselfP2RequestProcMask | SmsSaveYourselfDoneProcMask
        | SmsCloseConnectionProcMask | SmsSetPropertiesProcMask | SmsDeletePropertiesProcMask
        | SmsGetPropertiesProcMask;
    callbacks->register_client.callback = registerClient;
    callbacks->interact_request.callback = [](SmsConn c, SmPointer, int) { SmsInteract(c); };
    callbacks->interact_done.callback = [](SmsConn, SmPointer, Bool) {};
    callbacks->save_yourself_request.callback = [](SmsConn, SmPointer, int, Bool, int, Bool, Bool) {};
    callbacks->save_yourself_phase2_request.callback = [](SmsConn c, SmPointer) { SmsSaveYourselfPhase2(c); };
    callbacks->save_yourself_done.callback = saveYourselfDone;
    callbacks->close_connection.callback = [](SmsConn, SmPointer, int count, char** reasons) {
        SmFreeReasons(count, reasons);
        QMetaObject::invokeMethod(
            g_owner, [] { drop(); }, Qt::QueuedConnection);
    };
    callbacks->set_properties.callback = [](SmsConn, SmPointer, int count, SmProp** properties) {
        for (int i = 0; i < count; ++i) {
            SmFreeProperty(properties[i]);
        }
        std::free(properties);
    };
    callbacks->delete_properties.callback = [](SmsConn, SmPointer, int count, char** names) {
        SmFreeReasons(count, names); // frees each name and the list, as it frees reasons
    };
    callbacks->get_properties.callback = [](SmsConn c, SmPointer) { SmsReturnProperties(c, 0, nullptr); };
    return True;
}

void accept(IceListenObj listener)
{
    IceAcceptStatus status = IceAcceptSuccess;
    IceConn accepted = IceAcceptConnection(listener, &status);
    if (!accepted || status != IceAcceptSuccess) {
        return;
    }
    drop(); // one client at a time
    g_connection = accepted;
    g_connectionNotifier = new QSocketNotifier(IceConnectionNumber(accepted), QSocketNotifier::Read, g_owner);
    QObject::connect(g_connectionNotifier, &QSocketNotifier::activated, g_owner, [] {
        if (g_connection && IceProcessMessages(g_connection, nullptr, nullptr) == IceProcessMessagesIOError) {
            drop();
        }
    });
}

} // namespace

SessionManager::SessionManager()
{
    g_owner = this;
    // libICE's default handlers end the process; a client that goes away is only a closed connection here.
    IceSetIOErrorHandler([](IceConn) {});
    IceSetErrorHandler([](IceConn, Bool, int, unsigned long, int, int, IcePointer) {});
    SmsSetErrorHandler([](SmsConn, Bool, int, unsigned long, int, int, SmPointer) {});
    char error[256] = {};
    if (!SmsInitialize("Quillora tests", "1.0", newClient, nullptr, anyLocalHost, sizeof error, error)
        || !IceListenForConnections(&g_listenCount, &g_listeners, sizeof error, error)) {
        qWarning("session manager: %s", error);
        return;
    }
    QStringList local;
    for (int i = 0; i < g_listenCount; ++i) {
        IceListenObj listener = g_listeners[i];
        IceSetHostBasedAuthProc(listener, anyLocalHost);
        char* id = IceGetListenConnectionString(listener);
        // Only the local socket: nothing of the test is reachable over the network.
        if (QString::fromLatin1(id).startsWith(QLatin1String("local/"))) {
            local.append(QString::fromLatin1(id));
            auto* notifier = new QSocketNotifier(IceGetListenConnectionNumber(listener), QSocketNotifier::Read, this);
            connect(notifier, &QSocketNotifier::activated, this, [listener] { accept(listener); });
        }
        std::free(id);
    }
    m_address = local.join(u',');
}

SessionManager::~SessionManager()
{
    drop();
    if (g_listeners) {
        IceFreeListenObjs(g_listenCount, std::exchange(g_listeners, nullptr));
    }
    g_beforeDie = nullptr;
    g_owner = nullptr;
}

void SessionManager::logOut(std::function<void()> beforeDie)
{
    g_beforeDie = std::move(beforeDie);
    if (g_client) {
        SmsSaveYourself(g_client, SmSaveBoth, True, SmInteractStyleNone, False);
        IceFlush(g_connection);
    }
}
