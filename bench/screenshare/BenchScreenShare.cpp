// bench_screenshare: how soon the app's window hides once a compositor capture starts, and what the
// watcher costs while nothing happens.
//   screenshare.start_to_hidden_ms    from the capture stream's creation in the registry to the window hidden
//   screenshare.idle_cpu_ms_per_s     processor time of the whole process per second while the graph is idle
#include "BenchFigures.h"
#include "app/screenshare/ScreenShareHider.h"
#include "screenshare/CaptureClient.h"
#include "screenshare/ScreenShareWatcher.h"
#include "settings/Settings.h"

#include <QApplication>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <ctime>

namespace {

double processCpuMs()
{
    timespec cpu {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
    return double(cpu.tv_sec) * 1e3 + double(cpu.tv_nsec) / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    PrivatePipeWire daemon;
    QString error;
    if (!daemon.start(&error)) {
        std::fprintf(stderr, "bench_screenshare: %s\n", qUtf8Printable(error));
        return 1;
    }
    QTemporaryDir folder;
    Settings settings(folder.filePath(QStringLiteral("Quillora.conf")), nullptr);
    ScreenShareWatcher watcher;
    ScreenShareHider hider(settings, watcher);
    QProcessEnvironment wayland;
    wayland.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland"));
    watcher.start(wayland);
    if (!bench::spinUntil([&] { return watcher.isAvailable(); })) {
        std::fprintf(stderr, "bench_screenshare: the watcher did not connect\n");
        return 1;
    }
    QWidget window;
    window.resize(400, 600);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        std::fprintf(stderr, "bench_screenshare: no window\n");
        return 1;
    }

    CaptureClient capture;
    std::vector<double> hiddenMs;
    for (int run = 0; run < 15; ++run) {
        const auto started = bench::Steady::now();
        capture.startCapture("meta-screen-cast-src");
        if (!bench::spinUntil([&] { return !window.isVisible(); })) {
            std::fprintf(stderr, "bench_screenshare: the window did not hide\n");
            return 1;
        }
        hiddenMs.push_back(bench::millisecondsSince(started));
        capture.stopCapture();
        if (!bench::spinUntil([&] { return window.isVisible(); })) {
            std::fprintf(stderr, "bench_screenshare: the window did not come back\n");
            return 1;
        }
    }
    bench::print("screenshare.start_to_hidden_ms", bench::median(hiddenMs), "ms");

    // Idle: the watcher waits on PipeWire's loop; nothing in the graph changes.
    window.hide();
    const int idleSeconds = 3;
    const double cpuBefore = processCpuMs();
    const auto idleStart = bench::Steady::now();
    QEventLoop idle;
    QTimer::singleShot(std::chrono::seconds(idleSeconds), &idle, &QEventLoop::quit);
    idle.exec();
    const double seconds = bench::millisecondsSince(idleStart) / 1000.0;
    bench::print("screenshare.idle_cpu_ms_per_s", (processCpuMs() - cpuBefore) / seconds, "ms/s");
    return 0;
}
