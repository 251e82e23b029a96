#pragma once

#include <QObject>

// The store-changed notification between processes: a D-Bus session-bus signal
// (path /Vessaro/Quillora, interface Vessaro.Quillora, member storeChanged, no arguments).
// Without a session bus, posting and observing quietly do nothing.
namespace storeSignal {

// Sends the signal and waits until the bus has taken it, so a process that exits right
// after posting does not lose it.
void postStoreChanged();

} // namespace storeSignal

// Emits `changed` on the main thread for every storeChanged signal on the session bus.
class StoreChangeObserver : public QObject {
    Q_OBJECT

public:
    explicit StoreChangeObserver(QObject* parent);

    bool isConnected() const { return m_connected; }

Q_SIGNALS:
    void changed();

private Q_SLOTS:
    void onSignal();

private:
    bool m_connected = false;
};
