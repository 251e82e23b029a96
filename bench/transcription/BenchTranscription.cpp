// Prints one figure a line, "name value unit":
//   transcription.capture_cpu_ms_per_audio_s   two 48 kHz streams: level, conversion, turn detection
//   transcription.ondevice_rtf                 decoding time / audio time on the LibriVox set
//   transcription.ondevice_wer, .reference_wer, .wer_ratio   against pocketsphinx_continuous
//   transcription.final_line_delay_median_ms   end of a phrase played into the sink → its line
// and, for PocketSphinx and the Whisper engine on generated models of the real tiny and base shapes
// (`--engine whisper-small` adds small), each in a process of its own, two speakers at once fed in
// real time:
//   transcription.<engine>.cpu_per_audio_s      processor time per second of audio, both speakers
//   transcription.<engine>.line_delay_median_ms end of a spoken phrase → its finished line
//   transcription.<engine>.rss_mb               resident memory while listening
// The delay needs the PulseAudio daemon of scripts/with-services; without it that figure is skipped.
#include "ThreadCpu.h"
#include "audio/AudioCaptureService.h"
#include "common/Clock.h"
#include "fakes/FakeRealtimeServer.h"
#include "fakes/PulseTestSupport.h"
#include "fakes/WavFile.h"
#include "fakes/WhisperModelWriter.h"
#include "settings/Settings.h"
#include "transcription/OpenAITranscriber.h"
#include "transcription/PocketSphinxRecognizer.h"
#include "transcription/TranscriptionService.h"
#include "transcription/WhisperRecognizer.h"

#include <QCoreApplication>
#include <QCoroTask>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <numbers>
#include <thread>

namespace {

// The application's own settings file, in the throw-away home of scripts/with-services.
Settings& appSettings()
{
    static Settings settings;
    return settings;
}

const QString librivox = QStringLiteral("/usr/share/pocketsphinx/test/data/librivox/");

void print(const char* name, double value, const char* unit)
{
    std::printf("%s %.3f %s\n", name, value, unit);
    std::fflush(stdout);
}

void print(const QByteArray& name, double value, const char* unit)
{
    print(name.constData(), value, unit);
}

double cpuSeconds(clockid_t clock)
{
    timespec now {};
    clock_gettime(clock, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

double processCpuSeconds()
{
    return cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
}

// Runs the event loop until `done` holds or the timeout passes.
bool waitUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

QStringList words(const QString& text)
{
    return text.toLower().split(QRegularExpression(QStringLiteral("[^a-z']+")), Qt::SkipEmptyParts);
}

// Word-level edit distance.
qsizetype editDistance(const QStringList& reference, const QStringList& hypothesis)
{
    std::vector<qsizetype> previous(size_t(hypothesis.size() + 1));
    std::vector<qsizetype> current(previous.size());
    for (qsizetype j = 0; j <= hypothesis.size(); ++j) {
        previous[size_t(j)] = j;
    }
    for (qsizetype i = 1; i <= reference.size(); ++i) {
        current[0] = i;
        for (qsizetype j = 1; j <= hypothesis.size(); ++j) {
            const qsizetype substitution = previous[size_t(j - 1)] + (reference[i - 1] == hypothesis[j - 1] ? 0 : 1);
            current[size_t(j)] = std::min({ substitution, previous[size_t(j)] + 1, current[size_t(j - 1)] + 1 });
        }
        std::swap(previous, current);
    }
    return previous[size_t(hypothesis.size())];
}

// Time that follows the position in the audio fed so far, read by the transcribers' workers.
class AudioPositionClock final : public Clock {
public:
    std::atomic<qint64> positionMs { 0 };

    QDateTime now() const override { return QDateTime::fromMSecsSinceEpoch(positionMs, Qt::UTC); }
    qint64 monotonicMs() const override { return positionMs; }
    std::unique_ptr<ClockTimer> createTimer(QObject* context, std::function<void()> action) override
    {
        return Clock::system().createTimer(context, std::move(action));
    }
};

void captureCpu()
{
    // A 48 kHz stream per speaker: 2 s of a voiced tone, then 1 s of silence, repeated.
    constexpr double rate = 48000;
    constexpr qsizetype block = 4096;
    constexpr double seconds = 60;
    std::vector<float> audio(size_t(rate * seconds));
    for (size_t i = 0; i < audio.size(); ++i) {
        const double t = double(i) / rate;
        audio[i] = std::fmod(t, 3.0) < 2.0 ? 0.3f * float(std::sin(2 * std::numbers::pi * 220 * t)) : 0.0f;
    }
    FakeRealtimeServer server;
    AudioPositionClock clock;
    std::vector<std::unique_ptr<OpenAITranscriber>> transcribers;
    for (const float level : { 0.02f, 0.01f }) {
        transcribers.push_back(std::make_unique<OpenAITranscriber>(QStringLiteral("bench"),
            QStringList { QStringLiteral("pt"), QStringLiteral("en") }, level,
            OpenAITranscriber::endpointFor(server.baseUrl()), &clock));
        QCoro::waitFor(transcribers.back()->start());
    }
    waitUntil([&] { return server.connectionCount() == 2; }, 5000);

    const AudioFormat format { rate, 1, SampleType::float32 };
    const double cpuBefore = processCpuSeconds();
    float levels = 0;
    for (size_t offset = 0; offset + block <= audio.size(); offset += block) {
        clock.positionMs = qint64(double(offset) * 1000 / rate);
        const AudioBufferView view { format, reinterpret_cast<const std::byte*>(audio.data() + offset), block };
        for (auto& transcriber : transcribers) {
            levels += AudioCaptureService::level(view);
            transcriber->feed(view);
        }
    }
    for (auto& transcriber : transcribers) {
        transcriber->drain();
    }
    const double cpu = processCpuSeconds() - cpuBefore;
    (void)levels;
    // Includes the loopback server's share of the sends, so it errs on the high side.
    print("transcription.capture_cpu_ms_per_audio_s", cpu * 1000 / seconds, "ms");
}

struct Decoded {
    QString text;
    double seconds = 0;
};

void onDeviceAccuracy()
{
    const std::optional<SpeechModel> model = speechModels::find(QStringLiteral("en-US"));
    QFile references(librivox + QStringLiteral("transcription"));
    if (!model || !references.open(QIODevice::ReadOnly)) {
        std::printf("# on-device figures skipped: no en-US model or no LibriVox set\n");
        return;
    }
    QHash<QString, QString> referenceText;
    for (const QString& line : QString::fromUtf8(references.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const qsizetype open = line.lastIndexOf(QLatin1Char('('));
        referenceText.insert(line.mid(open + 1).chopped(1),
            line.left(open).remove(QStringLiteral("<s>")).remove(QStringLiteral("</s>")).trimmed());
    }

    QString finals;
    PocketSphinxRecognizer recognizer(*model, QStringLiteral("Quillora.SpeechBench"));
    QObject::connect(
        &recognizer, &SpeechEngine::textReported, &recognizer, [&finals](const QString& text, bool isFinal) {
            if (isFinal) {
                finals += text + QLatin1Char(' ');
            }
        });
    QCoro::waitFor(recognizer.start());
    // CPU time of the decoder's own thread: fair on a busy machine.
    const QList<pid_t> decoderThread = threadCpu::named("Quillora.SpeechBench");

    qsizetype ourErrors = 0;
    qsizetype referenceErrors = 0;
    qsizetype referenceWords = 0;
    double audioSeconds = 0;
    double decodeSeconds = 0;
    double decodeCpuSeconds = 0;
    QStringList ids = referenceText.keys();
    ids.sort(); // the decoder adapts from file to file, so the order matters
    for (const QString& id : ids) {
        const QString path = librivox + id + QStringLiteral(".wav");
        const std::optional<WavFile> wav = WavFile::read(path);
        if (!wav) {
            continue;
        }
        finals.clear();
        const double cpuBefore = threadCpu::seconds(decoderThread);
        QElapsedTimer timer;
        timer.start();
        for (size_t offset = 0; offset < wav->samples.size(); offset += 1365) {
            const size_t end = std::min(wav->samples.size(), offset + 1365);
            recognizer.feedSamples(
                std::vector<qint16>(wav->samples.begin() + qsizetype(offset), wav->samples.begin() + qsizetype(end)));
        }
        QCoro::waitFor(recognizer.finish());
        decodeSeconds += double(timer.nsecsElapsed()) / 1e9;
        decodeCpuSeconds += threadCpu::seconds(decoderThread) - cpuBefore;
        audioSeconds += wav->seconds();

        QProcess reference;
        reference.start(QStringLiteral("pocketsphinx_continuous"),
            { QStringLiteral("-infile"), path, QStringLiteral("-logfn"), QStringLiteral("/dev/null") });
        reference.waitForFinished(120000);
        const QString theirs = QString::fromUtf8(reference.readAllStandardOutput());

        const QStringList truth = words(referenceText.value(id));
        referenceWords += truth.size();
        ourErrors += editDistance(truth, words(finals));
        referenceErrors += editDistance(truth, words(theirs));
    }
    if (referenceWords == 0) {
        return;
    }
    const double ourWer = double(ourErrors) / double(referenceWords);
    const double theirWer = double(referenceErrors) / double(referenceWords);
    print("transcription.ondevice_rtf", decodeCpuSeconds / audioSeconds, "x");
    // Wall-clock time depends on what else the machine runs; shown for reference.
    print("transcription.ondevice_rtf_wall", decodeSeconds / audioSeconds, "x");
    print("transcription.ondevice_wer", ourWer * 100, "%");
    print("transcription.reference_wer", theirWer * 100, "%");
    print("transcription.wer_ratio", theirWer > 0 ? ourWer / theirWer : (ourWer > 0 ? INFINITY : 1.0), "x");
}

void finalLineDelay()
{
    if (!pulseTest::ready()) {
        std::printf("# final-line delay skipped: needs the PulseAudio daemon of scripts/with-services\n");
        return;
    }
    QTemporaryDir dir;
    const QStringList phrases { QStringLiteral("where are you going"), QStringLiteral("how are you doing today"),
        QStringLiteral("can you hear me now"), QStringLiteral("see you later"), QStringLiteral("are you there") };
    QStringList files;
    for (const QString& phrase : phrases) {
        files.append(pulseTest::speak(dir, phrase, pulseTest::sinkRate(QStringLiteral("callout"))));
    }
    Settings& settings = appSettings();
    settings.setText(SettingKey::transcriptionEngine, QStringLiteral("apple"));
    settings.setText(SettingKey::speechLocale, QStringLiteral("en-US"));

    // A second capture of the same output marks when the last audible audio left the server.
    using Steady = std::chrono::steady_clock;
    std::atomic<qint64> lastAudibleNs { 0 };
    AudioCaptureService marker;
    marker.setOnSystemBuffer([&lastAudibleNs](const AudioBufferView& buffer) {
        if (AudioCaptureService::level(buffer) > 0.1f) {
            lastAudibleNs = Steady::now().time_since_epoch().count();
        }
    });
    if (!marker.startSystemAudio()) {
        return;
    }
    TranscriptionService service(nullptr, TranscriptionService::Options { &appSettings(), {}, nullptr });
    QCoro::waitFor(service.start());
    if (!service.isRunning()) {
        std::printf("# final-line delay skipped: %s\n", qPrintable(service.status().value_or(QString())));
        return;
    }
    std::vector<double> delays;
    for (const QString& file : files) {
        const qsizetype before = service.lines().size();
        qint64 lineNs = 0;
        auto connection = QObject::connect(
            &service.transcript(), &Transcript::lineAppended, &service, [&lineNs](const TranscriptLine& line) {
                if (line.speaker == Speaker::them) {
                    lineNs = Steady::now().time_since_epoch().count();
                }
            });
        pulseTest::play(file, QStringLiteral("callout"));
        waitUntil([&] { return lineNs != 0 || service.lines().size() > before; }, 10000);
        QObject::disconnect(connection);
        if (lineNs != 0 && lastAudibleNs != 0) {
            delays.push_back(double(lineNs - lastAudibleNs.load()) / 1e6);
        }
        waitUntil([] { return false; }, 800); // let the player and the utterance end
    }
    QCoro::waitFor(service.stop());
    marker.stop();
    if (delays.empty()) {
        return;
    }
    std::sort(delays.begin(), delays.end());
    print("transcription.final_line_delay_median_ms", delays[delays.size() / 2], "ms");
    print("transcription.final_line_delay_max_ms", delays.back(), "ms");
}

double residentMegabytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return 0;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024;
        }
    }
    return 0;
}

// Two speakers at once, in real time: spoken phrases with pauses between them on both channels,
// the other person's a little later than the user's. The delay runs from the feeding of a phrase's
// last sample to the other person's finished line for it.
void engineRun(const QString& engine)
{
    QTemporaryDir dir;
    std::vector<std::unique_ptr<SpeechEngine>> engines;
    const auto feedTo = [](SpeechEngine* engine, std::vector<qint16> samples) {
        static_cast<DecodingEngine*>(engine)->feedSamples(std::move(samples));
    };
    for (int speaker = 0; speaker < 2; ++speaker) {
        const QString thread = QStringLiteral("Quillora.Bench.%1").arg(speaker);
        if (engine == QLatin1String("pocketsphinx")) {
            const std::optional<SpeechModel> model = speechModels::find(QStringLiteral("en-US"));
            if (!model) {
                std::printf("# %s skipped: no en-US model\n", qPrintable(engine));
                return;
            }
            engines.push_back(std::make_unique<PocketSphinxRecognizer>(*model, thread));
        } else {
            const QString path = dir.filePath(engine + QStringLiteral(".bin"));
            if (speaker == 0) {
                const auto size = engine.endsWith(QLatin1String("tiny")) ? whisperModelWriter::Size::tiny
                    : engine.endsWith(QLatin1String("base"))             ? whisperModelWriter::Size::base
                                                                         : whisperModelWriter::Size::small;
                whisperModelWriter::write(path, size);
            }
            engines.push_back(std::make_unique<WhisperRecognizer>(
                WhisperRecognizer::Options { path, QStringLiteral("en"), 1 }, thread));
        }
        const Result<void> started = QCoro::waitFor(engines.back()->start());
        if (!started) {
            std::printf("# %s skipped: %s\n", qPrintable(engine), qPrintable(started.error().message));
            return;
        }
    }
    const QStringList phrases { QStringLiteral("tell me about your work"),
        QStringLiteral("what databases have you used in your last project"),
        QStringLiteral("and why did you choose them"), QStringLiteral("how large was the team"),
        QStringLiteral("what would you do differently next time"), QStringLiteral("thank you, that is very helpful") };
    std::vector<qint16> call(16000);
    std::vector<double> phraseEnds; // seconds into the call
    for (const QString& phrase : phrases) {
        const std::optional<WavFile> wav = WavFile::read(pulseTest::speak(dir, phrase, 16000));
        if (!wav) {
            return;
        }
        call.insert(call.end(), wav->samples.begin(), wav->samples.end());
        phraseEnds.push_back(double(call.size()) / 16000);
        call.insert(call.end(), 32000, 0); // a pause of 2 s
    }
    const qsizetype lag = 8000; // the other person starts half a second later
    std::vector<qint16> theirs(std::size_t(lag), 0);
    theirs.insert(theirs.end(), call.begin(), call.end());
    call.resize(theirs.size(), 0);

    using Steady = std::chrono::steady_clock;
    std::vector<Steady::time_point> lineTimes;
    QObject::connect(
        engines[1].get(), &SpeechEngine::textReported, engines[1].get(), [&lineTimes](const QString&, bool isFinal) {
            if (isFinal) {
                lineTimes.push_back(Steady::now());
            }
        });
    const double cpuBefore = processCpuSeconds();
    const Steady::time_point start = Steady::now();
    constexpr qsizetype block = 1600; // 100 ms, as the capture hands it over
    double rss = 0;
    for (qsizetype offset = 0; offset < qsizetype(call.size()); offset += block) {
        const qsizetype end = std::min<qsizetype>(offset + block, qsizetype(call.size()));
        feedTo(engines[0].get(), std::vector<qint16>(call.begin() + offset, call.begin() + end));
        feedTo(engines[1].get(), std::vector<qint16>(theirs.begin() + offset, theirs.begin() + end));
        std::this_thread::sleep_until(start + std::chrono::microseconds(end * 1000000 / 16000));
        QCoreApplication::processEvents();
        rss = std::max(rss, residentMegabytes());
    }
    for (auto& speaker : engines) {
        QCoro::waitFor(speaker->finish());
    }
    const double audioSeconds = double(call.size()) / 16000;
    const double cpu = processCpuSeconds() - cpuBefore;
    std::vector<double> delays;
    for (std::size_t i = 0; i < std::min(lineTimes.size(), phraseEnds.size()); ++i) {
        const Steady::time_point fed =
            start + std::chrono::microseconds(qint64((phraseEnds[i] + double(lag) / 16000) * 1e6));
        delays.push_back(std::chrono::duration<double, std::milli>(lineTimes[i] - fed).count());
    }
    const QByteArray prefix = "transcription." + engine.toLatin1();
    print(prefix + ".cpu_per_audio_s", cpu / audioSeconds, "s");
    if (lineTimes.size() == phraseEnds.size()) {
        std::sort(delays.begin(), delays.end());
        print(prefix + ".line_delay_median_ms", delays[delays.size() / 2], "ms");
        print(prefix + ".line_delay_max_ms", delays.back(), "ms");
    } else {
        std::printf("# %s: %zu lines for %zu phrases, no delay figure\n", qPrintable(engine), lineTimes.size(),
            phraseEnds.size());
    }
    print(prefix + ".rss_mb", rss, "MB");
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (const qsizetype at = arguments.indexOf(QStringLiteral("--engine")); at > 0 && at + 1 < arguments.size()) {
        engineRun(arguments[at + 1]);
        return 0;
    }
    captureCpu();
    onDeviceAccuracy();
    finalLineDelay();
    // Each engine in a process of its own, so that its resident memory is its own.
    for (const char* engine : { "pocketsphinx", "whisper-tiny", "whisper-base" }) {
        QProcess run;
        run.setProcessChannelMode(QProcess::ForwardedChannels);
        run.start(QCoreApplication::applicationFilePath(), { QStringLiteral("--engine"), QString::fromLatin1(engine) });
        run.waitForFinished(-1);
    }
    return 0;
}
