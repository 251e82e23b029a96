#include "mcp/ToolServer.h"

#include "store/StorePaths.h"

#include <cstdio>
#include <iostream>
#include <string>

int runToolServer(int argc, char** argv)
{
    Q_UNUSED(argc);
    Q_UNUSED(argv);
    auto store = storePaths::makeContainer(false);
    if (!store) {
        std::fprintf(stderr, "quillora --mcp: could not open %s: %s\n", qUtf8Printable(storePaths::storeURL()),
                     qUtf8Printable(store.error().message));
        return 1;
    }
    std::string line;
    while (std::getline(std::cin, line)) {
    }
    return 0;
}
