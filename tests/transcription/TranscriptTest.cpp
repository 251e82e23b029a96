#include "transcription/Transcript.h"
#include "fakes/ManualClock.h"

#include <QSignalSpy>
#include <QTest>

Q_DECLARE_METATYPE(Speaker)

using namespace std::chrono_literals;

namespace {

QStringList texts(const Transcript& transcript)
{
    QStringList out;
    for (const TranscriptLine& line : transcript.lines()) {
        out.append(speaker::rawText(line.speaker) + QStringLiteral(": ") + line.text);
    }
    return out;
}

} // namespace

class TranscriptTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void inProgressText();
    void finalTextNeedsLetterOrDigit_data();
    void finalTextNeedsLetterOrDigit();
    void echoSuppression_data();
    void echoSuppression();
    void themLineRemovesOnlyMatchingEchoes();
    void clearKeepsReceiving();
};

void TranscriptTest::inProgressText()
{
    Transcript transcript(nullptr);
    QSignalSpy changed(&transcript, &Transcript::volatileChanged);
    transcript.handleText(QStringLiteral("  hello wor \n"), false, Speaker::them);
    QCOMPARE(transcript.volatileText().value(Speaker::them), QStringLiteral("hello wor"));
    transcript.handleText(QStringLiteral("hello wor"), false, Speaker::them);
    QCOMPARE(changed.count(), 1); // the same text again announces nothing
    transcript.handleText(QStringLiteral(" \t\n"), false, Speaker::them);
    QVERIFY(!transcript.volatileText().contains(Speaker::them));
    QCOMPARE(changed.count(), 2);
    QVERIFY(transcript.lines().isEmpty());
}

void TranscriptTest::finalTextNeedsLetterOrDigit_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected"); // empty: no line
    QTest::newRow("ellipsis") << QStringLiteral("…") << QString();
    QTest::newRow("lone dash") << QStringLiteral(" - ") << QString();
    QTest::newRow("spaces") << QStringLiteral("   \n") << QString();
    QTest::newRow("digit") << QStringLiteral(" 42. ") << QStringLiteral("42.");
    QTest::newRow("trimmed") << QStringLiteral("\n Olá, tudo bem? \t") << QStringLiteral("Olá, tudo bem?");
}

void TranscriptTest::finalTextNeedsLetterOrDigit()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    Transcript transcript(nullptr);
    transcript.handleText(QStringLiteral("pending"), false, Speaker::me);
    QSignalSpy appended(&transcript, &Transcript::lineAppended);
    transcript.handleText(text, true, Speaker::me);
    QVERIFY(!transcript.volatileText().contains(Speaker::me)); // cleared in every case
    if (expected.isEmpty()) {
        QVERIFY(transcript.lines().isEmpty());
        QCOMPARE(appended.count(), 0);
    } else {
        QCOMPARE(transcript.lines().size(), 1);
        QCOMPARE(transcript.lines().front().text, expected);
        QCOMPARE(appended.count(), 1);
    }
}

void TranscriptTest::echoSuppression_data()
{
    QTest::addColumn<Speaker>("firstSpeaker");
    QTest::addColumn<QString>("first");
    QTest::addColumn<double>("gapSeconds");
    QTest::addColumn<Speaker>("secondSpeaker");
    QTest::addColumn<QString>("second");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("me echo of them dropped")
        << Speaker::them << QStringLiteral("Sim, claro que sim!") << 3.0 << Speaker::me
        << QStringLiteral("sim, claro que sim") << QStringList { QStringLiteral("Them: Sim, claro que sim!") };
    QTest::newRow("8 s later is not an echo")
        << Speaker::them << QStringLiteral("Sim, claro que sim!") << 8.0 << Speaker::me
        << QStringLiteral("sim, claro que sim")
        << QStringList { QStringLiteral("Them: Sim, claro que sim!"), QStringLiteral("You: sim, claro que sim") };
    QTest::newRow("them after me removes the me line")
        << Speaker::me << QStringLiteral("what is your notice period") << 1.5 << Speaker::them
        << QStringLiteral("What is your notice period?")
        << QStringList { QStringLiteral("Them: What is your notice period?") };
    QTest::newRow("single words never match")
        << Speaker::them << QStringLiteral("ok") << 0.5 << Speaker::me << QStringLiteral("Ok!")
        << QStringList { QStringLiteral("Them: ok"), QStringLiteral("You: Ok!") };
    QTest::newRow("overlap below 0.7 kept") << Speaker::them << QStringLiteral("we ship on friday next week") << 1.0
                                            << Speaker::me << QStringLiteral("friday works for me")
                                            << QStringList { QStringLiteral("Them: we ship on friday next week"),
                                                   QStringLiteral("You: friday works for me") };
    QTest::newRow("same speaker never an echo")
        << Speaker::me << QStringLiteral("sounds good to me") << 1.0 << Speaker::me
        << QStringLiteral("sounds good to me")
        << QStringList { QStringLiteral("You: sounds good to me"), QStringLiteral("You: sounds good to me") };
}

void TranscriptTest::echoSuppression()
{
    QFETCH(Speaker, firstSpeaker);
    QFETCH(QString, first);
    QFETCH(double, gapSeconds);
    QFETCH(Speaker, secondSpeaker);
    QFETCH(QString, second);
    QFETCH(QStringList, expected);
    ManualClock clock;
    Transcript transcript(nullptr, &clock);
    transcript.handleText(first, true, firstSpeaker);
    clock.advance(std::chrono::milliseconds(qRound64(gapSeconds * 1000)));
    transcript.handleText(second, true, secondSpeaker);
    QCOMPARE(texts(transcript), expected);
}

void TranscriptTest::themLineRemovesOnlyMatchingEchoes()
{
    ManualClock clock;
    Transcript transcript(nullptr, &clock);
    transcript.handleText(QStringLiteral("I have five years of experience"), true, Speaker::me);
    clock.advance(1s);
    transcript.handleText(QStringLiteral("tell me about the role"), true, Speaker::me);
    clock.advance(1s);
    transcript.handleText(QStringLiteral("Tell me about the role."), true, Speaker::them);
    QCOMPARE(texts(transcript),
        (QStringList {
            QStringLiteral("You: I have five years of experience"), QStringLiteral("Them: Tell me about the role.") }));
}

void TranscriptTest::clearKeepsReceiving()
{
    Transcript transcript(nullptr);
    transcript.handleText(QStringLiteral("first line here"), true, Speaker::them);
    transcript.handleText(QStringLiteral("typing"), false, Speaker::me);
    transcript.clear();
    QVERIFY(transcript.lines().isEmpty());
    QVERIFY(transcript.volatileText().isEmpty());
    transcript.handleText(QStringLiteral("second line here"), true, Speaker::them);
    QCOMPARE(texts(transcript), QStringList { QStringLiteral("Them: second line here") });
}

QTEST_GUILESS_MAIN(TranscriptTest)
#include "TranscriptTest.moc"
