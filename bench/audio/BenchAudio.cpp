// Prints one figure a line, "name value unit":
//   audio.server_thread_cpu_ms_per_s_before  processor time the capture's callbacks take on the sound
//                                            server's two threads ("Quillora.Microphone",
//                                            "Quillora.SystemAudioTap") per second of two 48 kHz streams,
//                                            the on-device engine listening, with the per-buffer work done
//                                            there as it used to be: the level and the conversion inline,
//                                            then the hand-off to the decoder
//   audio.server_thread_cpu_ms_per_s_after   the same with the transcription service as it is: the
//                                            callbacks copy into a ring and wake the source's audio thread
//   audio.server_thread_ratio                after / before
//   audio.server_thread_total_cpu_ms_per_s_before, _after
//                                            the whole two threads, the sound server library's own reading
//                                            of the streams included
//   audio.server_thread_idle_cpu_ms_per_s    the whole two threads with callbacks that do nothing: that
//                                            library's own share, which no callback removes
// The callbacks are timed with the thread's processor clock around each call. Each figure is the
// median of three interleaved runs. Needs the PulseAudio daemon of scripts/with-services and the
// en-US speech model.
#include "ThreadCpu.h"
#include "audio/AudioCaptureService.h"
#include "audio/PulseCapture.h"
#include "fakes/PulseTestSupport.h"
#include "settings/Settings.h"
#include "transcription/PocketSphinxRecognizer.h"
#include "transcription/TranscriptionService.h"

#include <QCoreApplication>
#include <QCoroTask>
#include <QDir>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

namespace {

// The application's own settings file, in the throw-away home of scripts/with-services.
Settings& appSettings()
{
    static Settings settings;
    return settings;
}

constexpr int streamSeconds = 10;
constexpr int rounds = 3;

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

// Recorded speech at 48 kHz, longer than one measured run.
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

struct Figures {
    double callbackMs = -1; // in the callbacks, per second of the streams
    double totalMs = -1; // the whole threads, per second of the streams
};

// What the two callback threads spend while `file` plays into both sinks; negative when the
// threads were not found.
Figures measure(const QString& file)
{
    runFor(1000); // the streams settle
    const QList<pid_t> threads = threadCpu::named("Quillora.Microphone") + threadCpu::named("Quillora.SystemAudioTap");
    if (threads.size() != 2) {
        std::printf("# found %lld callback threads, expected 2\n", static_cast<long long>(threads.size()));
        return {};
    }
    // Players of our own, so that they end with the run rather than with the sound server.
    std::vector<std::unique_ptr<QProcess>> players;
    for (const QString& sink : { Sinks48k::outName(), Sinks48k::micName() }) {
        players.push_back(std::make_unique<QProcess>());
        players.back()->start(QStringLiteral("paplay"), { QStringLiteral("-d"), sink, file });
    }
    const double threadsBefore = threadCpu::seconds(threads);
    const qint64 callbacksBefore = PulseCapture::handlerTimeNs();
    runFor(streamSeconds * 1000);
    const Figures figures { double(PulseCapture::handlerTimeNs() - callbacksBefore) / 1e6 / streamSeconds,
        (threadCpu::seconds(threads) - threadsBefore) * 1000 / streamSeconds };
    for (auto& player : players) {
        player->kill();
        player->waitForFinished(5000);
    }
    return figures;
}

// The two sound-server streams of the capture service, with a handler of the caller's on the
// server's threads. The microphone's handler gets 4096-frame blocks, as the capture hands on.
class RawStreams {
public:
    using Work = std::function<void(const AudioBufferView&)>;

    bool start(Work micWork, Work systemWork)
    {
        m_micWork = std::move(micWork);
        if (!m_mic.open() || !m_system.open()) {
            return false;
        }
        const AudioFormat micFormat = m_mic.format();
        m_block.assign(size_t(AudioCaptureService::microphoneBufferFrames * micFormat.channelCount), 0.0f);
        const auto micBlocks = [this, micFormat](const AudioBufferView& buffer) {
            const size_t blockBytes = m_block.size() * sizeof(float);
            const size_t bytes = size_t(buffer.frameCount * micFormat.bytesPerFrame());
            for (size_t offset = 0; offset < bytes;) {
                const size_t take = std::min(bytes - offset, blockBytes - m_fill);
                std::memcpy(reinterpret_cast<std::byte*>(m_block.data()) + m_fill, buffer.data + offset, take);
                m_fill += take;
                offset += take;
                if (m_fill == blockBytes) {
                    m_micWork(AudioBufferView { micFormat, reinterpret_cast<const std::byte*>(m_block.data()),
                        AudioCaptureService::microphoneBufferFrames });
                    m_fill = 0;
                }
            }
        };
        return m_mic.start(micBlocks, [](const QString&) {}) && m_system.start(systemWork, [](const QString&) {});
    }

private:
    Work m_micWork;
    std::vector<float> m_block;
    size_t m_fill = 0;
    // Last, so that the streams end before what their handlers use goes.
    PulseCapture m_mic { PulseCapture::Source::defaultInput, AudioCaptureService::microphoneBufferFrames,
        "Quillora.Microphone" };
    PulseCapture m_system { PulseCapture::Source::defaultOutputMonitor, 0, "Quillora.SystemAudioTap" };
};

Figures idle(const QString& file)
{
    RawStreams streams;
    if (!streams.start([](const AudioBufferView&) {}, [](const AudioBufferView&) {})) {
        return {};
    }
    return measure(file);
}

// The work each buffer used to get on the sound server's thread: its level, posted to the main
// thread, then the engine's feed, which converts and hands the audio to the decoder.
Figures inlineWork(const QString& file, const SpeechModel& model)
{
    QObject meter;
    float shown = 0;
    PocketSphinxRecognizer me(model, QStringLiteral("Quillora.SpeechRecognizer.me"));
    PocketSphinxRecognizer them(model, QStringLiteral("Quillora.SpeechRecognizer.them"));
    if (!QCoro::waitFor(me.start()) || !QCoro::waitFor(them.start())) {
        return {};
    }
    const auto work = [&meter, &shown](SpeechEngine& engine) {
        return [&meter, &shown, &engine](const AudioBufferView& buffer) {
            const float value = AudioCaptureService::level(buffer);
            QMetaObject::invokeMethod(
                &meter, [&shown, value] { shown = value; }, Qt::QueuedConnection);
            engine.feed(buffer);
        };
    };
    RawStreams streams;
    if (!streams.start(work(me), work(them))) {
        return {};
    }
    return measure(file);
}

Figures service(const QString& file)
{
    TranscriptionService service(nullptr, TranscriptionService::Options { &appSettings(), {}, nullptr });
    QCoro::waitFor(service.start());
    if (!service.isRunning()) {
        std::printf("# the service did not start: %s\n", qPrintable(service.status().value_or(QString())));
        return {};
    }
    const Figures figures = measure(file);
    QCoro::waitFor(service.stop());
    return figures;
}

double median(const std::vector<Figures>& runs, double Figures::*figure)
{
    std::vector<double> values;
    for (const Figures& run : runs) {
        values.push_back(run.*figure);
    }
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (!pulseTest::ready()) {
        std::printf("# skipped: needs the PulseAudio daemon of scripts/with-services\n");
        return 0;
    }
    Settings& settings = appSettings();
    settings.setText(SettingKey::transcriptionEngine, QStringLiteral("apple"));
    settings.setText(SettingKey::speechLocale, QStringLiteral("en-US"));
    const std::optional<SpeechModel> model = speechModels::find(QStringLiteral("en-US"));
    QTemporaryDir dir;
    const QString file = speechFile(dir);
    Sinks48k sinks;
    if (!model || file.isEmpty() || !sinks.ok()) {
        std::printf("# skipped: no en-US speech model, no speech fixture or no 48 kHz sinks\n");
        return 0;
    }
    PulseCapture::countHandlerTime(true);
    std::vector<Figures> idles;
    std::vector<Figures> befores;
    std::vector<Figures> afters;
    for (int round = 0; round < rounds; ++round) {
        idles.push_back(idle(file));
        befores.push_back(inlineWork(file, *model));
        afters.push_back(service(file));
    }
    // The timing's own cost, the same for every call, is what the empty callbacks took.
    const double timing = median(idles, &Figures::callbackMs);
    const double before = median(befores, &Figures::callbackMs) - timing;
    const double after = std::max(0.0, median(afters, &Figures::callbackMs) - timing);
    if (before <= 0 || after < 0) {
        return 1;
    }
    print("audio.server_thread_cpu_ms_per_s_before", before, "ms");
    print("audio.server_thread_cpu_ms_per_s_after", after, "ms");
    print("audio.server_thread_ratio", after / before, "x");
    print("audio.server_thread_total_cpu_ms_per_s_before", median(befores, &Figures::totalMs), "ms");
    print("audio.server_thread_total_cpu_ms_per_s_after", median(afters, &Figures::totalMs), "ms");
    print("audio.server_thread_idle_cpu_ms_per_s", median(idles, &Figures::totalMs), "ms");
    return 0;
}
