#include "transcription/TranscriptionService.h"
#include "fakes/FakeRealtimeServer.h"
#include "fakes/PulseTestSupport.h"
#include "fakes/WavFile.h"
#include "fakes/WhisperModelWriter.h"
#include "settings/Keychain.h"
#include "settings/LanguageModelSettings.h"
#include "settings/Settings.h"
#include "transcription/PocketSphinxRecognizer.h"
#include "transcription/WhisperModels.h"
#include "transcription/WhisperRecognizer.h"

#include <QCoroTask>
#include <QJsonObject>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>

Q_DECLARE_METATYPE(Speaker)
Q_DECLARE_METATYPE(TranscriptionEngine)

class TranscriptionServiceTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    Settings m_settings; // the application's own file, in the throw-away home of the test session
    Keychain m_keychain;

    TranscriptionService::Options options()
    {
        return { &m_settings, languageModelSettings::keychainReader(&m_keychain), nullptr };
    }
    QHash<QString, QString> m_phrase; // per sink, at the sink's own rate

    static void useOnDeviceEngine()
    {
        Settings settings;
        settings.setText(SettingKey::transcriptionEngine, QStringLiteral("apple"));
        settings.setText(SettingKey::speechLocale, QStringLiteral("en-US"));
    }

    static bool useCloudEngine(const FakeRealtimeServer& server, const QString& key)
    {
        Settings settings;
        settings.setText(SettingKey::transcriptionEngine, QStringLiteral("openai"));
        settings.setText(SettingKey::openaiBaseURL, server.baseUrl());
        keychain::save(key, QStringLiteral("openai"));
        return keychain::read(QStringLiteral("openai")).value_or(QString()) == key;
    }

    static void requirePulse()
    {
        if (!pulseTest::ready()) {
            QSKIP("needs the PulseAudio daemon of scripts/with-services");
        }
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (pulseTest::ready()) {
            for (const QString& sink : { QStringLiteral("callout"), QStringLiteral("micfeed") }) {
                m_phrase[sink] =
                    pulseTest::speak(m_dir, QStringLiteral("where are you going"), pulseTest::sinkRate(sink));
                QVERIFY(!m_phrase[sink].isEmpty());
            }
        }
    }

    void engineChoice_data()
    {
        QTest::addColumn<std::optional<QString>>("stored");
        QTest::addColumn<TranscriptionEngine>("engine");
        const auto onDevice = TranscriptionEngine::onDevice;
        QTest::newRow("nothing stored") << std::optional<QString>() << onDevice;
        QTest::newRow("apple") << std::optional<QString>(QStringLiteral("apple")) << onDevice;
        QTest::newRow("openai") << std::optional<QString>(QStringLiteral("openai")) << TranscriptionEngine::openAI;
        QTest::newRow("whisper") << std::optional<QString>(QStringLiteral("whisper")) << TranscriptionEngine::whisper;
        QTest::newRow("other case") << std::optional<QString>(QStringLiteral("OpenAI")) << onDevice;
        QTest::newRow("padded") << std::optional<QString>(QStringLiteral(" openai")) << onDevice;
    }

    void engineChoice()
    {
        QFETCH(std::optional<QString>, stored);
        QFETCH(TranscriptionEngine, engine);
        QCOMPARE(TranscriptionService::engineFromText(stored), engine);
    }

    // A call on the Whisper engine with a generated model: the other person's phrase becomes their
    // line (its text is noise); without a model the start says where to get one.
    void whisperCall()
    {
        requirePulse();
        if (!WhisperRecognizer::processorSupported()) {
            QSKIP("This processor cannot run the whisper.cpp build.");
        }
        QTemporaryDir data;
        const QByteArray previous = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", QFile::encodeName(data.path()));
        const auto restore = qScopeGuard([&] { qputenv("XDG_DATA_HOME", previous); });
        Settings settings;
        settings.setText(SettingKey::transcriptionEngine, QStringLiteral("whisper"));
        settings.setText(SettingKey::speechLocale, QStringLiteral("en-US"));
        {
            TranscriptionService service(nullptr, options());
            QCoro::waitFor(service.start());
            QVERIFY(!service.isRunning());
            QCOMPARE(service.status().value_or(QString()),
                QStringLiteral("No Whisper speech model is installed. Download one in Settings (Ctrl+,) > General > "
                               "Transcription."));
        }
        QVERIFY(QDir().mkpath(whisperModels::folder()));
        whisperModelWriter::write(
            whisperModels::pathFor(QStringLiteral("ggml-tiny.bin")), whisperModelWriter::Size::tiny);
        TranscriptionService service(nullptr, options());
        QCoro::waitFor(service.start());
        QVERIFY2(service.isRunning(), qPrintable(service.status().value_or(QString())));
        pulseTest::play(m_phrase[QStringLiteral("callout")], QStringLiteral("callout"));
        QTRY_VERIFY_WITH_TIMEOUT(!service.lines().isEmpty(), 15000);
        QCoro::waitFor(service.stop());
        for (const TranscriptLine& line : service.lines()) {
            QCOMPARE(line.speaker, Speaker::them);
            QVERIFY(!line.text.isEmpty());
        }
    }

    void stopWhileIdle()
    {
        TranscriptionService service(nullptr, options());
        service.transcript().handleText(QStringLiteral("pending"), false, Speaker::them);
        service.transcript().handleText(QStringLiteral("kept line"), true, Speaker::me);
        service.transcript().handleText(QStringLiteral("pending"), false, Speaker::them);
        QCoro::waitFor(service.stop());
        QVERIFY(!service.isRunning());
        QCOMPARE(service.lines().size(), 1);
        QVERIFY(service.transcript().volatileText().isEmpty());
    }

    void cloudKeyMissing()
    {
        FakeRealtimeServer server;
        useCloudEngine(server, QString());
        TranscriptionService service(nullptr, options());
        service.transcript().handleText(QStringLiteral("from the last call"), true, Speaker::me);
        QCoro::waitFor(service.start());
        QCOMPARE(service.status(), std::optional<QString>(TranscriptionService::missingKeyMessage()));
        QVERIFY(!service.isRunning());
        QVERIFY(service.lines().isEmpty());
        QVERIFY(!service.audio().isMicrophoneRunning());
        QCOMPARE(server.connectionCount(), 0);
    }

    void onDeviceSpeakers_data()
    {
        QTest::addColumn<QString>("sink");
        QTest::addColumn<Speaker>("speaker");
        QTest::newRow("system audio is them") << QStringLiteral("callout") << Speaker::them;
        QTest::newRow("microphone is me") << QStringLiteral("micfeed") << Speaker::me;
    }

    void onDeviceSpeakers()
    {
        requirePulse();
        QFETCH(QString, sink);
        QFETCH(Speaker, speaker);
        useOnDeviceEngine();
        TranscriptionService service(nullptr, options());
        QCoro::waitFor(service.start());
        QVERIFY2(service.isRunning(), qPrintable(service.status().value_or(QString())));
        QCOMPARE(service.status(), std::optional<QString>());
        QCoro::waitFor(service.start()); // already running: nothing changes
        QVERIFY(service.isRunning());

        pulseTest::play(m_phrase[sink], sink);
        QTRY_VERIFY_WITH_TIMEOUT(!service.lines().isEmpty(), 15000);
        QCoro::waitFor(service.stop());
        QVERIFY(service.transcript().volatileText().isEmpty());
        for (const TranscriptLine& line : service.lines()) {
            QCOMPARE(line.speaker, speaker);
        }
        const QString text = service.lines().first().text;
        QVERIFY2(text.toLower().contains(QLatin1String("you")), qPrintable(text));
    }

    // The other person's voice picked up again by the microphone: both on-device engines hear the
    // same speech, and only the other person's line stays. Both get the identical decoded audio in
    // the same pieces, so they hear it identically, whatever the sound server's timing.
    void echoOnBothLeavesThem()
    {
        const std::optional<SpeechModel> model = speechModels::find(QStringLiteral("en-US"));
        QVERIFY(model);
        const std::optional<WavFile> wav =
            WavFile::read(pulseTest::speak(m_dir, QStringLiteral("where are you going"), 48000));
        QVERIFY(wav && wav->channels == 1);
        std::vector<float> samples;
        for (const qint16 sample : wav->samples) {
            samples.push_back(float(sample) / 32768.0f);
        }
        Transcript transcript(nullptr);
        std::vector<std::unique_ptr<PocketSphinxRecognizer>> engines;
        for (const Speaker speaker : { Speaker::me, Speaker::them }) {
            auto engine = std::make_unique<PocketSphinxRecognizer>(*model, QStringLiteral("Quillora.SpeechTest"));
            connect(engine.get(), &SpeechEngine::textReported, &transcript,
                [&transcript, speaker](
                    const QString& text, bool isFinal) { transcript.handleText(text, isFinal, speaker); });
            QVERIFY(QCoro::waitFor(engine->start()));
            for (size_t offset = 0; offset < samples.size(); offset += 4096) {
                engine->feed(AudioBufferView { AudioFormat { 48000, 1, SampleType::float32 },
                    reinterpret_cast<const std::byte*>(samples.data() + offset),
                    qsizetype(std::min<size_t>(4096, samples.size() - offset)) });
            }
            engines.push_back(std::move(engine));
        }
        for (const auto& engine : engines) {
            QCoro::waitFor(engine->finish());
        }
        QCOMPARE(transcript.lines().size(), 1);
        QCOMPARE(transcript.lines().first().speaker, Speaker::them);
        QVERIFY2(transcript.lines().first().text.contains(QLatin1String("you")),
            qPrintable(transcript.lines().first().text));
    }

    void noSoundServer_data()
    {
        QTest::addColumn<bool>("cloud");
        QTest::newRow("on-device") << false;
        QTest::newRow("cloud") << true;
    }

    void noSoundServer()
    {
        requirePulse();
        QFETCH(bool, cloud);
        FakeRealtimeServer server;
        if (cloud) {
            if (!useCloudEngine(server, QStringLiteral("sk-test"))) {
                QSKIP("needs the secret service of scripts/with-services");
            }
        } else {
            useOnDeviceEngine();
        }
        TranscriptionService service(nullptr, options());
        {
            pulseTest::ScopedEnvironment deadServer(
                "PULSE_SERVER", "unix:" + m_dir.filePath(QStringLiteral("gone")).toUtf8());
            QCoro::waitFor(service.start());
        }
        QCOMPARE(service.status(),
            std::optional<QString>(
                QStringLiteral("Could not reach the sound server (PulseAudio: Connection refused)")));
        QVERIFY(!service.audio().isMicrophoneRunning());
        QVERIFY(!service.audio().isSystemAudioRunning());

        // With the server back, the next start works.
        QCoro::waitFor(service.start());
        QVERIFY2(service.isRunning(), qPrintable(service.status().value_or(QString())));
        QCOMPARE(service.status(), std::optional<QString>());
        QCoro::waitFor(service.stop());
        QVERIFY(!service.isRunning());
    }

    void outputRemovedWhileListening()
    {
        requirePulse();
        useOnDeviceEngine();
        const std::optional<QString> module = pulseTest::pactl({ QStringLiteral("load-module"),
            QStringLiteral("module-null-sink"), QStringLiteral("sink_name=servicefault") });
        QVERIFY(module);
        QVERIFY(pulseTest::pactl({ QStringLiteral("set-default-sink"), QStringLiteral("servicefault") }));
        TranscriptionService service(nullptr, options());
        QCoro::waitFor(service.start());
        pulseTest::pactl({ QStringLiteral("set-default-sink"), QStringLiteral("callout") });
        QVERIFY2(service.isRunning(), qPrintable(service.status().value_or(QString())));

        pulseTest::play(m_phrase[QStringLiteral("micfeed")], QStringLiteral("micfeed"));
        QTRY_VERIFY_WITH_TIMEOUT(!service.lines().isEmpty(), 15000);
        const QList<TranscriptLine> before = service.lines();

        QSignalSpy statuses(&service, &TranscriptionService::statusChanged);
        QVERIFY(pulseTest::pactl({ QStringLiteral("unload-module"), *module }));
        QVERIFY(statuses.wait(5000));
        QVERIFY2(
            service.status().value_or(QString()).startsWith(QStringLiteral("System audio capture ended (PulseAudio: ")),
            qPrintable(service.status().value_or(QString())));
        QVERIFY(service.isRunning());
        QCoro::waitFor(service.stop());
        QVERIFY(!service.isRunning());
        QCOMPARE(service.lines(), before);
    }

    void soundServerGoneWhileListening()
    {
        requirePulse();
        useOnDeviceEngine();
        TranscriptionService service(nullptr, options());
        QCoro::waitFor(service.start());
        QVERIFY2(service.isRunning(), qPrintable(service.status().value_or(QString())));
        service.transcript().handleText(QStringLiteral("heard before"), true, Speaker::them);

        // Both captures end: each one says so, and listening stops with the lines kept.
        QSignalSpy running(&service, &TranscriptionService::runningChanged);
        QCOMPARE(pulseTest::disconnectClientsOf(QCoreApplication::applicationPid()), 2);
        QVERIFY(running.wait(10000));
        QVERIFY(!service.isRunning());
        QStringList messages = service.status().value_or(QString()).split(u'\n');
        messages.replaceInStrings(QRegularExpression(QStringLiteral(" \\(PulseAudio: .+\\)$")), QString());
        messages.sort();
        QCOMPARE(messages,
            (QStringList { QStringLiteral("Microphone capture ended"), QStringLiteral("System audio capture ended") }));
        QCOMPARE(service.lines().size(), 1);
    }

    void cloudReportsReachTheTranscript()
    {
        requirePulse();
        FakeRealtimeServer server;
        if (!useCloudEngine(server, QStringLiteral("sk-test"))) {
            QSKIP("needs the secret service of scripts/with-services");
        }
        TranscriptionService service(nullptr, options());
        QCoro::waitFor(service.start());
        QVERIFY2(service.isRunning(), qPrintable(service.status().value_or(QString())));
        QTRY_COMPARE_WITH_TIMEOUT(server.connectionCount(), 2, 5000);
        QCOMPARE(server.lastRequest().rawHeader("Authorization"), QByteArray("Bearer sk-test"));

        server.sendEvent(
            { { QStringLiteral("type"), QStringLiteral("conversation.item.input_audio_transcription.delta") },
                { QStringLiteral("item_id"), QStringLiteral("i1") },
                { QStringLiteral("delta"), QStringLiteral("Olá, tudo") } });
        QTRY_COMPARE_WITH_TIMEOUT(service.transcript().volatileText().size(), 1, 5000);
        QCOMPARE(service.transcript().volatileText().begin().value(), QStringLiteral("Olá, tudo"));
        server.sendEvent(
            { { QStringLiteral("type"), QStringLiteral("conversation.item.input_audio_transcription.completed") },
                { QStringLiteral("item_id"), QStringLiteral("i1") },
                { QStringLiteral("transcript"), QStringLiteral("Olá, tudo bem?") } });
        QTRY_COMPARE_WITH_TIMEOUT(service.lines().size(), 1, 5000);
        QCOMPARE(service.lines().first().text, QStringLiteral("Olá, tudo bem?"));
        QVERIFY(service.transcript().volatileText().isEmpty());

        server.sendEvent({ { QStringLiteral("type"), QStringLiteral("error") },
            { QStringLiteral("error"),
                QJsonObject { { QStringLiteral("message"), QStringLiteral("Rate limited") } } } });
        QTRY_COMPARE_WITH_TIMEOUT(
            service.status(), std::optional<QString>(QStringLiteral("OpenAI: Rate limited")), 5000);
        QVERIFY(service.isRunning()); // errors do not stop listening

        QCoro::waitFor(service.stop());
        QCOMPARE(service.lines().size(), 1);
    }

    void reportsAfterTheServiceIsGoneAreDropped()
    {
        requirePulse();
        FakeRealtimeServer server;
        if (!useCloudEngine(server, QStringLiteral("sk-test"))) {
            QSKIP("needs the secret service of scripts/with-services");
        }
        auto service = std::make_unique<TranscriptionService>(nullptr, options());
        QCoro::waitFor(service->start());
        QVERIFY(service->isRunning());
        QTRY_COMPARE_WITH_TIMEOUT(server.connectionCount(), 2, 5000);
        server.sendEvent(
            { { QStringLiteral("type"), QStringLiteral("conversation.item.input_audio_transcription.completed") },
                { QStringLiteral("item_id"), QStringLiteral("late") },
                { QStringLiteral("transcript"), QStringLiteral("too late") } });
        service.reset(); // while the report may still be on its way
        QCoreApplication::sendPostedEvents(); // what was posted before is handled (or dropped) here
    }
};

QTEST_GUILESS_MAIN(TranscriptionServiceTest)
#include "TranscriptionServiceTest.moc"
