#include "transcription/OpenAITranscriber.h"
#include "fakes/FakeRealtimeServer.h"
#include "fakes/Golden.h"
#include "fakes/ManualClock.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

#include <memory>

using namespace std::chrono_literals;

namespace {

constexpr qsizetype framesPerBuffer = 2400; // 0.1 s at the wire rate: 4800 bytes

AudioBufferView viewOf(const std::vector<qint16>& samples)
{
    return AudioBufferView { OpenAITranscriber::wireFormat(), reinterpret_cast<const std::byte*>(samples.data()),
        static_cast<qsizetype>(samples.size()) };
}

qsizetype audioBytes(const QJsonObject& append)
{
    return QByteArray::fromBase64(append.value(QStringLiteral("audio")).toString().toLatin1()).size();
}

} // namespace

class OpenAITranscriberTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<FakeRealtimeServer> m_server;
    std::unique_ptr<ManualClock> m_clock;
    std::unique_ptr<OpenAITranscriber> m_transcriber;

    void connectTranscriber(float speechLevel = 0.02f)
    {
        QSignalSpy connected(m_server.get(), &FakeRealtimeServer::clientConnected);
        m_transcriber = std::make_unique<OpenAITranscriber>(QStringLiteral("test-key"),
            QStringList { QStringLiteral("pt"), QStringLiteral("en") }, speechLevel,
            OpenAITranscriber::endpointFor(m_server->baseUrl()), m_clock.get());
        QVERIFY(QCoro::waitFor(m_transcriber->start()));
        QVERIFY(connected.wait(5000));
        QTRY_COMPARE_WITH_TIMEOUT(m_server->messages().size(), 1, 5000);
        m_transcriber->drain(); // the worker's timers exist before the clock moves
    }

    // Feeds `count` 0.1 s buffers whose every sample has the value, moving the clock 0.1 s before
    // each one.
    void feed(qint16 value, int count)
    {
        const std::vector<qint16> samples(framesPerBuffer, value);
        for (int i = 0; i < count; ++i) {
            m_clock->advance(100ms);
            m_transcriber->feed(viewOf(samples));
            m_transcriber->drain();
        }
    }

    void finishTranscriber()
    {
        QSignalSpy finished(m_transcriber.get(), &OpenAITranscriber::finished);
        m_transcriber->finish();
        QVERIFY(finished.wait(5000));
    }

    // Types of the messages after the session update, once `expected` have arrived.
    QStringList typesAfterSession(qsizetype expected)
    {
        [&] { QTRY_COMPARE_WITH_TIMEOUT(m_server->messages().size(), expected + 1, 5000); }();
        QStringList types;
        for (const QJsonObject& message : m_server->messages().mid(1)) {
            types.append(message.value(QStringLiteral("type")).toString());
        }
        return types;
    }

private Q_SLOTS:
    void init()
    {
        m_server = std::make_unique<FakeRealtimeServer>();
        m_clock = std::make_unique<ManualClock>();
    }

    void cleanup()
    {
        m_transcriber.reset();
        m_clock.reset();
        m_server.reset();
    }

    void endpointFollowsTheBaseAddress_data()
    {
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("endpoint");
        const auto row = [](const char* name, const char* base, const char* endpoint) {
            QTest::newRow(name) << QString::fromLatin1(base) << QString::fromLatin1(endpoint);
        };
        row("default https", "https://api.openai.com", "wss://api.openai.com/v1/realtime?intent=transcription");
        row("loopback http", "http://127.0.0.1:4321", "ws://127.0.0.1:4321/v1/realtime?intent=transcription");
        row("gateway path, trailing slash", "https://gateway.example/openai/",
            "wss://gateway.example/openai/v1/realtime?intent=transcription");
    }

    void endpointFollowsTheBaseAddress()
    {
        QFETCH(QString, base);
        QFETCH(QString, endpoint);
        QCOMPARE(OpenAITranscriber::endpointFor(base).toString(), endpoint);
    }

    void foreignScriptFilter_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("foreign");
        QTest::newRow("last letter before the limit") << QStringLiteral("\u024F") << false;
        QTest::newRow("first letter at the limit") << QStringLiteral("\u0250") << true;
        QTest::newRow("symbols above the limit") << QStringLiteral("50 € → ok ✓") << false;
        QTest::newRow("letter outside the basic plane") << QString::fromUcs4(U"ok \U00020000") << true;
    }

    void foreignScriptFilter()
    {
        QFETCH(QString, text);
        QFETCH(bool, foreign);
        QCOMPARE(OpenAITranscriber::hasForeignScript(text), foreign);
    }

    void opensWithKeyAndSessionUpdate()
    {
        connectTranscriber();
        const QNetworkRequest& request = m_server->lastRequest();
        QCOMPARE(request.url().path(), QStringLiteral("/v1/realtime"));
        QCOMPARE(request.url().query(), QStringLiteral("intent=transcription"));
        QCOMPARE(request.rawHeader("Authorization"), QByteArray("Bearer test-key"));

        QCOMPARE(m_server->messages().first(), goldenJson(QStringLiteral("transcription/session-update.json")));
    }

    void silenceAndTheExactThresholdSendNothing()
    {
        // 1024/32768 is exactly representable, so the level equals the threshold exactly.
        connectTranscriber(1024.0f / 32768.0f);
        feed(0, 20);
        feed(1024, 30);
        finishTranscriber();
        QCOMPARE(m_server->messages().size(), 1);
    }

    void firstAppendCarriesThePreroll()
    {
        connectTranscriber();
        feed(0, 10); // 1 s of silence: only the newest 0.3 s is kept
        feed(3000, 3); // voiced
        const QStringList types = typesAfterSession(3);
        QCOMPARE(types, QStringList(3, QStringLiteral("input_audio_buffer.append")));
        const QList<QJsonObject> appends = m_server->messagesOfType(QStringLiteral("input_audio_buffer.append"));
        QCOMPARE(audioBytes(appends[0]), OpenAITranscriber::prerollBytes + OpenAITranscriber::chunkBytes);
        QCOMPARE(audioBytes(appends[1]), OpenAITranscriber::chunkBytes);
        QCOMPARE(audioBytes(appends[2]), OpenAITranscriber::chunkBytes);
        // The preroll is the silence from before the voice.
        const QByteArray first =
            QByteArray::fromBase64(appends[0].value(QStringLiteral("audio")).toString().toLatin1());
        QCOMPARE(first.left(OpenAITranscriber::prerollBytes), QByteArray(OpenAITranscriber::prerollBytes, '\0'));
    }

    void coughIsCleared()
    {
        connectTranscriber();
        m_server->setTranscribeCommits(true);
        QSignalSpy texts(m_transcriber.get(), &SpeechEngine::textReported);
        feed(3000, 3); // 0.3 s voiced
        feed(0, 10);
        // Three voiced buffers and the silent tail until more than 0.7 s passed since the voice,
        // then the clear.
        const QStringList types = typesAfterSession(3 + 8 + 1);
        QCOMPARE(types.last(), QStringLiteral("input_audio_buffer.clear"));
        QVERIFY(!types.contains(QStringLiteral("input_audio_buffer.commit")));
        finishTranscriber();
        QCOMPARE(texts.size(), 0);
    }

    void longSpeechIsCutEveryFifteenSeconds()
    {
        connectTranscriber();
        m_server->setTranscribeCommits(true);
        QSignalSpy texts(m_transcriber.get(), &SpeechEngine::textReported);
        feed(3000, 400); // 40 s of voice
        feed(0, 10);
        QTRY_COMPARE_WITH_TIMEOUT(
            m_server->messagesOfType(QStringLiteral("input_audio_buffer.commit")).size(), 3, 5000);

        // Where in the audio each commit fell: bytes appended before it, at 48000 bytes a second.
        QList<double> commitSeconds;
        qsizetype bytes = 0;
        for (const QJsonObject& message : m_server->messages()) {
            const QString type = message.value(QStringLiteral("type")).toString();
            if (type == QLatin1String("input_audio_buffer.append")) {
                bytes += audioBytes(message);
            } else if (type == QLatin1String("input_audio_buffer.commit")) {
                commitSeconds.append(static_cast<double>(bytes) / 48000.0);
            }
        }
        QCOMPARE(commitSeconds.size(), 3);
        QVERIFY2(commitSeconds[0] > 15.0 && commitSeconds[0] < 15.3, qPrintable(QString::number(commitSeconds[0])));
        QVERIFY2(commitSeconds[1] > 30.0 && commitSeconds[1] < 30.5, qPrintable(QString::number(commitSeconds[1])));
        QVERIFY2(commitSeconds[2] > 40.6 && commitSeconds[2] < 41.0, qPrintable(QString::number(commitSeconds[2])));
        for (const QJsonObject& append : m_server->messagesOfType(QStringLiteral("input_audio_buffer.append"))) {
            QVERIFY(audioBytes(append) <= OpenAITranscriber::chunkBytes);
        }

        finishTranscriber();
        QStringList finals;
        for (const QList<QVariant>& report : texts) {
            if (report.at(1).toBool()) {
                finals.append(report.at(0).toString());
            }
        }
        QCOMPARE(
            finals, (QStringList { QStringLiteral("turn 1"), QStringLiteral("turn 2"), QStringLiteral("turn 3") }));
    }

    void finishWaitsForOutstandingTurns_data()
    {
        QTest::addColumn<bool>("strayCompletedFirst");
        QTest::addColumn<bool>("answered");
        QTest::newRow("one open turn") << false << true;
        // A completed event with no turn outstanding must not let the count go below zero, or
        // the next commit would not be waited for.
        QTest::newRow("after a stray completed event") << true << true;
        QTest::newRow("no answer: closes after the longest wait") << false << false;
    }

    void finishWaitsForOutstandingTurns()
    {
        QFETCH(bool, strayCompletedFirst);
        QFETCH(bool, answered);
        connectTranscriber();
        m_server->setTranscribeCommits(answered, 400);
        QSignalSpy texts(m_transcriber.get(), &SpeechEngine::textReported);
        if (strayCompletedFirst) {
            m_server->sendEvent(QJsonObject {
                { QStringLiteral("type"), QStringLiteral("conversation.item.input_audio_transcription.completed") },
                { QStringLiteral("item_id"), QStringLiteral("stray") },
                { QStringLiteral("transcript"), QStringLiteral("stray") } });
            QTRY_COMPARE_WITH_TIMEOUT(texts.size(), 1, 5000);
        }
        feed(3000, 8); // a turn still open when listening stops
        QSignalSpy finished(m_transcriber.get(), &OpenAITranscriber::finished);
        m_transcriber->finish();
        if (!answered) {
            // Only the clock ends this wait, and not a moment early.
            m_transcriber->drain();
            m_clock->advance(OpenAITranscriber::finishWait - 1ms);
            m_transcriber->drain();
            QCoreApplication::sendPostedEvents();
            QCOMPARE(finished.size(), 0);
            m_clock->advance(1ms);
        }
        QVERIFY(finished.wait(5000));
        QCOMPARE(m_server->messagesOfType(QStringLiteral("input_audio_buffer.commit")).size(), 1);
        QCOMPARE(texts.isEmpty(), !answered);
        if (answered) {
            QCOMPARE(texts.last().at(0).toString(), QStringLiteral("turn 1"));
            QCOMPARE(texts.last().at(1).toBool(), true);
        }
    }

    void serverEvents_data()
    {
        QTest::addColumn<QList<QJsonObject>>("events");
        QTest::addColumn<QStringList>("expected"); // "text|final" or "error:message"
        const auto delta = [](const QString& item, const QString& text) {
            return QJsonObject { { QStringLiteral("type"),
                                     QStringLiteral("conversation.item.input_audio_transcription.delta") },
                { QStringLiteral("item_id"), item }, { QStringLiteral("delta"), text } };
        };
        const auto completed = [](const QString& item, const QString& text) {
            return QJsonObject { { QStringLiteral("type"),
                                     QStringLiteral("conversation.item.input_audio_transcription.completed") },
                { QStringLiteral("item_id"), item }, { QStringLiteral("transcript"), text } };
        };
        QTest::newRow("partials accumulate per item")
            << QList<QJsonObject> { delta(QStringLiteral("a"), QStringLiteral("Olá")),
                   delta(QStringLiteral("b"), QStringLiteral("Hi")),
                   delta(QStringLiteral("a"), QStringLiteral(" mundo")),
                   completed(QStringLiteral("a"), QStringLiteral("Olá, mundo!")) }
            << QStringList { QStringLiteral("Olá|0"), QStringLiteral("Hi|0"), QStringLiteral("Olá mundo|0"),
                   QStringLiteral("Olá, mundo!|1") };
        QTest::newRow("completed without deltas")
            << QList<QJsonObject> { completed(QStringLiteral("z"), QStringLiteral("Sim, claro.")) }
            << QStringList { QStringLiteral("Sim, claro.|1") };
        QTest::newRow("foreign script blanks the turn")
            << QList<QJsonObject> { completed(QStringLiteral("c"), QStringLiteral("Sim да")) }
            << QStringList { QStringLiteral("|1") };
        QTest::newRow("error with message") << QList<QJsonObject> {
            { { QStringLiteral("type"), QStringLiteral("error") },
                { QStringLiteral("error"), QJsonObject { { QStringLiteral("message"), QStringLiteral("Bad key") } } } }
        } << QStringList { QStringLiteral("error:OpenAI: Bad key") };
        QTest::newRow("error without message") << QList<QJsonObject> {
            { { QStringLiteral("type"), QStringLiteral("error") }, { QStringLiteral("error"), 5 } }
        } << QStringList { QStringLiteral("error:OpenAI: unknown error") };
        QTest::newRow("unknown and malformed events are ignored") << QList<QJsonObject> {
            { { QStringLiteral("type"), QStringLiteral("session.updated") } }, { { QStringLiteral("type"), 7 } },
            QJsonObject {}, completed(QStringLiteral("d"), QStringLiteral("fim"))
        } << QStringList { QStringLiteral("fim|1") };
    }

    void serverEvents()
    {
        QFETCH(QList<QJsonObject>, events);
        QFETCH(QStringList, expected);
        connectTranscriber();
        QStringList reports;
        connect(m_transcriber.get(), &SpeechEngine::textReported, this, [&](const QString& text, bool isFinal) {
            reports.append(text + (isFinal ? QStringLiteral("|1") : QStringLiteral("|0")));
        });
        connect(m_transcriber.get(), &SpeechEngine::errorReported, this,
            [&](const QString& message) { reports.append(QStringLiteral("error:") + message); });
        for (const QJsonObject& event : events) {
            m_server->sendEvent(event);
        }
        QTRY_COMPARE_WITH_TIMEOUT(reports.size(), expected.size(), 5000);
        QCOMPARE(reports, expected);
    }

    // A connection that cannot be opened reads as a sentence about its cause, never in the
    // WebSocket client's own words; every later send repeats it.
    void openFailures_data()
    {
        QTest::addColumn<int>("status"); // 0: nothing listens on the port
        QTest::addColumn<QString>("expected");
        QTest::newRow("refused key") << 401
                                     << QStringLiteral(
                                            "OpenAI: OpenAI refused the API key. Change it in Settings (Ctrl+,).");
        QTest::newRow("out of quota") << 429
                                      << QStringLiteral("OpenAI: The OpenAI account is out of quota or rate-limited. "
                                                        "Check its plan and billing, or try again later.");
        QTest::newRow("service down") << 503 << QStringLiteral("OpenAI: OpenAI turned the connection down (HTTP 503).");
        QTest::newRow("nothing listens") << 0
                                         << QStringLiteral(
                                                "OpenAI: OpenAI could not be reached. Check the internet connection.");
    }

    void openFailures()
    {
        QFETCH(int, status);
        QFETCH(QString, expected);
        QString base = m_server->baseUrl();
        if (status != 0) {
            m_server->refuseHandshakes(status);
        } else {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
            base = QStringLiteral("http://127.0.0.1:%1").arg(probe.serverPort());
        }
        m_transcriber = std::make_unique<OpenAITranscriber>(QStringLiteral("sk-refused"),
            QStringList { QStringLiteral("pt") }, 0.02f, OpenAITranscriber::endpointFor(base), m_clock.get());
        QSignalSpy errors(m_transcriber.get(), &SpeechEngine::errorReported);
        QVERIFY(QCoro::waitFor(m_transcriber->start()));
        QVERIFY(errors.wait(5000));
        QCOMPARE(errors.first().first().toString(), expected);

        // Speech after the failure tries to send, and says the same again.
        feed(3000, 1);
        QTRY_COMPARE_WITH_TIMEOUT(errors.size(), 2, 5000);
        QCOMPARE(errors.last().first().toString(), expected);
    }

    void lostConnectionIsReported()
    {
        connectTranscriber();
        QSignalSpy errors(m_transcriber.get(), &SpeechEngine::errorReported);
        m_server.reset();
        QVERIFY(errors.wait(5000));
        QCOMPARE(errors.first().first().toString(), QStringLiteral("OpenAI: The connection to OpenAI was lost."));
    }
};

QTEST_GUILESS_MAIN(OpenAITranscriberTest)
#include "OpenAITranscriberTest.moc"
