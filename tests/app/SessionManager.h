#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

// A small X session manager (XSMP over libSM and libICE) on a local socket of its own, as a desktop
// session runs one: clients given its address in SESSION_MANAGER register with it, and it asks them to
// save and then to die, as when the user logs out. One client at a time; lives on the main thread.
class SessionManager : public QObject {
    Q_OBJECT

public:
    explicit SessionManager(QObject* parent = nullptr);
    ~SessionManager() override;

    // The value of SESSION_MANAGER for clients; empty when no socket could be opened.
    const QString& address() const { return m_address; }
    bool hasClient() const;

    // Logs out: "save yourself" (both global and local state, shutting down, no interaction), then
    // "die" the moment the client answers, right after `beforeDie` has run.
    void logOut(std::function<void()> beforeDie);

Q_SIGNALS:
    void clientRegistered();
    // The client answered the save request; `success` as it said.
    void saveDone(bool success);
    void clientGone();

public:
    struct Private;

private:
    std::unique_ptr<Private> d;
    QString m_address;
};
