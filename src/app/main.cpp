#include "mcp/CallExport.h"
#include "mcp/ToolServer.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include <ctime>

#include <dlfcn.h>
#include <unistd.h>

namespace {

constexpr const char* usage = "Usage: quillora [--mcp | --toggle-listening | --suggest-now | --version | --help]\n"
                              "       quillora --export-call UUID [--format txt|srt|vtt|json]\n"
                              "\n"
                              "Reply suggestions during video calls: Quillora transcribes both sides of a call,\n"
                              "suggests answers from your prepared material, and summarises and stores the call.\n"
                              "\n"
                              "  (no switch)          start the desktop app, or bring the running one forward\n"
                              "  --mcp                serve the Model Context Protocol on standard input and output\n"
                              "  --toggle-listening   start or stop listening in the running app\n"
                              "  --suggest-now        ask the running app for a suggestion now\n"
                              "  --export-call UUID   write a stored call to standard output as plain text (txt),\n"
                              "                       SubRip (srt) or WebVTT (vtt) captions, or JSON (json)\n"
                              "  --version            print the version and exit\n"
                              "  --help, -h           print this help and exit\n"
                              "\n"
                              "See quillora(1) for the files it uses and how to register the tool server.\n";

// Where the desktop module lies relative to the executable once installed (QUILLORA_MODULE_DIR, e.g.
// ../lib/x86_64-linux-gnu/quillora from /usr/bin); a build tree keeps it beside the executable instead.
std::string desktopModulePath(const char* argv0)
{
    char self[PATH_MAX] = {};
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    std::string folder = length > 0 ? std::string(self, static_cast<size_t>(length)) : std::string(argv0);
    folder = folder.substr(0, folder.rfind('/') + 1);
    const std::string installed = folder + QUILLORA_MODULE_DIR "/libquillora-desktop.so";
    return ::access(installed.c_str(), F_OK) == 0 ? installed : folder + "libquillora-desktop.so";
}

// The desktop app with everything it links (Qt Widgets, the speech engine, PulseAudio, the
// network stack) lives in a module beside the executable, so the tool server, which a coding agent
// starts for every session, loads none of it.
int runDesktop(int argc, char** argv, long long mainStartedNs)
{
    const std::string path = desktopModulePath(argv[0]);
    // Bound lazily: of the module's thousands of calls into its libraries, start-up makes few, and binding
    // each one at load time costs the first paint a few milliseconds.
    void* module = ::dlopen(path.c_str(), RTLD_LAZY | RTLD_LOCAL);
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

// The first argument the app does not take, or null. A session manager restarts the app with Qt's
// "-session <id>", which Qt reads itself.
const char* unknownArgument(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (std::strcmp(argument, "--toggle-listening") == 0 || std::strcmp(argument, "--suggest-now") == 0) {
            continue;
        }
        if ((std::strcmp(argument, "-session") == 0 || std::strcmp(argument, "--session") == 0) && i + 1 < argc) {
            ++i;
            continue;
        }
        return argument;
    }
    return nullptr;
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
    // A stored call to standard output: the store only, without a window or the session bus.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--export-call") == 0) {
            return callExport::runCommand(argc, argv);
        }
    }
    // These only print, before anything opens the store, the session bus or a display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(usage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("quillora %s\n", QUILLORA_VERSION);
            return 0;
        }
    }
    if (const char* unknown = unknownArgument(argc, argv)) {
        std::fprintf(stderr,
            unknown[0] == '-' ? "quillora: unknown option '%s'\n%s" : "quillora: unexpected argument '%s'\n%s", unknown,
            usage);
        return 2;
    }
    return runDesktop(argc, argv, static_cast<long long>(started.tv_sec) * 1000000000 + started.tv_nsec);
}
