#include "app/startup/DesktopStart.h"
#include "mcp/ToolServer.h"

#include <cstring>

int main(int argc, char** argv)
{
    // "--mcp" exactly, anywhere among the arguments, selects the tool server.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--mcp") == 0) {
            return runToolServer(argc, argv);
        }
    }
    return runDesktopApp(argc, argv);
}
