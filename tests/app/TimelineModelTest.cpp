#include "app/callwindow/TimelineModel.h"
#include "common/Uuid.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

namespace {

const QDateTime start(QDate(2026, 3, 4), QTime(10, 0), Qt::UTC);

using Kind = TimelineModel::RowKind;

// What the rows make on screen: "[a b You:um] <s>" is one card of two lines and the user's text in
// progress, then a suggestion's card.
QString describe(const TimelineModel& model)
{
    QStringList cards;
    QString card;
    for (int row = 0; row < model.rowCount(); ++row) {
        const QModelIndex index = model.index(row);
        const auto kind = static_cast<Kind>(index.data(TimelineModel::KindRole).toInt());
        const auto edges = TimelineModel::CardEdges(index.data(TimelineModel::CardEdgesRole).toInt());
        const QString text = index.data().toString();
        QString item = text;
        if (kind == Kind::inProgress) {
            item = index.data(Qt::AccessibleDescriptionRole).toString() + u':' + text;
        } else if (kind == Kind::suggestion) {
            item = (index.data(TimelineModel::ErrorRole).toBool() ? QStringLiteral("<!") : QStringLiteral("<")) + text
                + u'>';
        }
        card = edges.testFlag(TimelineModel::opensCard) ? item : card + u' ' + item;
        if (edges.testFlag(TimelineModel::closesCard)) {
            cards.append(kind == Kind::suggestion ? card : u'[' + card + u']');
        }
    }
    return cards.join(u' ');
}

// Feeds the model as the services would, one step at a time:
//   "T3 a" / "Y3 a"   the other person / the user says "a" at 10:00:03 (the transcript gains a line)
//   "-a"              the transcript takes line "a" back (an echo), "C" empties it
//   "S5 x:text"       suggestion "x" is made, or updated, at 10:00:05 with this text ("S5 x:!text", an error)
//   "Xx"              suggestion "x" is dropped (cancelled), "H" empties the history
//   "~T:text"         the other person's text in progress ("~T:" when there is none any more)
struct Feed {
    TimelineModel& model;
    QList<TranscriptLine> lines;
    QList<Suggestion> history;
    QHash<QString, QUuid> ids;
    QHash<Speaker, QString> inProgress;

    void step(const QString& step)
    {
        const QChar what = step.at(0);
        if (what == u'T' || what == u'Y') {
            const qsizetype space = step.indexOf(u' ');
            lines.append(TranscriptLine { uuid::create(), what == u'Y' ? Speaker::me : Speaker::them,
                step.mid(space + 1), start.addSecs(step.mid(1, space - 1).toInt()) });
            model.setLines(lines);
        } else if (what == u'-') {
            lines.removeIf([&](const TranscriptLine& line) { return line.text == step.mid(1); });
            model.setLines(lines);
        } else if (what == u'C') {
            lines.clear();
            model.setLines(lines);
        } else if (what == u'S') {
            const qsizetype space = step.indexOf(u' ');
            const QString label = step.mid(space + 1).section(u':', 0, 0);
            const QString text = step.section(u':', 1);
            const bool isError = text.startsWith(u'!');
            Suggestion suggestion { ids.value(label, uuid::create()), start.addSecs(step.mid(1, space - 1).toInt()),
                QStringLiteral("q"), isError ? text.mid(1) : text, isError };
            ids.insert(label, suggestion.id);
            const auto it = std::find_if(
                history.begin(), history.end(), [&](const Suggestion& entry) { return entry.id == suggestion.id; });
            if (it != history.end()) {
                *it = suggestion;
            } else {
                history.append(suggestion);
            }
            model.setHistory(history);
        } else if (what == u'X') {
            const QUuid id = ids.value(step.mid(1));
            history.removeIf([&](const Suggestion& entry) { return entry.id == id; });
            model.setHistory(history);
        } else if (what == u'H') {
            history.clear();
            model.setHistory(history);
        } else if (what == u'~') {
            const Speaker speaker = step.at(1) == u'Y' ? Speaker::me : Speaker::them;
            const QString text = step.mid(3);
            if (text.isEmpty()) {
                inProgress.remove(speaker);
            } else {
                inProgress.insert(speaker, text);
            }
            model.setInProgress(inProgress);
        }
    }
};

} // namespace

class TimelineModelTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void placement_data();
    void placement();
    void changes_data();
    void changes();
};

// Where lines, suggestions and text in progress go, whether they arrive all at once, as they happen
// or with every suggestion before the lines.
void TimelineModelTest::placement_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("shown");

    const struct {
        const char* name;
        const char* lines; // "T3 a|Y5 b"
        const char* history; // "S5 s1:s1|S6 s2:!s2"
        const char* inProgress; // "~T:so|~Y:well"
        const char* shown;
    } cases[] = {
        { "nothing yet", "", "", "", "" },
        { "lines only: one card", "T3 a|Y4 b|T5 c", "", "", "[a b c]" },
        { "suggestion at :05 between lines at :03 and :07", "T3 a|T7 b", "S5 s:s", "", "[a] <s> [b]" },
        { "a line at the suggestion's very time comes before it", "T3 a|Y5 b|T7 c", "S5 s:s", "", "[a b] <s> [c]" },
        { "two suggestions in a row: no empty card between", "T3 a|T9 b", "S5 s1:s1|S6 s2:s2", "",
            "[a] <s1> <s2> [b]" },
        { "suggestion before every line", "T7 a", "S5 s:s", "", "<s> [a]" },
        { "suggestions after every line, one an error", "T3 a", "S5 s1:s1|S6 s2:!s2", "", "[a] <s1> <!s2>" },
        { "only text in progress: a card of its own", "", "", "~T:hello", "[Them:hello]" },
        { "in progress after a suggestion: its own card, the user first", "T3 a", "S5 s:s", "~T:so|~Y:well",
            "[a] <s> [You:well Them:so]" },
        { "in progress joins the last lines' card", "T3 a", "", "~Y:um", "[a You:um]" },
        { "in progress after lines that follow a suggestion", "T3 a|T8 b", "S5 s:s", "~T:and", "[a] <s> [b Them:and]" },
    };
    const auto split = [](const char* steps) { return QString::fromUtf8(steps).split(u'|', Qt::SkipEmptyParts); };
    for (const auto& row : cases) {
        const QStringList lines = split(row.lines);
        const QStringList history = split(row.history);
        const QStringList inProgress = split(row.inProgress);
        QTest::addRow("%s, all at once", row.name) << lines + history + inProgress << QString::fromUtf8(row.shown);
        QTest::addRow("%s, suggestions first", row.name)
            << inProgress + history + lines << QString::fromUtf8(row.shown);
        // As it happens: each suggestion once the lines said until its time are in.
        QStringList happening;
        qsizetype next = 0;
        for (const QString& suggestion : history) {
            const int time = suggestion.mid(1, suggestion.indexOf(u' ') - 1).toInt();
            while (next < lines.size() && lines.at(next).mid(1, lines.at(next).indexOf(u' ') - 1).toInt() <= time) {
                happening.append(lines.at(next++));
            }
            happening.append(suggestion);
        }
        happening += lines.mid(next) + inProgress;
        QTest::addRow("%s, as it happens", row.name) << happening << QString::fromUtf8(row.shown);
    }
}

void TimelineModelTest::placement()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, shown);
    TimelineModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    Feed feed { model, {}, {}, {}, {} };
    for (const QString& step : steps) {
        feed.step(step);
    }
    QCOMPARE(describe(model), shown);
}

// The rows follow each change without being made again: what the last step did to them.
void TimelineModelTest::changes_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("lastStep"); // rows "+inserted -removed >moved", "=" none, "reset"

    const auto steps = [](const char* text) { return QString::fromUtf8(text).split(u'|'); };
    QTest::newRow("a new line is one more row") << steps("T3 a|Y4 b|T5 c") << "[a b c]"
                                                << "+1";
    QTest::newRow("a streamed reply grows in its row") << steps("T3 a|S4 s:You|S4 s:You could") << "[a] <You could>"
                                                       << "=";
    QTest::newRow("a reply updated after a later line moves below it")
        << steps("T3 a|S5 s:Say|T6 b|S7 s:Say yes") << "[a b] <Say yes>"
        << ">1";
    QTest::newRow("a line dated before a reply after every line goes before it") << steps("S5 s:s|T4 a") << "[a] <s>"
                                                                                 << "+1";
    QTest::newRow("a line after a reply follows it") << steps("S5 s:s|T6 a") << "<s> [a]"
                                                     << "+1";
    QTest::newRow("an echo taken back from the middle") << steps("T3 a|Y4 b|T5 c|S6 s:s|-b") << "[a c] <s>"
                                                        << "-1";
    QTest::newRow("an echo taken back where a reply stopped lets it take the lines after")
        << steps("T3 a|Y9 b|T4 c|S5 s:s|-b") << "[a c] <s>"
        << "-1 >1";
    QTest::newRow("a reply updated past the lines of the next")
        << steps("T3 a|S5 x:x|T6 b|S7 y:y|S8 x:x2") << "[a b] <x2> <y>"
        << ">1";
    QTest::newRow("a reply updated past the next reply's place takes the next along")
        << steps("T3 a|T6 b|T7 c|S5 x:x|S6 y:y|S8 x:x2") << "[a b c] <x2> <y>"
        << "+1 -1 >1";
    QTest::newRow("a cancelled reply leaves") << steps("T3 a|S5 s:s|T6 b|Xs") << "[a b]"
                                              << "-1";
    QTest::newRow("an emptied transcript keeps the replies") << steps("T3 a|S5 s:s|T6 b|C") << "<s>"
                                                             << "reset";
    QTest::newRow("an emptied history keeps the lines") << steps("T3 a|S5 s:s|T6 b|H") << "[a b]"
                                                        << "-1";
    QTest::newRow("text in progress changes in its row") << steps("T3 a|~Y:we|~Y:well") << "[a You:well]"
                                                         << "=";
    QTest::newRow("text in progress goes when the line is finished") << steps("T3 a|~Y:we|Y4 well|~Y:") << "[a well]"
                                                                     << "-1";
    QTest::newRow("the other person's text in progress comes after the user's")
        << steps("T3 a|~T:so|~Y:we") << "[a You:we Them:so]"
        << "+1";
}

void TimelineModelTest::changes()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, shown);
    QFETCH(QString, lastStep);
    TimelineModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    Feed feed { model, {}, {}, {}, {} };
    for (qsizetype i = 0; i + 1 < steps.size(); ++i) {
        feed.step(steps.at(i));
    }
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy moved(&model, &QAbstractItemModel::rowsMoved);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    feed.step(steps.constLast());
    QCOMPARE(describe(model), shown);
    QStringList did;
    if (!reset.isEmpty()) {
        did.append(QStringLiteral("reset"));
    }
    if (reset.isEmpty() && !inserted.isEmpty()) {
        did.append(u'+' + QString::number(inserted.size()));
    }
    if (reset.isEmpty() && !removed.isEmpty()) {
        did.append(u'-' + QString::number(removed.size()));
    }
    if (!moved.isEmpty()) {
        did.append(u'>' + QString::number(moved.size()));
    }
    QCOMPARE(did.isEmpty() ? QStringLiteral("=") : did.join(u' '), lastStep);
}

QTEST_GUILESS_MAIN(TimelineModelTest)
#include "TimelineModelTest.moc"
