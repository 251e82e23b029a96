// Start-up and idle figures of the desktop app, one per line as "name value unit": process start
// to the first window mapped on the X server, against a bare Qt Widgets window started the same
// way in the same run; main() to the first paint, from the app's start-up trace; resident memory once
// idle; processor use while listening to silence.

#include "BenchFigures.h"
#include "common/Uuid.h"
#include "records/Records.h"
#include "store/Store.h"
#include "store/StoreContext.h"

#include <xcb/xcb.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using bench::median;
using bench::print;

using Steady = bench::Steady;

// A store of 50 assistants and 1,000 calls, as a user with some history has.
bool seedStore(const QString& path)
{
    auto store = Store::open(path);
    if (!store) {
        return false;
    }
    auto context = (*store)->newContext();
    for (int a = 0; a < 50; ++a) {
        const Assistant assistant = Assistant::make(QStringLiteral("Assistant %1").arg(a), AssistantTemplate::blank);
        context->insert(assistant);
        for (int c = 0; c < 20; ++c) {
            Call call;
            call.id = uuid::create();
            call.startedAt = QDateTime::currentDateTimeUtc().addDays(-c - a);
            call.endedAt = call.startedAt.addSecs(600);
            call.assistant = assistant.id;
            call.summary = QStringLiteral("Summary: a call.");
            QList<CallLine> lines;
            for (int l = 0; l < 50; ++l) {
                lines.append(CallLine { l % 2 == 0, QStringLiteral("a line of the call number %1").arg(l),
                    call.startedAt.addSecs(l * 10) });
            }
            call.linesData = blob::encodeLines(lines);
            context->insert(call);
        }
    }
    return context->save().has_value();
}

// Milliseconds from starting `program` to the first window it maps (MapNotify on the root window).
double startToMapped(xcb_connection_t* x, QProcess& process, const QString& program, const QStringList& arguments)
{
    xcb_generic_event_t* pending = nullptr;
    while ((pending = xcb_poll_for_event(x)) != nullptr) {
        free(pending);
    }
    const auto started = Steady::now();
    process.start(program, arguments);
    const auto deadline = started + std::chrono::seconds(20);
    while (Steady::now() < deadline) {
        xcb_generic_event_t* event = xcb_poll_for_event(x);
        if (!event) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            continue;
        }
        const bool mapped = (event->response_type & 0x7f) == XCB_MAP_NOTIFY;
        free(event);
        if (mapped) {
            return std::chrono::duration<double, std::milli>(Steady::now() - started).count();
        }
    }
    return -1;
}

void stop(QProcess& process)
{
    process.terminate();
    if (!process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

// The app's own "First paint after N ms" (from main()), from its start-up trace on stderr.
double firstPaintMs(QProcess& process)
{
    const auto deadline = Steady::now() + std::chrono::seconds(10);
    QByteArray seen;
    while (Steady::now() < deadline) {
        process.waitForReadyRead(100);
        seen += process.readAllStandardError();
        const qsizetype at = seen.indexOf("First paint after ");
        const qsizetype end = at < 0 ? -1 : seen.indexOf(" ms", at);
        if (end > 0) {
            const qsizetype from = at + qsizetype(sizeof "First paint after ") - 1;
            return seen.mid(from, end - from).toDouble();
        }
    }
    return -1;
}

double residentMB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
        }
    }
    return -1;
}

// User and system processor seconds of a process so far.
double cpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) {
        return -1;
    }
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return (fields.at(11).toDouble() + fields.at(12).toDouble()) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

} // namespace

int main(int argc, char** argv)
{
    // "--bare-window": the reference, a plain Qt Widgets window and nothing else.
    if (argc > 1 && QByteArray(argv[1]) == "--bare-window") {
        QApplication app(argc, argv);
        QWidget window;
        window.resize(400, 600);
        window.show();
        return app.exec();
    }
    QCoreApplication app(argc, argv);
    const QString binary = QStringLiteral(QUILLORA_BINARY);
    QTemporaryDir home;
    const QString data = home.filePath(QStringLiteral("data"));
    if (!seedStore(data + QStringLiteral("/Quillora/Assistants.store"))) {
        std::fprintf(stderr, "bench: could not seed the store\n");
        return 1;
    }
    {
        QSettings settings(home.filePath(QStringLiteral("config/Vessaro/Quillora.conf")), QSettings::IniFormat);
        settings.setValue(QStringLiteral("onboardingDone"), true);
        settings.setValue(QStringLiteral("transcriptionEngine"), QStringLiteral("apple"));
        settings.setValue(QStringLiteral("speechLocale"), QStringLiteral("en-US"));
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("XDG_DATA_HOME"), data);
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));

    xcb_connection_t* x = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(x)) {
        std::fprintf(stderr, "bench: no X server (run under scripts/with-services)\n");
        return 1;
    }
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(x)).data;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(x, screen->root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(x);

    QProcessEnvironment traced = environment;
    traced.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("Vessaro.Quillora.startup.debug=true"));
    std::vector<double> ours;
    std::vector<double> painted;
    std::vector<double> bare;
    for (int round = 0; round < 7; ++round) {
        QProcess quillora;
        quillora.setProcessEnvironment(traced);
        ours.push_back(startToMapped(x, quillora, binary, {}));
        painted.push_back(firstPaintMs(quillora));
        stop(quillora);
        QProcess reference;
        reference.setProcessEnvironment(environment);
        bare.push_back(
            startToMapped(x, reference, QCoreApplication::applicationFilePath(), { QStringLiteral("--bare-window") }));
        stop(reference);
    }
    print("app.start_to_window_mapped_ms", median(ours), "ms");
    print("app.bare_window_start_to_mapped_ms", median(bare), "ms");
    print("app.start_ratio_vs_bare_window", median(ours) / median(bare), "x");
    print("app.main_to_first_paint_ms", median(painted), "ms");

    // Idle, then listening to silence with the window showing its meters.
    QProcess quillora;
    quillora.setProcessEnvironment(environment);
    if (startToMapped(x, quillora, binary, {}) < 0) {
        std::fprintf(stderr, "bench: the app did not show its window\n");
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::seconds(3));
    print("app.idle_resident_mb", residentMB(quillora.processId()), "MB");
    QDBusConnection::sessionBus().call(QDBusMessage::createMethodCall(QStringLiteral("Vessaro.Quillora"),
        QStringLiteral("/Vessaro/Quillora"), QStringLiteral("Vessaro.Quillora"), QStringLiteral("ToggleListening")));
    std::this_thread::sleep_for(std::chrono::seconds(3));
    const double before = cpuSeconds(quillora.processId());
    const auto measured = Steady::now();
    std::this_thread::sleep_for(std::chrono::seconds(10));
    const double used = cpuSeconds(quillora.processId()) - before;
    const double wall = std::chrono::duration<double>(Steady::now() - measured).count();
    print("app.listening_to_silence_cpu_percent", 100.0 * used / wall, "%");
    print("app.listening_resident_mb", residentMB(quillora.processId()), "MB");
    stop(quillora);
    xcb_disconnect(x);
    return 0;
}
