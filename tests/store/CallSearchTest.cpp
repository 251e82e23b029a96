#include "StoreTesting.h"

#include "store/CallSearch.h"
#include "store/Store.h"
#include "store/StoreContext.h"

#include <SQLiteCpp/Database.h>

#include <QTemporaryDir>
#include <QTest>

using namespace storeTesting;

namespace {

Call callWith(const Assistant& assistant, double start, const QStringList& lines, const QString& summary = {})
{
    Call call = makeCall(assistant.id, start);
    QList<CallLine> callLines;
    for (const QString& line : lines) {
        callLines.append({ callLines.size() % 2 == 0, line, instant(start + callLines.size()) });
    }
    call.linesData = blob::encodeLines(callLines);
    call.summary = summary;
    return call;
}

// "<summary of the call>:<line>" for each hit, in order.
QString found(StoreContext& context, const QString& text, std::optional<QUuid> assistant = std::nullopt)
{
    const auto hits = callSearch::find(context, { text, assistant, std::nullopt, 20 });
    if (!hits) {
        return QStringLiteral("error: ") + hits.error().message;
    }
    QStringList out;
    for (const CallSearchHit& hit : *hits) {
        const auto call = context.fetchOne<Call>(hit.call).value_or(std::nullopt);
        out.append((call ? call->summary.section(u' ', 0, 0) : QStringLiteral("?")) + u':' + QString::number(hit.line));
    }
    return out.join(u' ');
}

} // namespace

class CallSearchTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_path = m_dir.filePath(uuid::toText(uuid::create()) + QStringLiteral(".store"));
        auto store = Store::open(m_path);
        QVERIFY(store);
        m_store = *store;
        m_context = m_store->newContext();
        m_assistant = makeAssistant(QStringLiteral("A"), 0);
        m_other = makeAssistant(QStringLiteral("B"), 1);
        m_context->insert(m_assistant);
        m_context->insert(m_other);
        QVERIFY(m_context->save());
    }

    void cleanup()
    {
        m_context.reset();
        m_store.reset();
    }

    // The index follows every save of a call, and nothing of a rollback or a failed save.
    void keptInStep()
    {
        StoreContext& context = *m_context;
        Call call = callWith(m_assistant, 10, { QStringLiteral("We ship in March"), QStringLiteral("Pricing?") },
            QStringLiteral("first summary"));
        call.outcomeNote = QStringLiteral("great rapport");
        context.insert(call);
        QVERIFY(context.save());
        QCOMPARE(found(context, QStringLiteral("march")), QStringLiteral("first:0"));
        QCOMPARE(found(context, QStringLiteral("pricing")), QStringLiteral("first:1"));
        QCOMPARE(found(context, QStringLiteral("summary")), QStringLiteral("first:-1"));
        QCOMPARE(found(context, QStringLiteral("rapport")), QStringLiteral("first:-2"));

        call.outcomeNote = QStringLiteral("follow up in April");
        call.linesData = blob::encodeLines({ { false, QStringLiteral("We ship in May"), instant(11) } });
        context.update(call);
        QVERIFY(context.save());
        QCOMPARE(found(context, QStringLiteral("rapport")), QString());
        QCOMPARE(found(context, QStringLiteral("march")), QString());
        QCOMPARE(found(context, QStringLiteral("april")), QStringLiteral("first:-2"));
        QCOMPARE(found(context, QStringLiteral("may")), QStringLiteral("first:0"));

        call.summary = QStringLiteral("changed text");
        context.update(call);
        context.rollback();
        QCOMPARE(found(context, QStringLiteral("summary")), QStringLiteral("first:-1"));

        // A failed save (a call whose assistant does not exist) leaves no trace in the index.
        Call orphan = callWith(m_assistant, 20, { QStringLiteral("orphaned words") });
        orphan.assistant = uuid::create();
        context.insert(orphan);
        QVERIFY(!context.save());
        context.rollback();
        QCOMPARE(found(context, QStringLiteral("orphaned")), QString());

        context.remove<Call>(call.id);
        QVERIFY(context.save());
        QCOMPARE(found(context, QStringLiteral("may")), QString());
        // Nothing of it is left in the index.
        SQLite::Database& db = m_store->database();
        QCOMPARE(db.execAndGet("SELECT count(*) FROM \"CallSearch\"").getInt(), 0);
        QCOMPARE(db.execAndGet("SELECT count(*) FROM \"CallKey\"").getInt(), 0);
    }

    void ranking_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<bool>("onlyFirstAssistant");
        QTest::addColumn<QString>("expected");
        QTest::newRow("newest first among equal matches")
            << QStringLiteral("budget") << false << QStringLiteral("third:0 second:0 first:0");
        QTest::newRow("the better match first")
            << QStringLiteral("deadline") << false << QStringLiteral("second:1 first:1");
        QTest::newRow("words of one line together") << QStringLiteral("budget deadline") << false << QString();
        QTest::newRow("case and accents folded") << QStringLiteral("SAO PAULO") << false << QStringLiteral("first:2");
        QTest::newRow("the last word as a beginning")
            << QStringLiteral("são pau") << false << QStringLiteral("first:2");
        QTest::newRow("earlier words whole") << QStringLiteral("sa paulo") << false << QString();
        QTest::newRow("one assistant only") << QStringLiteral("budget") << true << QStringLiteral("second:0 first:0");
        QTest::newRow("index syntax is plain text") << QStringLiteral("budget OR NEAR(\"x\")") << false << QString();
    }

    void ranking()
    {
        QFETCH(QString, query);
        QFETCH(bool, onlyFirstAssistant);
        QFETCH(QString, expected);
        StoreContext& context = *m_context;
        context.insert(callWith(m_assistant, 10,
            { QStringLiteral("the budget is fine"), QStringLiteral("the deadline, the deadline is close"),
                QStringLiteral("Meeting in São Paulo") },
            QStringLiteral("first")));
        context.insert(callWith(m_assistant, 20,
            { QStringLiteral("the budget is fine"), QStringLiteral("deadline deadline deadline") },
            QStringLiteral("second")));
        context.insert(callWith(m_other, 30, { QStringLiteral("the budget is fine") }, QStringLiteral("third")));
        QVERIFY(context.save());
        QCOMPARE(found(context, query, onlyFirstAssistant ? std::optional(m_assistant.id) : std::nullopt), expected);
    }

    void passageAndLimit()
    {
        StoreContext& context = *m_context;
        QString longLine;
        for (int i = 0; i < 40; ++i) {
            longLine += QStringLiteral("word%1 ").arg(i);
        }
        context.insert(callWith(m_assistant, 10, { longLine + QStringLiteral("Ação final") }, QStringLiteral("x")));
        for (int i = 0; i < 5; ++i) {
            context.insert(callWith(m_assistant, 20 + i, { QStringLiteral("acao") }, QStringLiteral("y")));
        }
        QVERIFY(context.save());
        const auto hits = callSearch::find(context, { QStringLiteral("word39 acao"), std::nullopt, std::nullopt, 20 });
        QVERIFY(hits && hits->size() == 1);
        const CallSearchHit& hit = hits->front();
        QVERIFY2(hit.passage.startsWith(u'\u2026') && hit.passage.endsWith(QStringLiteral("Ação final")),
            qPrintable(hit.passage));
        QCOMPARE(hit.marks.size(), 2);
        QCOMPARE(hit.passage.mid(hit.marks[0].first, hit.marks[0].second), QStringLiteral("word39"));
        QCOMPARE(hit.passage.mid(hit.marks[1].first, hit.marks[1].second), QStringLiteral("Ação"));

        const auto limited = callSearch::find(context, { QStringLiteral("acao"), std::nullopt, std::nullopt, 3 });
        QVERIFY(limited);
        QCOMPARE(limited->size(), size_t(3));
    }

    // A store written before the index existed gets it on opening; a malformed call is read as
    // having no lines, as everywhere else.
    void migrationBuildsIndex()
    {
        Call good = callWith(m_assistant, 10, { QStringLiteral("kept in the index") }, QStringLiteral("good one"));
        Call bad = callWith(m_assistant, 20, {}, QStringLiteral("bad one"));
        bad.linesData = R"([{"fromMe":true,"text":"indexed","date":1},{"fromMe":"x","text":"indexed","date":1}])";
        m_context->insert(good);
        m_context->insert(bad);
        QVERIFY(m_context->save());
        cleanup();
        {
            SQLite::Database db(m_path.toStdString(), SQLite::OPEN_READWRITE);
            for (const char* name :
                { "Call_indexed", "Call_linesIndexed", "Call_summaryIndexed", "Call_noteIndexed", "Call_unindexed" }) {
                db.exec(std::string("DROP TRIGGER \"") + name + "\"");
            }
            db.exec("DROP TABLE \"CallSearch\"; DROP TABLE \"CallKey\"; PRAGMA user_version=10000");
        }
        auto reopened = Store::open(m_path);
        QVERIFY(reopened);
        m_store = *reopened;
        m_context = m_store->newContext();
        QCOMPARE(found(*m_context, QStringLiteral("kept")), QStringLiteral("good:0"));
        QCOMPARE(found(*m_context, QStringLiteral("one")), QStringLiteral("bad:-1 good:-1"));
        QCOMPARE(found(*m_context, QStringLiteral("indexed")), QString());
        QCOMPARE(m_store->database().execAndGet("PRAGMA user_version").getInt(), 10200);
    }

private:
    QTemporaryDir m_dir;
    QString m_path;
    std::shared_ptr<Store> m_store;
    std::unique_ptr<StoreContext> m_context;
    Assistant m_assistant;
    Assistant m_other;
};

QTEST_GUILESS_MAIN(CallSearchTest)
#include "CallSearchTest.moc"
