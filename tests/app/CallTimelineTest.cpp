#include "app/callwindow/CallTimeline.h"
#include "common/Uuid.h"

#include <QTest>

namespace {

const QDateTime start(QDate(2026, 3, 4), QTime(10, 0), Qt::UTC);

Speaker speakerOf(QChar letter)
{
    return letter == u'Y' ? Speaker::me : Speaker::them;
}

// "T3 a|Y5 b": the other person says "a" at 10:00:03, the user says "b" at 10:00:05.
QList<TranscriptLine> linesFrom(const QString& described)
{
    QList<TranscriptLine> lines;
    for (const QString& entry : described.split(u'|', Qt::SkipEmptyParts)) {
        const QStringList parts = entry.split(u' ');
        lines.append(TranscriptLine {
            uuid::create(), speakerOf(parts.at(0).at(0)), parts.at(1), start.addSecs(parts.at(0).mid(1).toInt()) });
    }
    return lines;
}

// "5 s1|6 !s2": reply "s1" made at 10:00:05, error "s2" at 10:00:06.
QList<Suggestion> historyFrom(const QString& described)
{
    QList<Suggestion> history;
    for (const QString& entry : described.split(u'|', Qt::SkipEmptyParts)) {
        const QStringList parts = entry.split(u' ');
        const bool isError = parts.at(1).startsWith(u'!');
        history.append(Suggestion { uuid::create(), start.addSecs(parts.at(0).toInt()), QStringLiteral("q"),
            isError ? parts.at(1).mid(1) : parts.at(1), isError });
    }
    return history;
}

// "T:so|Y:well"
QHash<Speaker, QString> inProgressFrom(const QString& described)
{
    QHash<Speaker, QString> texts;
    for (const QString& entry : described.split(u'|', Qt::SkipEmptyParts)) {
        texts.insert(speakerOf(entry.at(0)), entry.mid(2));
    }
    return texts;
}

// "[a b] <s> last(You:um) waiting"
QString describe(const CallTimeline& timeline)
{
    QStringList parts;
    for (const CallTimeline::Block& block : timeline.blocks) {
        if (block.kind == CallTimeline::Block::Kind::lines) {
            QStringList texts;
            for (const TranscriptLine& line : block.lines) {
                texts.append(line.text);
            }
            parts.append(u'[' + texts.join(u' ') + u']');
        } else {
            parts.append(u'<' + block.suggestion.response + u'>');
        }
    }
    QStringList rows;
    for (const LineView& row : timeline.inProgress) {
        rows.append(speaker::rawText(row.speaker) + u':' + row.text);
    }
    if (timeline.inProgressPlace == CallTimeline::InProgressPlace::lastBlock) {
        parts.append(QStringLiteral("last(") + rows.join(u' ') + u')');
    } else if (timeline.inProgressPlace == CallTimeline::InProgressPlace::ownCard) {
        parts.append(QStringLiteral("own(") + rows.join(u' ') + u')');
    }
    if (timeline.showsWaiting) {
        parts.append(QStringLiteral("waiting"));
    }
    return parts.join(u' ');
}

} // namespace

class CallTimelineTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void build_data();
    void build();
};

void CallTimelineTest::build_data()
{
    QTest::addColumn<QString>("lines");
    QTest::addColumn<QString>("history");
    QTest::addColumn<QString>("inProgress");
    QTest::addColumn<bool>("waiting");
    QTest::addColumn<QString>("shown");

    QTest::newRow("nothing yet") << ""
                                 << ""
                                 << "" << false << "";
    QTest::newRow("lines only: one run") << "T3 a|Y4 b|T5 c"
                                         << ""
                                         << "" << false << "[a b c]";
    QTest::newRow("suggestion at :05 between lines at :03 and :07") << "T3 a|T7 b"
                                                                    << "5 s"
                                                                    << "" << false << "[a] <s> [b]";
    QTest::newRow("a line at the suggestion's very time comes before it") << "T3 a|Y5 b|T7 c"
                                                                          << "5 s"
                                                                          << "" << false << "[a b] <s> [c]";
    QTest::newRow("two suggestions in a row: no empty lines card between") << "T3 a|T9 b"
                                                                           << "5 s1|6 s2"
                                                                           << "" << false << "[a] <s1> <s2> [b]";
    QTest::newRow("suggestion before every line") << "T7 a"
                                                  << "5 s"
                                                  << "" << false << "<s> [a]";
    QTest::newRow("suggestions after every line") << "T3 a"
                                                  << "5 s1|6 !s2"
                                                  << "" << false << "[a] <s1> <s2>";
    QTest::newRow("only in-progress text: a card of its own") << ""
                                                              << ""
                                                              << "T:hello" << false << "own(Them:hello)";
    QTest::newRow("in-progress after a suggestion: own card, me first")
        << "T3 a"
        << "5 s"
        << "T:so|Y:well" << false << "[a] <s> own(You:well Them:so)";
    QTest::newRow("in-progress joins the last lines card") << "T3 a"
                                                           << ""
                                                           << "Y:um" << false << "[a] last(You:um)";
    QTest::newRow("in-progress after lines that follow a suggestion")
        << "T3 a|T8 b"
        << "5 s"
        << "T:and" << false << "[a] <s> [b] last(Them:and)";
    QTest::newRow("waiting indicator follows everything") << "T3 a"
                                                          << ""
                                                          << "Y:um" << true << "[a] last(You:um) waiting";
    QTest::newRow("waiting with nothing else") << ""
                                               << ""
                                               << "" << true << "waiting";
}

void CallTimelineTest::build()
{
    QFETCH(QString, lines);
    QFETCH(QString, history);
    QFETCH(QString, inProgress);
    QFETCH(bool, waiting);
    QFETCH(QString, shown);

    const QList<TranscriptLine> transcript = linesFrom(lines);
    const QList<Suggestion> suggestions = historyFrom(history);
    const CallTimeline timeline = CallTimeline::build(transcript, suggestions, inProgressFrom(inProgress), waiting);
    QCOMPARE(describe(timeline), shown);

    // Every line and suggestion appears once, in order, and each block is known by its first entry.
    qsizetype line = 0;
    qsizetype suggestion = 0;
    for (const CallTimeline::Block& block : timeline.blocks) {
        if (block.kind == CallTimeline::Block::Kind::lines) {
            QVERIFY(!block.lines.isEmpty());
            QCOMPARE(block.id(), block.lines.first().id);
            QCOMPARE(block.lines, transcript.mid(line, block.lines.size()));
            line += block.lines.size();
        } else {
            QCOMPARE(block.id(), block.suggestion.id);
            QCOMPARE(block.suggestion, suggestions.at(suggestion++));
        }
    }
    QCOMPARE(line, transcript.size());
    QCOMPARE(suggestion, suggestions.size());
    for (const LineView& row : timeline.inProgress) {
        QVERIFY(!row.isFinal);
    }
}

QTEST_GUILESS_MAIN(CallTimelineTest)
#include "CallTimelineTest.moc"
