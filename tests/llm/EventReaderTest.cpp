#include "llm/EventReader.h"

#include <QJsonDocument>
#include <QTest>

namespace {

// Feeds `body` in pieces of `piece` bytes (0: all at once) and returns the events compactly.
QStringList read(const QByteArray& body, qsizetype piece, bool* done = nullptr)
{
    QStringList events;
    EventReader reader([&](const QJsonObject& event) {
        events.append(QString::fromUtf8(QJsonDocument(event).toJson(QJsonDocument::Compact)));
    });
    const qsizetype step = piece > 0 ? piece : std::max<qsizetype>(body.size(), 1);
    for (qsizetype at = 0; at < body.size(); at += step) {
        reader.feed(QByteArrayView(body).sliced(at, std::min(step, body.size() - at)));
    }
    reader.finish();
    if (done) {
        *done = reader.isDone();
    }
    return events;
}

} // namespace

class EventReaderTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void lines_data();
    void lines();
    void anyChunkBoundary();
    void doneEndsTheStream();
    void overlongLineIsSkipped();
    void binaryGarbage();
};

void EventReaderTest::lines_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QStringList>("events");
    const QStringList one { QStringLiteral("{\"a\":1}") };
    QTest::newRow("lf") << QByteArray("data: {\"a\":1}\n\n") << one;
    QTest::newRow("crlf") << QByteArray("data: {\"a\":1}\r\n\r\n") << one;
    QTest::newRow("lone cr") << QByteArray("data: {\"a\":1}\rdata: {\"b\":2}\r")
                             << QStringList { QStringLiteral("{\"a\":1}"), QStringLiteral("{\"b\":2}") };
    QTest::newRow("no space after colon") << QByteArray("data:{\"a\":1}\n") << one;
    QTest::newRow("several spaces and tabs") << QByteArray("data:    \t{\"a\":1} \t\n") << one;
    QTest::newRow("last line without break") << QByteArray("data: {\"a\":1}") << one;
    QTest::newRow("event and comment lines skipped")
        << QByteArray(": ping\nevent: message_start\nid: 4\n\ndata: {\"a\":1}\n") << one;
    QTest::newRow("invalid json skipped") << QByteArray("data: {\"a\":\ndata: {\"a\":1}\n") << one;
    QTest::newRow("non-object skipped") << QByteArray("data: [1,2]\ndata: 42\ndata: \"x\"\ndata: {\"a\":1}\n") << one;
    QTest::newRow("data inside a line is not data") << QByteArray(" data: {\"a\":1}\n") << QStringList();
    QTest::newRow("empty data") << QByteArray("data:\ndata: \n") << QStringList();
    QTest::newRow("utf-8") << QByteArray("data: {\"t\":\"ação «ok»\"}\n")
                           << QStringList { QStringLiteral("{\"t\":\"ação «ok»\"}") };
}

void EventReaderTest::lines()
{
    QFETCH(QByteArray, body);
    QFETCH(QStringList, events);
    QCOMPARE(read(body, 0), events);
    QCOMPARE(read(body, 1), events);
}

void EventReaderTest::anyChunkBoundary()
{
    const QByteArray body = "event: a\r\ndata: {\"n\":1}\r\n\r\ndata:{\"n\":2}\n\ndata: bad\ndata: {\"n\":3}\r\n";
    const QStringList expected { QStringLiteral("{\"n\":1}"), QStringLiteral("{\"n\":2}"),
        QStringLiteral("{\"n\":3}") };
    for (qsizetype piece = 1; piece <= body.size(); ++piece) {
        QCOMPARE(read(body, piece), expected);
    }
}

void EventReaderTest::doneEndsTheStream()
{
    bool done = false;
    const QStringList events = read("data: {\"n\":1}\n\ndata:   [DONE]  \n\ndata: {\"n\":2}\n", 3, &done);
    QCOMPARE(events, QStringList { QStringLiteral("{\"n\":1}") });
    QVERIFY(done);
    EventReader reader([](const QJsonObject&) {});
    QVERIFY(!reader.feed("data: [DONE]\n"));
    QVERIFY(!reader.feed("data: {\"n\":2}\n")); // stays over
}

void EventReaderTest::overlongLineIsSkipped()
{
    // 10 MiB in one line, fed in network-sized chunks and in one piece: skipped, the next line counts.
    QByteArray body = "data: {\"big\":\"";
    body.append(QByteArray(10 * 1024 * 1024, 'x'));
    body.append("\"}\ndata: {\"n\":1}\n");
    QCOMPARE(read(body, 16 * 1024), QStringList { QStringLiteral("{\"n\":1}") });
    QCOMPARE(read(body, 0), QStringList { QStringLiteral("{\"n\":1}") });
    // Exactly at the cap still counts.
    QByteArray fits = "data: {\"s\":\"";
    fits.append(QByteArray(EventReader::maxLineBytes - fits.size() - 2, 'y'));
    fits.append("\"}");
    QCOMPARE(fits.size(), EventReader::maxLineBytes);
    QCOMPARE(read(fits + '\n', 4096).size(), 1);
}

void EventReaderTest::binaryGarbage()
{
    QByteArray garbage;
    quint32 seed = 7;
    for (int i = 0; i < 200000; ++i) {
        seed = seed * 1664525u + 1013904223u;
        garbage.append(static_cast<char>(seed >> 24));
    }
    garbage.append("\ndata: {\"n\":1}\n");
    const QStringList events = read(garbage, 1000);
    QVERIFY(events.contains(QStringLiteral("{\"n\":1}")));
}

QTEST_GUILESS_MAIN(EventReaderTest)
#include "EventReaderTest.moc"
