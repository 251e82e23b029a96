#include "ServerProcess.h"
#include "StoreFixture.h"

#include <QDBusConnection>
#include <QFile>
#include <QJsonArray>
#include <QRandomGenerator>
#include <QSignalSpy>

// Counts storeChanged signals on the session bus.
class SignalCounter : public QObject {
    Q_OBJECT

public:
    int count = 0;

public Q_SLOTS:
    void onSignal() { ++count; }
};

// The server as a process over pipes.
class ProcessTest : public QObject {
    Q_OBJECT

private:
    static QByteArray toolCall(int id, const char* tool, const QByteArray& arguments)
    {
        return QByteArray("{\"jsonrpc\":\"2.0\",\"id\":") + QByteArray::number(id)
            + ",\"method\":\"tools/call\",\"params\":{\"name\":\"" + tool + "\",\"arguments\":" + arguments + "}}";
    }

    static QByteArray ping(int id)
    {
        return "{\"jsonrpc\":\"2.0\",\"id\":" + QByteArray::number(id) + ",\"method\":\"ping\"}";
    }

    static int idOf(const QByteArray& line)
    {
        return QJsonDocument::fromJson(line).object().value(QLatin1String("id")).toInt();
    }

private Q_SLOTS:
    void endOfInputExitsZeroWithNothingWritten()
    {
        QTemporaryDir home;
        ServerProcess server(home.path());
        QVERIFY(server.start());
        QCOMPARE(server.finish(), 0);
        QVERIFY(server.process().readAllStandardOutput().isEmpty());
        QVERIFY(QFile::exists(server.storePath()));
    }

    void unopenableStoreExitsOne()
    {
        QTemporaryDir home;
        ServerProcess server(home.path());
        QVERIFY(QDir().mkpath(server.storePath())); // a folder where the store file should be
        QVERIFY(server.start());
        QCOMPARE(server.finish(), 1);
        QCOMPARE(server.process().readAllStandardError(),
            "quillora --mcp: could not open " + server.storePath().toUtf8() + ": Is a directory\n");
        QVERIFY(server.process().readAllStandardOutput().isEmpty());
    }

    void replacedExecutable_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("new file renamed over it") << QStringLiteral("rename");
        QTest::newRow("touched in place") << QStringLiteral("touch");
    }

    void replacedExecutable()
    {
        QFETCH(QString, how);
        QTemporaryDir home;
        const QString binary = home.filePath(QStringLiteral("bin/quillora"));
        QVERIFY(QDir().mkpath(home.filePath(QStringLiteral("bin"))));
        QVERIFY(QFile::copy(QStringLiteral(QUILLORA_BINARY), binary));
        ServerProcess server(home.path());
        QVERIFY(server.start(binary));
        QCOMPARE(server.request(ping(1)).value(QLatin1String("result")).toObject(), QJsonObject {});

        if (how == QLatin1String("rename")) {
            const QString fresh = binary + QStringLiteral(".new");
            QVERIFY(QFile::copy(QStringLiteral(QUILLORA_BINARY), fresh));
            QVERIFY(std::rename(QFile::encodeName(fresh).constData(), QFile::encodeName(binary).constData()) == 0);
        } else {
            QFile file(binary);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QVERIFY(file.setFileTime(QDateTime::currentDateTimeUtc().addSecs(5), QFileDevice::FileModificationTime));
        }

        // A notification is not a request: no check, no answer.
        server.send("{\"jsonrpc\":\"2.0\",\"method\":\"notifications/initialized\"}\n");
        const QJsonObject response = server.request(toolCall(2, "create_assistant", "{\"name\":\"Late\"}"));
        QCOMPARE(response.value(QLatin1String("id")).toInt(), 2);
        QCOMPARE(response.value(QLatin1String("error"))[QLatin1String("code")].toInt(), -32000);
        QCOMPARE(response.value(QLatin1String("error"))[QLatin1String("message")].toString(),
            QStringLiteral("O Quillora foi atualizado. Reconecte o servidor (/mcp no Claude Code)."));
        // The process ends by itself, with input still open.
        QVERIFY(server.process().waitForFinished(10000));
        QCOMPARE(server.process().exitCode(), 0);
        QVERIFY(server.process().readAllStandardOutput().isEmpty());
        StoreContext context(Store::open(server.storePath()).value());
        QCOMPARE(context.count<Assistant>().value(), 0);
    }

    void storeChangedSignalFollowsWritesOnly()
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected()) {
            QSKIP("No D-Bus session bus: run the tests under scripts/with-services (or dbus-run-session).");
        }
        SignalCounter counter;
        QVERIFY(bus.connect(QString(), QStringLiteral("/Vessaro/Quillora"), QStringLiteral("Vessaro.Quillora"),
            QStringLiteral("storeChanged"), &counter, SLOT(onSignal())));
        QTemporaryDir home;
        ServerProcess server(home.path());
        QVERIFY(server.start());

        server.request(toolCall(1, "create_assistant", "{\"name\":\"Signals\"}"));
        QTRY_COMPARE(counter.count, 1);
        // Reads, a failing write and protocol methods post nothing. Signals from one sender arrive
        // in order, so once the last write's signal is here, any earlier one would be too.
        server.request(toolCall(2, "list_assistants", "{}"));
        server.request(toolCall(3, "get_assistant", "{\"assistant\":\"Signals\"}"));
        server.request(toolCall(4, "create_context", "{\"assistant\":\"Nobody\",\"name\":\"X\"}"));
        server.request(ping(5));
        server.request(toolCall(6, "update_assistant", "{\"assistant\":\"Signals\",\"style_notes\":\"Brief.\"}"));
        QTRY_COMPARE(counter.count, 2);
        QCOMPARE(server.finish(), 0);
        QCOMPARE(counter.count, 2);
    }

    // A line past the cap is skipped as it streams by, and a request that would grow far beyond its
    // line once parsed is refused before it is built: the server's peak stays near twice the cap.
    void memoryStaysNearTheLineCap()
    {
#ifdef __SANITIZE_ADDRESS__
        QSKIP("AddressSanitizer's own bookkeeping outweighs the figures");
#endif
        QTemporaryDir home;
        ServerProcess server(home.path());
        QVERIFY(server.start());
        const auto peakMiB = [&server] {
            QFile status(QStringLiteral("/proc/%1/status").arg(server.process().processId()));
            if (!status.open(QIODevice::ReadOnly)) {
                return -1.0;
            }
            for (const QByteArray& line : status.readAll().split('\n')) {
                if (line.startsWith("VmHWM:")) {
                    return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
                }
            }
            return -1.0;
        };
        server.send(ping(1) + '\n');
        QVERIFY(server.process().waitForReadyRead(10000));
        server.process().readAllStandardOutput();
        const double baseline = peakMiB();
        QVERIFY(baseline > 0);

        const QByteArray numbers = "{\"jsonrpc\":\"2.0\",\"id\":2,\"method\":\"ping\",\"params\":["
            + QByteArray("0,").repeated(7 * 1024 * 1024) + "0]}";
        server.send("[\"" + QByteArray(20 * 1024 * 1024, 'x') + "\"]\n" + numbers + '\n' + ping(3) + '\n');
        QByteArray output;
        while (output.count('\n') < 3 && server.process().waitForReadyRead(30000)) {
            output += server.process().readAllStandardOutput();
        }
        const QList<QByteArray> lines = output.split('\n');
        QCOMPARE(lines.size(), 4);
        QVERIFY(lines.at(0).contains("\"code\":-32700"));
        QVERIFY(lines.at(1).contains("\"code\":-32600"));
        QCOMPARE(idOf(lines.at(2)), 3);
        const double cap = 16.0;
        QVERIFY2(
            peakMiB() < baseline + 2 * cap, qPrintable(QStringLiteral("%1 MiB after %2").arg(peakMiB()).arg(baseline)));
    }

    void malformedInputNeverEndsTheServer()
    {
        QTemporaryDir home;
        ServerProcess server(home.path());
        {
            // A store with content, to show that nothing of the input changes it.
            auto store = Store::open(server.storePath()).value();
            SeededRecords::write(store);
        }
        const StoreSnapshot before = StoreSnapshot::of(Store::open(server.storePath()).value());

        struct Special {
            QByteArray line;
            QByteArray expected; // part of the response, or empty for no response
        };
        const QByteArray parse = "\"code\":-32700";
        const QByteArray invalid = "\"code\":-32600";
        const QList<Special> specials {
            { QByteArray("{\"id\":2,\"method\":\"ping\"}\0", 25), parse },
            { QByteArray("\0\0\0", 3), parse },
            { "{\"id\":3,\"method\":\"pi\xc3\x28ng\"}", "Method not found: pi\xef\xbf\xbd(ng" },
            { "\xff\xfe{\"id\":4}", parse },
            { "{\"id\":5,\"method\":\"ping\",\"params\":" + QByteArray(10000, '{').replace("{", "{\"a\":") + "1"
                    + QByteArray(10000, '}') + "}",
                "\"id\":5,\"jsonrpc\":\"2.0\",\"result\":{}" },
            { "{\"method\":\"tools/call\",\"params\":{\"name\":\"create_assistant\",\"arguments\":{\"name\":\"N\"}}}",
                {} },
            { toolCall(6, "create_context", "{\"assistant\":\"Jobs\",\"name\":\"   \"}"), "\"isError\":true" },
        };
        QByteArray input;
        for (const Special& special : specials) {
            input += special.line + '\n';
        }
        // Random short lines without "{" can never be requests: each must get exactly one error.
        const QByteArray alphabet = "[]\",:0123456789.-+eEtrufalsn \t\r\\\x01\xc3\xa9\xff";
        QRandomGenerator random(20240607);
        constexpr int randomLines = 1000000;
        int blankOnes = 0;
        for (int i = 0; i < randomLines; ++i) {
            const int length = 1 + static_cast<int>(random.bounded(8));
            QByteArray line;
            for (int c = 0; c < length; ++c) {
                line += alphabet.at(static_cast<int>(random.bounded(alphabet.size())));
            }
            QByteArray trimmed = line;
            if (trimmed.endsWith('\r')) {
                trimmed.chop(1);
            }
            if (trimmed.count(' ') + trimmed.count('\t') == trimmed.size()) {
                ++blankOnes;
            }
            input += line + '\n';
        }

        QVERIFY(server.start());
        server.process().write(input);
        QCOMPARE(server.finish(120000), 0);
        const QList<QByteArray> lines = server.process().readAllStandardOutput().split('\n');
        int expectedResponses = 0;
        for (const Special& special : specials) {
            expectedResponses += special.expected.isEmpty() ? 0 : 1;
        }
        QCOMPARE(lines.size() - 1, expectedResponses + randomLines - blankOnes);
        int next = 0;
        for (const Special& special : specials) {
            if (!special.expected.isEmpty()) {
                QVERIFY2(lines.at(next).contains(special.expected), lines.at(next).left(200).constData());
                ++next;
            }
        }
        for (qsizetype i = next; i < lines.size() - 1; ++i) {
            const QByteArray& line = lines.at(i);
            if (!line.contains("\"id\":null") || !(line.contains(parse) || line.contains(invalid))) {
                QFAIL(line.constData());
            }
        }
        QVERIFY(StoreSnapshot::of(Store::open(server.storePath()).value()) == before);
    }
};

QTEST_GUILESS_MAIN(ProcessTest)
#include "ProcessTest.moc"
