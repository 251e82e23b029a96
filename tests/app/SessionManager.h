#pragma once

#include <QObject>
#include <QString>

#include <functional>

// A small X session manager (XSMP over libSM and libICE) on a local socket of its own, as a desktop
// session runs one: a client given its address in SESSION_MANAGER registers with it, and it asks the
// client to save and then to die, as when the user logs out. One manager and one client at a time;
// lives on the main thread.
class SessionManager : public QObject {
    Q_OBJECT

public:
    SessionManager();
    ~SessionManager() override;

    // The value of SESSION_MANAGER for clients; empty when no socket could be opened.
    const QString& address() const { return m_address; }

    // Logs out: "save yourself" (both global and local state, shutting down, no interaction), then
    // "die" the moment the client answers, right after `beforeDie` has run.
    void logOut(std::function<void()> beforeDie);

Q_SIGNALS:
    void clientRegistered();
    // The client answered the save request; `success` as it said.
    void saveDone(bool success);

private:
    QString m_address;
};
