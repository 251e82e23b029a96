#pragma once

#include <QObject>
#include <QProcessEnvironment>

#include <memory>
#include <thread>

// Follows the session's PipeWire registry and tells whether a compositor is sharing the screen
// (CaptureGraph's rule). PipeWire runs its own loop on a thread of its own; what the registry reports
// is classified there and only the outcome is handed to this object's thread, queued.
class ScreenShareWatcher : public QObject {
    Q_OBJECT

public:
    explicit ScreenShareWatcher(QObject* parent = nullptr);
    ~ScreenShareWatcher() override;

    // Connects to the PipeWire daemon of the session described by `environment`, on a thread of its own,
    // and reports with started(). Without a daemon, or on an X11-only session (where captures do not pass
    // through PipeWire), the watcher stays unavailable. A second call does nothing.
    void start(const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());

    // False when no PipeWire daemon could be reached, the daemon went away or the session is X11-only.
    bool isAvailable() const { return m_available; }
    bool isSharing() const { return m_sharing; }

    // True for a session whose screen captures cannot be seen in the PipeWire graph.
    static bool isX11OnlySession(const QProcessEnvironment& environment);

Q_SIGNALS:
    // Once per start(), after availableChanged() if the watcher became available.
    void started(bool available);
    void availableChanged(bool available);
    void sharingChanged(bool sharing);

private:
    class Loop;
    friend class Loop;

    void finishStart(bool connected);
    void setAvailable(bool available);
    void setSharing(bool sharing);

    bool m_started = false;
    bool m_available = false;
    bool m_sharing = false;
    std::thread m_connecting;
    std::unique_ptr<Loop> m_connected; // handed over by m_connecting, taken by finishStart()
    std::unique_ptr<Loop> m_loop;
};
