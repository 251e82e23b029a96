#include "app/bus/BusActions.h"
#include "app/startup/DesktopStart.h"
#include "mcp/ToolServer.h"

#include <cstring>
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

int main(int argc, char** argv)
{
    // "--mcp" exactly, anywhere among the arguments, selects the tool server.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--mcp") == 0) {
            return runToolServer(argc, argv);
        }
    }
    if (const auto command = busSwitch(argc, argv)) {
        return runBusCommand(argc, argv, *command);
    }
    return runDesktopApp(argc, argv);
}
