#pragma once

#include "common/Error.h"

#include <QDBusConnection>
#include <QObject>

#include <memory>
#include <optional>
#include <string_view>

// The methods of the running desktop app on the session bus (name and interface
// "Vessaro.Quillora", path /Vessaro/Quillora, no arguments, no results).
enum class BusCommand { toggleListening, suggestNow, activate };

namespace busActions {

// "--toggle-listening" and "--suggest-now", the switches that drive the running app.
std::optional<BusCommand> commandForSwitch(std::string_view argument);

// Calls the method on the app that holds the name and waits for its answer. The error says
// when no app runs ("Quillora is not running.") or it did not answer.
Result<void> call(const QDBusConnection& bus, BusCommand command);

} // namespace busActions

// What claim() found.
enum class InstanceClaim {
    owner, // this process holds the name and serves the methods
    otherInstance, // another process holds it and was asked to raise its window
    unclaimed, // no session bus (or it refused the name): the app runs without one-instance
};

// The desktop app's presence on the session bus: it makes the app one instance per session and
// turns the bus methods into signals on the main thread. The object shares its path and
// interface with the storeChanged signal, which it leaves alone.
class BusActions : public QObject {
    Q_OBJECT

public:
    explicit BusActions(QObject* parent);
    BusActions(const QDBusConnection& bus, QObject* parent);
    ~BusActions() override;

    // Exports the methods and takes the name. When another process holds the name, asks it to
    // raise its window and reports otherInstance (the caller exits 0); an error when that one
    // does not answer.
    Result<InstanceClaim> claim();

Q_SIGNALS:
    void toggleListeningRequested();
    void suggestNowRequested();
    void activateRequested();

private:
    class Exported;

    void unexport();

    QDBusConnection m_bus;
    std::unique_ptr<Exported> m_exported;
    bool m_isExported = false;
    bool m_ownsName = false;
};

// `quillora --toggle-listening` / `--suggest-now`: calls the method on the running app;
// 0 when it answered, 1 with a line on standard error otherwise.
int runBusCommand(int argc, char** argv, BusCommand command);
