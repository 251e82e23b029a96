// Prints one figure a line, "name value unit":
//   audio.server_thread_cpu_ms_per_s_before   processor time of the two PulseAudio callback threads
//                                             ("Quillora.Microphone", "Quillora.SystemAudioTap") per
//                                             second of two 48 kHz streams, on-device engine listening
// Needs the PulseAudio daemon of scripts/with-services and the en-US speech model.
#include "fakes/PulseTestSupport.h"
#include "store/Settings.h"
#include "transcription/TranscriptionService.h"

#include <QCoreApplication>
#include <QCoroTask>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTimer>

#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

namespace {

constexpr int streamSeconds = 20;

void print(const char* name, double value, const char* unit)
{
    std::printf("%s %.3f %s\n", name, value, unit);
    std::fflush(stdout);
}

void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// The threads of this process whose name starts with `prefix` (names are cut at 15 bytes).
QList<pid_t> threadsNamed(const QByteArray& prefix)
{
    QList<pid_t> tids;
    for (const QString& task : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(QStringLiteral("/proc/self/task/%1/comm").arg(task));
        if (comm.open(QIODevice::ReadOnly) && prefix.startsWith(comm.readAll().trimmed())) {
            tids.append(task.toInt());
        }
    }
    return tids;
}

// Processor seconds of one thread of this process, read through its CPU-time clock.
double threadCpuSeconds(pid_t tid)
{
    const clockid_t clock = (~clockid_t(tid) << 3) | 6; // per-thread, scheduler clock
    timespec value {};
    if (clock_gettime(clock, &value) != 0) {
        return 0;
    }
    return double(value.tv_sec) + double(value.tv_nsec) / 1e9;
}

struct ServerThreads {
    QList<pid_t> tids;
    double cpuSeconds() const
    {
        double sum = 0;
        for (pid_t tid : tids) {
            sum += threadCpuSeconds(tid);
        }
        return sum;
    }
    static ServerThreads find()
    {
        ServerThreads threads;
        threads.tids = threadsNamed("Quillora.Microphone") + threadsNamed("Quillora.SystemAudioTap");
        return threads;
    }
};

// Two 48 kHz null sinks for the run: one is the default output (system audio), the other's
// monitor the default input (microphone). The suite's own sinks keep whatever rate they have.
class Sinks48k {
public:
    Sinks48k()
    {
        m_previousSink = pulseTest::pactl({ QStringLiteral("get-default-sink") }).value_or(QStringLiteral("callout"));
        m_previousSource =
            pulseTest::pactl({ QStringLiteral("get-default-source") }).value_or(QStringLiteral("micfeed.monitor"));
        for (const QString& name : { outName(), micName() }) {
            if (auto module = pulseTest::pactl({ QStringLiteral("load-module"), QStringLiteral("module-null-sink"),
                    QStringLiteral("sink_name=") + name, QStringLiteral("rate=48000") })) {
                m_modules.append(*module);
            }
        }
        m_ok = m_modules.size() == 2 && pulseTest::pactl({ QStringLiteral("set-default-sink"), outName() })
            && pulseTest::pactl({ QStringLiteral("set-default-source"), micName() + QStringLiteral(".monitor") });
    }
    ~Sinks48k()
    {
        pulseTest::pactl({ QStringLiteral("set-default-sink"), m_previousSink });
        pulseTest::pactl({ QStringLiteral("set-default-source"), m_previousSource });
        for (const QString& module : m_modules) {
            pulseTest::pactl({ QStringLiteral("unload-module"), module });
        }
    }
    bool ok() const { return m_ok; }
    static QString outName() { return QStringLiteral("bench48out"); }
    static QString micName() { return QStringLiteral("bench48mic"); }

private:
    QString m_previousSink;
    QString m_previousSource;
    QStringList m_modules;
    bool m_ok = false;
};

// Recorded speech at 48 kHz, a little longer than one measured run.
QString speechFile(QTemporaryDir& dir)
{
    const QString librivox = QStringLiteral("/usr/share/pocketsphinx/test/data/librivox/");
    QStringList arguments;
    for (const QString& name : QDir(librivox).entryList({ QStringLiteral("*.wav") }, QDir::Files, QDir::Name)) {
        arguments.append(librivox + name);
    }
    if (arguments.isEmpty()) {
        return {};
    }
    const QString file = dir.filePath(QStringLiteral("speech48k.wav"));
    arguments << QStringLiteral("-r") << QStringLiteral("48000") << QStringLiteral("-c") << QStringLiteral("2") << file
              << QStringLiteral("repeat") << QStringLiteral("2");
    QProcess sox;
    sox.start(QStringLiteral("sox"), arguments);
    return sox.waitForFinished(60000) && sox.exitCode() == 0 ? file : QString();
}

// Processor milliseconds the callback threads spend per second of the two streams while `file`
// plays into both sinks; negative when the threads were not found.
double measure(const QString& file)
{
    runFor(1000); // the streams settle
    const ServerThreads threads = ServerThreads::find();
    if (threads.tids.size() != 2) {
        std::printf("# found %lld callback threads, expected 2\n", static_cast<long long>(threads.tids.size()));
        return -1;
    }
    // Players of our own, so that they end with the run rather than with the sound server.
    std::vector<std::unique_ptr<QProcess>> players;
    for (const QString& sink : { Sinks48k::outName(), Sinks48k::micName() }) {
        players.push_back(std::make_unique<QProcess>());
        players.back()->start(QStringLiteral("paplay"), { QStringLiteral("-d"), sink, file });
    }
    const double before = threads.cpuSeconds();
    runFor(streamSeconds * 1000);
    const double figure = (threads.cpuSeconds() - before) * 1000 / streamSeconds;
    for (auto& player : players) {
        player->kill();
        player->waitForFinished(5000);
    }
    return figure;
}

double withService(const QString& file)
{
    TranscriptionService service;
    QCoro::waitFor(service.start());
    if (!service.isRunning()) {
        std::printf("# the service did not start: %s\n", qPrintable(service.status().value_or(QString())));
        return -1;
    }
    const double figure = measure(file);
    QCoro::waitFor(service.stop());
    return figure;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (!pulseTest::ready()) {
        std::printf("# skipped: needs the PulseAudio daemon of scripts/with-services\n");
        return 0;
    }
    Settings settings;
    settings.setText(settingsKey::transcriptionEngine, QStringLiteral("apple"));
    settings.setText(settingsKey::speechLocale, QStringLiteral("en-US"));
    QTemporaryDir dir;
    const QString file = speechFile(dir);
    Sinks48k sinks;
    if (file.isEmpty() || !sinks.ok()) {
        std::printf("# skipped: no speech fixture or no 48 kHz sinks\n");
        return 0;
    }
    const double before = withService(file);
    if (before >= 0) {
        print("audio.server_thread_cpu_ms_per_s_before", before, "ms");
    }
    return 0;
}
