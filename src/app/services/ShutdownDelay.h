#pragma once

#include <QDBusUnixFileDescriptor>
#include <QObject>

// Holds logind's "delay" inhibitor lock for shutdown while a call needs storing, so that shutting down
// the computer waits until it is: logind announces the shutdown with PrepareForShutdown(true),
// `shutdownAhead` lets the call be stored, and the lock is released right after. Without logind (or a
// system bus) it quietly holds nothing. Lives on the main thread; the bus calls never block it.
class ShutdownDelay : public QObject {
    Q_OBJECT

public:
    explicit ShutdownDelay(QObject* parent);
    ~ShutdownDelay() override;

    // Whether a call needs storing before a shutdown (listening, or its summary still being written).
    void setNeeded(bool needed);
    bool isHeld() const { return m_lock.isValid(); }

Q_SIGNALS:
    // The computer shuts down next: store the call now, before returning.
    void shutdownAhead();
    // The lock was taken or released.
    void heldChanged(bool held);

private Q_SLOTS:
    void onPrepareForShutdown(bool starting);

private:
    void take();
    void release();

    QDBusUnixFileDescriptor m_lock;
    bool m_needed = false;
    bool m_asking = false;
    bool m_shuttingDown = false;
    bool m_reportedMissing = false;
};
