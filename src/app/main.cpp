#include "mcp/ToolServer.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include <ctime>

#include <dlfcn.h>
#include <unistd.h>

namespace {

// The desktop app with everything it links (Qt Widgets, the speech engine, PulseAudio, the
// network stack) lives in a module beside the executable, so the tool server, which a coding agent
// starts for every session, loads none of it.
int runDesktop(int argc, char** argv, long long mainStartedNs)
{
    char self[PATH_MAX] = {};
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    std::string path = length > 0 ? std::string(self, static_cast<size_t>(length)) : std::string(argv[0]);
    path = path.substr(0, path.rfind('/') + 1) + "libquillora-desktop.so";
    void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        std::fprintf(stderr, "quillora: %s\n", ::dlerror());
        return 1;
    }
    using Entry = int (*)(int, char**, long long);
    const auto entry = reinterpret_cast<Entry>(::dlsym(module, "quilloraDesktopMain"));
    if (!entry) {
        std::fprintf(stderr, "quillora: %s\n", ::dlerror());
        return 1;
    }
    return entry(argc, argv, mainStartedNs);
}

} // namespace

int main(int argc, char** argv)
{
    timespec started {};
    clock_gettime(CLOCK_MONOTONIC, &started);
    // "--mcp" exactly, anywhere among the arguments, selects the tool server.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--mcp") == 0) {
            return runToolServer(argc, argv);
        }
    }
    return runDesktop(argc, argv, static_cast<long long>(started.tv_sec) * 1000000000 + started.tv_nsec);
}
