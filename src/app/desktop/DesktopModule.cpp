#include "app/bus/BusActions.h"
#include "app/startup/DesktopStart.h"

#include <QtGlobal>

#include <optional>

namespace {

// "--toggle-listening" or "--suggest-now", anywhere among the arguments, drives the running
// desktop app instead of starting one.
std::optional<BusCommand> busSwitch(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (const auto command = busActions::commandForSwitch(argv[i])) {
            return command;
        }
    }
    return std::nullopt;
}

} // namespace

// The desktop side of the executable, loaded only when it is needed (see main.cpp). `mainStartedNs`
// is when main() began on the monotonic clock, for the start-up trace.
extern "C" Q_DECL_EXPORT int quilloraDesktopMain(int argc, char** argv, long long mainStartedNs)
{
    if (const auto command = busSwitch(argc, argv)) {
        return runBusCommand(argc, argv, *command);
    }
    return runDesktopApp(argc, argv, mainStartedNs);
}
