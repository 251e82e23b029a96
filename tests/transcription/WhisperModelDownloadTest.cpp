#include "transcription/WhisperModelDownload.h"
#include "fakes/FakeHttpServer.h"
#include "fakes/Golden.h"
#include "fakes/WhisperModelWriter.h"
#include "transcription/WhisperModels.h"

#include <QCryptographicHash>
#include <QFile>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

namespace {

constexpr qint64 chunkBytes = 1 << 20;

QList<QByteArray> chunked(const QByteArray& bytes)
{
    QList<QByteArray> chunks;
    for (qint64 offset = 0; offset < bytes.size(); offset += chunkBytes) {
        chunks.append(bytes.mid(offset, chunkBytes));
    }
    return chunks;
}

// Serves `body` at `path` the way a file server does: a range request gets the rest from its offset.
// `cutAfter` bytes into a whole response the connection drops.
void serveFile(FakeHttpServer& server, const QByteArray& path, QByteArray body, qint64 cutAfter = -1)
{
    server.handle(path, [body, cutAfter](const FakeHttpServer::Request& request) {
        FakeHttpServer::Response response { 200, "application/octet-stream", {}, FakeHttpServer::Ending::complete, {} };
        qint64 from = 0;
        const QByteArray range = request.header("range");
        if (range.startsWith("bytes=")) {
            from = range.mid(6, range.indexOf('-') - 6).toLongLong();
            response.status = 206;
            response.headers.append({ "Content-Range",
                "bytes " + QByteArray::number(from) + '-' + QByteArray::number(body.size() - 1) + '/'
                    + QByteArray::number(body.size()) });
        }
        QByteArray rest = body.mid(from);
        if (cutAfter >= 0 && from == 0) {
            rest = rest.left(cutAfter);
            response.ending = FakeHttpServer::Ending::reset;
        }
        response.chunks = chunked(rest);
        return response;
    });
}

WhisperModelEntry entryFor(const FakeHttpServer& server, const QString& file, qint64 bytes, const QByteArray& sha256)
{
    return { QStringLiteral("test"), QStringLiteral("Test model"), file, QUrl(server.baseURL() + u'/' + file), bytes,
        sha256, {}, { QStringLiteral("multilingual") } };
}

QByteArray sha256(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

} // namespace

class WhisperModelDownloadTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_data;
    QNetworkAccessManager m_network;
    QByteArray m_model;

    // Runs a download to its end; the message is empty when it installed.
    QString download(const WhisperModelEntry& entry, QList<qint64>* progress = nullptr)
    {
        WhisperModelDownload download(m_network);
        QSignalSpy finished(&download, &WhisperModelDownload::finished);
        QSignalSpy failed(&download, &WhisperModelDownload::failed);
        connect(&download, &WhisperModelDownload::progress, this, [progress](qint64 received, qint64) {
            if (progress) {
                progress->append(received);
            }
        });
        download.start(entry);
        if (!QTest::qWaitFor([&] { return !finished.isEmpty() || !failed.isEmpty(); }, 60000)) {
            return QStringLiteral("(no outcome)");
        }
        return failed.isEmpty() ? QString() : failed.first().first().toString();
    }

    QString installed(const QString& file) const { return whisperModels::pathFor(file); }

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_data.path()));
        const QString generated = m_data.filePath(QStringLiteral("generated.bin"));
        whisperModelWriter::write(generated, whisperModelWriter::Size::tiny);
        QFile file(generated);
        QVERIFY(file.open(QIODevice::ReadOnly));
        m_model = file.readAll();
    }

    void init() { QDir(whisperModels::folder()).removeRecursively(); }

    // The first transfer drops at 20 MB; the next start asks for the rest and installs the model.
    void resumesAndInstalls()
    {
        FakeHttpServer server;
        serveFile(server, "/ggml-tiny.bin", m_model, 20 * chunkBytes);
        const WhisperModelEntry entry =
            entryFor(server, QStringLiteral("ggml-tiny.bin"), m_model.size(), sha256(m_model));
        QList<qint64> progress;
        QCOMPARE(download(entry, &progress),
            QStringLiteral("The download of ggml-tiny.bin ended early. Press Download to continue it."));
        QCOMPARE(progress.last(), 20 * chunkBytes);
        QCOMPARE(QFileInfo(installed(QStringLiteral("ggml-tiny.bin.part"))).size(), 20 * chunkBytes);

        progress.clear();
        QCOMPARE(download(entry, &progress), QString());
        QCOMPARE(server.requests().last().header("range"), QByteArray("bytes=20971520-"));
        QCOMPARE(progress.first(), 20 * chunkBytes);
        QCOMPARE(progress.last(), qint64(m_model.size()));
        QVERIFY(std::is_sorted(progress.begin(), progress.end()));
        QCOMPARE(whisperModels::installed(), QStringList { QStringLiteral("ggml-tiny.bin") });
        QCOMPARE(QFileInfo(installed(QStringLiteral("ggml-tiny.bin"))).size(), qint64(m_model.size()));
        QVERIFY(!QFile::exists(installed(QStringLiteral("ggml-tiny.bin.part"))));
    }

    void cancelKeepsWhatArrived()
    {
        FakeHttpServer server;
        FakeHttpServer::Response held { 200, "application/octet-stream", { m_model.left(chunkBytes) },
            FakeHttpServer::Ending::hang, {} };
        server.respond("/ggml-tiny.bin", held);
        WhisperModelDownload download(m_network);
        QSignalSpy progress(&download, &WhisperModelDownload::progress);
        QSignalSpy failed(&download, &WhisperModelDownload::failed);
        download.start(entryFor(server, QStringLiteral("ggml-tiny.bin"), m_model.size(), sha256(m_model)));
        QVERIFY(QTest::qWaitFor([&] { return !progress.isEmpty() && progress.last().first().toLongLong() > 0; }));
        QVERIFY(download.isRunning());
        download.cancel();
        QCOMPARE(failed.size(), 1);
        QCOMPARE(failed.first().first().toString(), WhisperModelDownload::cancelledMessage());
        QVERIFY(!download.isRunning());
        QCOMPARE(QFileInfo(installed(QStringLiteral("ggml-tiny.bin.part"))).size(), chunkBytes);
        QVERIFY(whisperModels::installed().isEmpty());
    }

    // The messages are in tests/data/transcription/download-refusals.txt, by row.
    void refusals_data()
    {
        QTest::addColumn<qint64>("listedBytes");
        QTest::addColumn<bool>("rightChecksum");
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("partKept");
        QTest::newRow("wrong checksum") << qint64(4096) << false << 200 << false;
        QTest::newRow("right checksum, not a model") << qint64(4096) << true << 200 << false;
        QTest::newRow("shorter than listed") << qint64(8192) << true << 200 << true;
        QTest::newRow("longer than listed") << qint64(1000) << true << 200 << false;
        QTest::newRow("not found") << qint64(4096) << true << 404 << false;
    }

    void refusals()
    {
        QFETCH(qint64, listedBytes);
        QFETCH(bool, rightChecksum);
        QFETCH(int, status);
        QFETCH(bool, partKept);
        const QByteArray body = QByteArray(4096, 'q');
        FakeHttpServer server;
        if (status == 200) {
            serveFile(server, "/ggml-x.bin", body);
        }
        const WhisperModelEntry entry = entryFor(server, QStringLiteral("ggml-x.bin"), listedBytes,
            rightChecksum ? sha256(body.left(listedBytes)) : sha256("other"));
        QCOMPARE(download(entry),
            goldenSections(QStringLiteral("transcription/download-refusals.txt"))
                .value(QLatin1String(QTest::currentDataTag())));
        QVERIFY(whisperModels::installed().isEmpty());
        QCOMPARE(QFile::exists(installed(QStringLiteral("ggml-x.bin.part"))), partKept);
    }

    // The file size limit stands in for a full disk: writes past it fail as they would there.
    void fullDiskStopsAndKeepsThePart()
    {
        const QByteArray body = m_model.left(4 * chunkBytes);
        FakeHttpServer server;
        serveFile(server, "/ggml-tiny.bin", body);
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit previous {};
        getrlimit(RLIMIT_FSIZE, &previous);
        rlimit limited = previous;
        limited.rlim_cur = 2 * chunkBytes;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
        const QString message = download(entryFor(server, QStringLiteral("ggml-tiny.bin"), body.size(), sha256(body)));
        setrlimit(RLIMIT_FSIZE, &previous);
        QVERIFY2(
            message.startsWith(QStringLiteral("Could not save the speech model ggml-tiny.bin: ")), qPrintable(message));
        QVERIFY(QFileInfo(installed(QStringLiteral("ggml-tiny.bin.part"))).size() <= 2 * chunkBytes);
        QVERIFY(whisperModels::installed().isEmpty());
    }

    // Entries that would write outside the models' folder or install an unchecked file refuse the list.
    void modelList_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("good") << QString() << QString() << true;
        QTest::newRow("sha1 instead") << QStringLiteral(
            R"("sha256":"be07e048e1e599ad46341c8d2a135645097a538221678b7acdd1b1919c6e1b21")")
                                      << QStringLiteral(R"("sha1":"bd577a113a864445d4c299885e0cb97d4ba92b5f")") << true;
        QTest::newRow("outside the folder")
            << QStringLiteral("ggml-tiny.bin\",") << QStringLiteral("../x.bin\",") << false;
        QTest::newRow("not a web address")
            << QStringLiteral("https://example.invalid") << QStringLiteral("file://") << false;
        QTest::newRow("short checksum") << QStringLiteral("be07e048e1e599ad") << QStringLiteral("\",\"x\":\"") << false;
    }

    void modelList()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(bool, accepted);
        QString json = QStringLiteral(R"({"models":[{"id":"tiny","name":"Tiny","file":"ggml-tiny.bin",)"
                                      R"("url":"https://example.invalid/ggml-tiny.bin","bytes":77691713,)"
                                      R"("sha256":"be07e048e1e599ad46341c8d2a135645097a538221678b7acdd1b1919c6e1b21",)"
                                      R"("languages":["multilingual"]}]})");
        if (!from.isEmpty()) {
            json.replace(from, to);
        }
        const auto list = whisperModels::parseList(json.toUtf8());
        QCOMPARE(bool(list), accepted);
        if (!accepted) {
            QCOMPARE(list.error().message, QStringLiteral("The speech model list could not be read."));
        }
    }
};

QTEST_GUILESS_MAIN(WhisperModelDownloadTest)
#include "WhisperModelDownloadTest.moc"
