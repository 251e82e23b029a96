#include "mcp/ToolServer.h"

#include "mcp/ExecutableStamp.h"
#include "mcp/JsonRpc.h"
#include "mcp/JsonText.h"
#include "mcp/LineReader.h"
#include "mcp/WriteAll.h"
#include "store/StoreContext.h"
#include "store/StorePaths.h"
#include "store/StoreSignal.h"

#include <QCoreApplication>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include <unistd.h>

namespace {

// Only spaces and tabs (or nothing): skipped without a response.
bool isBlank(const QByteArray& line)
{
    return std::all_of(line.begin(), line.end(), [](char c) { return c == ' ' || c == '\t'; });
}

} // namespace

int runToolServer(int argc, char** argv)
{
    // With TZ unset, glibc re-reads /etc/localtime on every local-time conversion; naming the
    // same file once lets it keep what it read. A call's transcript has a date per line.
    if (std::getenv("TZ") == nullptr && ::access("/etc/localtime", R_OK) == 0) {
        ::setenv("TZ", ":/etc/localtime", 0);
    }
    // QtDBus wants an application object for the store-changed signal; no window is made.
    QCoreApplication application(argc, argv);

    // A damaged store is refused, never written to; the desktop app sets it aside when it next starts.
    auto store = storePaths::openCheckedContainer().store;
    if (!store) {
        std::fprintf(stderr, "quillora --mcp: could not open %s: %s\n", qUtf8Printable(storePaths::storeURL()),
            qUtf8Printable(store.error().message));
        return 1;
    }
    const ExecutableStamp executable(ExecutableStamp::runningExecutable(argc > 0 ? argv[0] : nullptr));
    const auto wasUpdated = [&executable] { return executable.wasUpdated(); };

    // A client that closed its end makes write() fail with EPIPE instead of killing us.
    std::signal(SIGPIPE, SIG_IGN);

    bool ending = false;
    const auto respond = [&](const QByteArray& response) {
        if (!writeAll(STDOUT_FILENO, response + '\n')) {
            ending = true;
        }
    };
    const auto handle = [&](const QByteArray& line) {
        if (ending || isBlank(line)) {
            return;
        }
        const std::unique_ptr<StoreContext> context = (*store)->newContext();
        RequestState state { *context };
        if (const auto response = jsonRpc::handleLine(line, state, wasUpdated)) {
            respond(*response);
        }
        if (state.exit) {
            ending = true;
            return;
        }
        if (state.changed) {
            storeSignal::postStoreChanged();
        }
    };
    // An overlong line is answered under its id when one can be read from it as it passes.
    jsonText::IdScanner overlongLine;
    const auto overlong = [&] {
        if (!ending) {
            respond(jsonRpc::overlongLineResponse(overlongLine.id()));
        }
        overlongLine = {};
    };
    LineReader reader({ handle, overlong, [&](QByteArrayView bytes) { overlongLine.feed(bytes); } });

    static constexpr size_t chunkBytes = 64 * 1024;
    char chunk[chunkBytes];
    while (!ending) {
        const ssize_t received = ::read(STDIN_FILENO, chunk, chunkBytes);
        if (received < 0 && errno == EINTR) {
            continue;
        }
        if (received <= 0) {
            reader.finish();
            break;
        }
        reader.feed(chunk, received);
    }
    return 0;
}
