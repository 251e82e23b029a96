#include "audio/AudioCaptureService.h"
#include "audio/BufferConverter.h"
#include "audio/SampleRing.h"
#include "audio/WorkerThread.h"
#include "common/Log.h"

#include <QSemaphore>
#include <QTest>

#include <cmath>
#include <numbers>

namespace {

AudioFormat floatFormat(double rate, int channels = 1)
{
    return AudioFormat { rate, channels, SampleType::float32 };
}

std::vector<float> sine(double frequency, double rate, qsizetype frames, float amplitude, qsizetype offset = 0)
{
    std::vector<float> samples(static_cast<size_t>(frames));
    for (qsizetype i = 0; i < frames; ++i) {
        samples[static_cast<size_t>(i)] =
            amplitude * static_cast<float>(std::sin(2 * std::numbers::pi * frequency * double(i + offset) / rate));
    }
    return samples;
}

AudioBufferView viewOf(const std::vector<float>& samples, AudioFormat format)
{
    return AudioBufferView { format, reinterpret_cast<const std::byte*>(samples.data()),
        static_cast<qsizetype>(samples.size()) / format.channelCount };
}

// Sign changes of a signal: twice its frequency per second for a clean sine.
int signChanges(const qint16* samples, qsizetype count)
{
    int changes = 0;
    for (qsizetype i = 1; i < count; ++i) {
        if ((samples[i - 1] < 0) != (samples[i] < 0)) {
            ++changes;
        }
    }
    return changes;
}

} // namespace

Q_DECLARE_METATYPE(AudioFormat)

class AudioArithmeticTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void level_data()
    {
        QTest::addColumn<std::vector<float>>("samples");
        QTest::addColumn<int>("channels");
        QTest::addColumn<double>("expected");

        std::vector<float> square(4096);
        for (size_t i = 0; i < square.size(); ++i) {
            square[i] = (i / 8) % 2 ? 1.0f : -1.0f;
        }
        // Peak 0.5 and an RMS of 0.1: half the peak (0.25) wins, about -12 dBFS.
        std::vector<float> peaky(100, std::sqrt(0.75f / 99.0f));
        peaky[0] = 0.5f;
        // Left channel silent, right channel loud: only the first channel counts.
        std::vector<float> stereo(2048);
        for (size_t i = 1; i < stereo.size(); i += 2) {
            stereo[i] = 1.0f;
        }

        QTest::newRow("silence") << std::vector<float>(4096, 0.0f) << 1 << 0.0;
        QTest::newRow("full-scale square") << square << 1 << 1.0;
        QTest::newRow("sine at -60 dBFS peak") << sine(440, 48000, 4800, 0.001f) << 1 << 0.0;
        QTest::newRow("half the peak beats the rms") << peaky << 1 << (20 * std::log10(0.25) + 60) / 60;
        QTest::newRow("first channel only") << stereo << 2 << 0.0;
        QTest::newRow("no frames") << std::vector<float> {} << 1 << 0.0;
    }

    void level()
    {
        QFETCH(std::vector<float>, samples);
        QFETCH(int, channels);
        QFETCH(double, expected);
        const float value = AudioCaptureService::level(viewOf(samples, floatFormat(48000, channels)));
        QVERIFY2(std::abs(value - expected) < 1e-4, qPrintable(QString::number(value)));
    }

    void levelOfIntegerSamplesIsZero()
    {
        const std::vector<qint16> samples(1024, 20000);
        const AudioBufferView view { AudioFormat { 48000, 1, SampleType::int16 },
            reinterpret_cast<const std::byte*>(samples.data()), 1024 };
        QCOMPARE(AudioCaptureService::level(view), 0.0f);
    }

    void resamplingKeepsPitchAndState_data()
    {
        QTest::addColumn<double>("inputRate");
        QTest::addColumn<double>("targetRate");
        QTest::addColumn<qsizetype>("bufferFrames");
        QTest::newRow("48 kHz to the wire rate") << 48000.0 << 24000.0 << qsizetype(4096);
        QTest::newRow("48 kHz to the decoder rate") << 48000.0 << 16000.0 << qsizetype(960);
        QTest::newRow("44.1 kHz to the decoder rate") << 44100.0 << 16000.0 << qsizetype(1024);
    }

    void resamplingKeepsPitchAndState()
    {
        QFETCH(double, inputRate);
        QFETCH(double, targetRate);
        QFETCH(qsizetype, bufferFrames);
        BufferConverter converter(AudioFormat { targetRate, 1, SampleType::int16 });
        std::vector<qint16> output;
        const qsizetype buffers = qsizetype(2 * inputRate) / bufferFrames; // about 2 s
        for (qsizetype b = 0; b < buffers; ++b) {
            const std::vector<float> input = sine(1000, inputRate, bufferFrames, 0.5f, b * bufferFrames);
            const std::optional<AudioBuffer> converted = converter.convert(viewOf(input, floatFormat(inputRate)));
            if (!converted) {
                continue;
            }
            QCOMPARE(converted->format(), converter.format());
            QVERIFY(converted->frameCount() <= BufferConverter::capacityFor(targetRate, inputRate, bufferFrames));
            output.insert(output.end(), converted->int16Data(), converted->int16Data() + converted->frameCount());
        }
        // Nothing lost beyond the resampler's short delay.
        const double expectedFrames = double(buffers * bufferFrames) * targetRate / inputRate;
        QVERIFY2(
            double(output.size()) > expectedFrames - 0.05 * targetRate && double(output.size()) <= expectedFrames + 1,
            qPrintable(QString::number(output.size())));
        // Still a 1 kHz tone, continuous across buffer boundaries: 2000 sign changes a second.
        const qsizetype skip = qsizetype(0.1 * targetRate);
        const double seconds = double(qsizetype(output.size()) - skip) / targetRate;
        const double changesPerSecond = signChanges(output.data() + skip, qsizetype(output.size()) - skip) / seconds;
        QVERIFY2(std::abs(changesPerSecond - 2000) < 10, qPrintable(QString::number(changesPerSecond)));
    }

    void sameRateConvertsSamplesAndChannels()
    {
        BufferConverter converter(AudioFormat { 48000, 1, SampleType::int16 });
        const std::vector<float> stereo { 0.5f, 0.5f, 1.0f, 0.0f, -1.0f, -1.0f, 2.0f, 2.0f };
        const std::optional<AudioBuffer> converted = converter.convert(viewOf(stereo, floatFormat(48000, 2)));
        QVERIFY(converted);
        QCOMPARE(converted->frameCount(), qsizetype(4));
        const qint16* samples = converted->int16Data();
        QCOMPARE(samples[0], qint16(16384));
        QCOMPARE(samples[1], qint16(16384));
        QCOMPARE(samples[2], qint16(-32768));
        QCOMPARE(samples[3], qint16(32767)); // clipped, not wrapped
    }

    void nothingComesOut_data()
    {
        QTest::addColumn<AudioFormat>("format");
        QTest::addColumn<qsizetype>("frames");
        QTest::newRow("no frames") << floatFormat(48000) << qsizetype(0);
        QTest::newRow("no sample rate") << floatFormat(0) << qsizetype(64);
        QTest::newRow("no channels") << floatFormat(48000, 0) << qsizetype(64);
        QTest::newRow("first frames held back by the filter") << floatFormat(48000) << qsizetype(3);
    }

    void nothingComesOut()
    {
        QFETCH(AudioFormat, format);
        QFETCH(qsizetype, frames);
        BufferConverter converter(AudioFormat { 16000, 1, SampleType::int16 });
        const std::vector<float> samples(
            static_cast<size_t>(std::max<qsizetype>(frames, 1) * std::max(format.channelCount, 1)), 0.25f);
        const AudioBufferView view { format, reinterpret_cast<const std::byte*>(samples.data()), frames };
        QVERIFY(!converter.convert(view));
    }

    void formatChangeStartsAfresh()
    {
        BufferConverter converter(AudioFormat { 24000, 1, SampleType::float32 });
        const std::vector<float> at48 = sine(440, 48000, 4096, 0.5f);
        qsizetype produced48 = 0;
        for (int i = 0; i < 10; ++i) {
            if (auto out = converter.convert(viewOf(at48, floatFormat(48000)))) {
                produced48 += out->frameCount();
            }
        }
        QVERIFY(produced48 > 18000);
        const std::vector<float> at44 = sine(440, 44100, 4410, 0.5f);
        const std::optional<AudioBuffer> first = converter.convert(viewOf(at44, floatFormat(44100)));
        QVERIFY(first);
        QVERIFY(first->frameCount() <= BufferConverter::capacityFor(24000, 44100, 4410));
    }

    void ringKeepsOrderAcrossItsEndAndRefusesWhatDoesNotFit()
    {
        SampleRing ring(5);
        const std::vector<float> first { 0, 1, 2 };
        const std::vector<float> second { 3, 4, 5, 6 };
        std::vector<float> out(5);
        QVERIFY(ring.write(first.data(), 3));
        ring.read(out.data(), 2);
        QVERIFY(ring.write(second.data(), 4)); // wraps around the end
        QVERIFY(!ring.write(first.data(), 1)); // full: refused whole
        QCOMPARE(ring.size(), size_t(5));
        ring.read(out.data(), 5);
        QCOMPARE(out, (std::vector<float> { 2, 3, 4, 5, 6 }));
        QCOMPARE(ring.size(), size_t(0));
    }

    void handOffDropsAudioOnlyWhileTheWorkerIsBehind()
    {
        WorkerThread worker(QStringLiteral("Quillora.HandOffTest"), 10, &lcAudio);
        worker.start(std::make_unique<QObject>());
        QSemaphore release;
        QStringList ran; // written on the worker thread, read after drain()
        worker.post([&release] { release.acquire(); }); // the worker is busy until released
        QVERIFY(worker.postAudio(6, [&ran] { ran.append(QStringLiteral("a")); }));
        QVERIFY(!worker.postAudio(6, [&ran] { ran.append(QStringLiteral("b")); }));
        QVERIFY(worker.postAudio(4, [&ran] { ran.append(QStringLiteral("c")); }));
        worker.post([&ran] { ran.append(QStringLiteral("not audio")); }); // never dropped
        release.release();
        worker.drain();
        QCOMPARE(ran, (QStringList { QStringLiteral("a"), QStringLiteral("c"), QStringLiteral("not audio") }));
        QCOMPARE(worker.droppedBuffers(), qint64(1));
        // Caught up, it takes audio again.
        QVERIFY(worker.postAudio(10, [] {}));
    }
};

QTEST_GUILESS_MAIN(AudioArithmeticTest)
#include "AudioArithmeticTest.moc"
