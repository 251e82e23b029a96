#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>

// A PipeWire daemon of the test's own, in a throw-away runtime folder that this process's clients
// reach through PIPEWIRE_RUNTIME_DIR. It serves the video graph only: PulseAudio keeps the sound.
class PrivatePipeWire {
public:
    PrivatePipeWire();
    ~PrivatePipeWire();

    // Starts the daemon and waits for its socket; the error text says why it could not run.
    bool start(QString* error);
    // Ends the daemon at once, as a crash would, and waits until it is gone.
    void kill();
    // Points this process's clients at this daemon again.
    void select() const;

private:
    QTemporaryDir m_runtime;
    QProcess m_daemon;
};

// A stand-in for a compositor's screen capture: a video source stream named like the compositor's,
// a consumer stream like the one a video-call app opens, and the link between them.
class CaptureClient {
public:
    CaptureClient();
    ~CaptureClient();

    bool isConnected() const;
    // Creates the source (named `sourceName`) and the consumer, and links them once both exist.
    void startCapture(const QByteArray& sourceName);
    // Removes both streams, and with them the link.
    void stopCapture();

    struct Impl; // reached by PipeWire's callbacks

private:
    std::unique_ptr<Impl> m_impl;
};
