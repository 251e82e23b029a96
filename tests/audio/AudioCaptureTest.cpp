#include "audio/AudioCaptureService.h"
#include "fakes/PulseTestSupport.h"

#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <pthread.h>

#include <atomic>
#include <memory>

namespace {

// What one capture's callback saw, written on the capture thread and read after it stopped.
struct CallbackLog {
    std::atomic<int> buffers { 0 };
    std::atomic<qsizetype> lastFrames { 0 };
    std::atomic<int> channels { 0 };
    std::atomic<bool> allFloat { true };
    std::atomic<bool> onMainThread { false };
    std::atomic<double> rate { 0 };
    char threadName[32] = {};

    AudioCaptureService::BufferCallback callback(QThread* mainThread)
    {
        return [this, mainThread](const AudioBufferView& buffer) {
            if (buffers++ == 0) {
                pthread_getname_np(pthread_self(), threadName, sizeof threadName);
            }
            lastFrames = buffer.frameCount;
            channels = buffer.format.channelCount;
            rate = buffer.format.sampleRate;
            if (!buffer.floatData()) {
                allFloat = false;
            }
            if (QThread::currentThread() == mainThread) {
                onMainThread = true;
            }
        };
    }
};

} // namespace

class AudioCaptureTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;

private Q_SLOTS:
    void initTestCase()
    {
        if (!pulseTest::ready()) {
            QSKIP("needs the PulseAudio daemon of scripts/with-services");
        }
    }

    void capturesBothSourcesOnTheirOwnThreads()
    {
        AudioCaptureService audio;
        CallbackLog mic;
        CallbackLog system;
        audio.setOnMicBuffer(mic.callback(thread()));
        audio.setOnSystemBuffer(system.callback(thread()));
        QSignalSpy micLevels(&audio, &AudioCaptureService::micLevelChanged);
        QSignalSpy systemLevels(&audio, &AudioCaptureService::systemLevelChanged);

        QVERIFY(audio.startMicrophone());
        QVERIFY(audio.startSystemAudio());
        const QString tone = pulseTest::tone(m_dir, 440, 1.0, 0.5);
        QVERIFY(!tone.isEmpty());
        pulseTest::play(tone, QStringLiteral("micfeed"));
        pulseTest::play(tone, QStringLiteral("callout"));
        // The tone is at -6 dBFS: each meter reaches about 0.9 while it plays.
        const auto loudest = [](const QSignalSpy& spy) {
            float value = 0;
            for (const QList<QVariant>& change : spy) {
                value = std::max(value, change.first().toFloat());
            }
            return value;
        };
        QTRY_VERIFY_WITH_TIMEOUT(loudest(micLevels) > 0.8f && loudest(systemLevels) > 0.8f, 5000);
        QVERIFY(loudest(micLevels) < 0.95f);
        audio.stop();
        // Level reports still on their way when capture stopped do not move the meters again.
        QCoreApplication::sendPostedEvents();
        QCOMPARE(audio.micLevel(), 0.0f);
        QCOMPARE(audio.systemLevel(), 0.0f);

        QVERIFY(mic.buffers > 0);
        QCOMPARE(mic.lastFrames.load(), AudioCaptureService::microphoneBufferFrames);
        QVERIFY(mic.allFloat);
        QVERIFY(!mic.onMainThread);
        // The sources' audio threads, not the sound server's; names are cut at 15 bytes.
        QCOMPARE(QByteArray(mic.threadName), QByteArray("Quillora.MicAud"));
        QVERIFY(system.buffers > 0);
        QCOMPARE(system.channels.load(), 1); // mixed to mono
        QVERIFY(system.allFloat);
        QCOMPARE(QByteArray(system.threadName), QByteArray("Quillora.SysAud"));
    }

    void callbackIsTakenWhenCaptureStarts()
    {
        AudioCaptureService audio;
        CallbackLog first;
        CallbackLog second;
        audio.setOnSystemBuffer(first.callback(thread()));
        QVERIFY(audio.startSystemAudio());
        audio.setOnSystemBuffer(second.callback(thread()));
        QTRY_VERIFY_WITH_TIMEOUT(first.buffers > 2, 5000);
        audio.stop();
        QCOMPARE(second.buffers.load(), 0);

        // The next start takes the callback now in force.
        QVERIFY(audio.startSystemAudio());
        QTRY_VERIFY_WITH_TIMEOUT(second.buffers > 0, 5000);
        audio.stop();
    }

    void stopIsSafeToRepeat()
    {
        AudioCaptureService audio;
        audio.stop();
        QVERIFY(audio.startMicrophone());
        QVERIFY(audio.startMicrophone()); // replaces, does not add a second capture
        audio.stop();
        audio.stop();
        QVERIFY(!audio.isMicrophoneRunning());
    }

    void noSoundServer_data()
    {
        QTest::addColumn<bool>("system");
        QTest::newRow("microphone") << false;
        QTest::newRow("system audio") << true;
    }

    void noSoundServer()
    {
        QFETCH(bool, system);
        AudioCaptureService audio;
        {
            pulseTest::ScopedEnvironment deadServer(
                "PULSE_SERVER", "unix:" + m_dir.filePath(QStringLiteral("no-such-socket")).toUtf8());
            const Result<void> started = system ? audio.startSystemAudio() : audio.startMicrophone();
            QVERIFY(!started);
            QCOMPARE(started.error().message,
                QStringLiteral("Could not reach the sound server (PulseAudio: Connection refused)"));
            QVERIFY(!audio.isMicrophoneRunning());
            QVERIFY(!audio.isSystemAudioRunning());
        }
        // Once the server is reachable again, a start works.
        QVERIFY(system ? audio.startSystemAudio() : audio.startMicrophone());
        audio.stop();
    }

    void outputRemovedWhileCapturing()
    {
        const std::optional<QString> module = pulseTest::pactl({ QStringLiteral("load-module"),
            QStringLiteral("module-null-sink"), QStringLiteral("sink_name=capturefault") });
        QVERIFY(module);
        const std::optional<QString> previous = pulseTest::pactl({ QStringLiteral("get-default-sink") });
        QVERIFY(pulseTest::pactl({ QStringLiteral("set-default-sink"), QStringLiteral("capturefault") }));

        AudioCaptureService audio;
        CallbackLog log;
        audio.setOnSystemBuffer(log.callback(thread()));
        QSignalSpy failures(&audio, &AudioCaptureService::captureFailed);
        const Result<void> started = audio.startSystemAudio();
        pulseTest::pactl({ QStringLiteral("set-default-sink"), previous.value_or(QStringLiteral("callout")) });
        QVERIFY(started);
        QTRY_VERIFY_WITH_TIMEOUT(log.buffers > 0, 5000);

        QVERIFY(pulseTest::pactl({ QStringLiteral("unload-module"), *module }));
        QVERIFY(failures.wait(5000));
        // A stream that wandered off to another source (the microphone) would not have failed.
        QVERIFY2(
            failures.first().first().toString().startsWith(QStringLiteral("System audio capture ended (PulseAudio: ")),
            qPrintable(failures.first().first().toString()));
        QVERIFY(!audio.isSystemAudioRunning()); // released once it ended
        audio.stop();
    }
};

QTEST_GUILESS_MAIN(AudioCaptureTest)
#include "AudioCaptureTest.moc"
