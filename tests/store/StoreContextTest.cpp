#include "StoreTesting.h"

#include "store/CallRating.h"
#include "store/Store.h"
#include "store/StoreContext.h"

#include <SQLiteCpp/Database.h>

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace storeTesting;

Q_DECLARE_METATYPE(CallOutcome)
Q_DECLARE_METATYPE(CallRating)

namespace {

template <typename R> std::vector<R> fetched(StoreContext& context, const Query& query = {})
{
    auto records = context.fetch<R>(query);
    if (!records) {
        qFatal("fetch failed: %s", qPrintable(records.error().message));
    }
    return *records;
}

// The calls' summaries in order, "call at " left out: "10 20 moved".
QString summaries(const std::vector<Call>& calls)
{
    QStringList out;
    for (const Call& call : calls) {
        out.append(QString(call.summary).remove(QStringLiteral("call at ")));
    }
    return out.join(u' ');
}

template <typename R> qint64 counted(StoreContext& context)
{
    auto count = context.count<R>();
    if (!count) {
        qFatal("count failed: %s", qPrintable(count.error().message));
    }
    return *count;
}

Query limited(Query query, int limit)
{
    query.limit = limit;
    return query;
}

} // namespace

class StoreContextTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void everyRecordRoundTrips();
    void sortedFetches_data();
    void sortedFetches();
    void pendingChangesSeenByOwnFetches();
    void pendingLimit_data();
    void pendingLimit();
    void pendingChangesAreInvisibleElsewhere();
    void rollbackDropsEverything();
    void countWithPendingChanges();
    void insertedThenRemovedLeavesNothing();
    void failingSaveIsAtomicAndKeepsPending();
    void deletingAssistantClearsReferences();
    void pendingOwnerRemovalNullifiesPendingRecords();
    void changedColumnsOnly();
    void savedSignal();
    void ratingWriter_data();
    void ratingWriter();

private:
    QTemporaryDir m_dir;
    std::shared_ptr<Store> m_store;
    std::unique_ptr<StoreContext> m_context;
    Assistant m_assistant;
    Assistant m_other;
    CallContext m_callContext;
};

void StoreContextTest::init()
{
    QVERIFY(m_dir.isValid());
    auto store = Store::open(m_dir.filePath(QStringLiteral("t%1/Assistants.store").arg(uuid::toText(uuid::create()))));
    QVERIFY2(store, qPrintable(store ? QString() : store.error().message));
    m_store = *store;
    m_context = m_store->newContext();
    m_assistant = makeAssistant(QStringLiteral("Interviews"), 0);
    m_other = makeAssistant(QStringLiteral("Sales"), 10);
    m_callContext = CallContext::make(QStringLiteral("ACME"), m_assistant);
    m_context->insert(m_assistant);
    m_context->insert(m_other);
    m_context->insert(m_callContext);
    QVERIFY(m_context->save());
}

void StoreContextTest::cleanup()
{
    m_context.reset();
    m_store.reset();
}

void StoreContextTest::everyRecordRoundTrips()
{
    // Text comes back exactly as given, a leading U+FEFF included.
    KnowledgeFile file =
        KnowledgeFile::make(QStringLiteral("\uFEFFNotes.MD"), QStringLiteral("\uFEFFLínea 1\r\n\U0001F600\n"));
    file.context = m_callContext.id;
    Call call = makeCall(m_assistant.id, 5, m_callContext.id);
    call.linesData.clear(); // an empty blob is legal and must stay empty, not NULL
    call.outcome = QStringLiteral("positive");
    call.outcomeNote = QStringLiteral("went well");
    call.reviewedForImprovement = true;
    call.archiveFile = QStringLiteral("/home/u/Documents/Quillora/2025-03-04 10.00.md");
    QAItem item = QAItem::make(QStringLiteral("Por quê?"), QString(), QStringLiteral("pt"), uuid::toText(call.id));
    item.assistant = m_assistant.id;
    ProposalDraft draft;
    draft.kind = ProposalKind::style;
    draft.text = QStringLiteral("Shorter answers.");
    draft.quotes = { { uuid::toText(call.id), QStringLiteral("Hello") } };
    Proposal proposal = Proposal::make(draft);
    proposal.assistant = m_assistant.id;
    proposal.reviewedAt = instant(77.125);
    Assistant archived = makeAssistant(QStringLiteral("Old"), 20);
    archived.archived = true;
    archived.styleNotes = QStringLiteral("short\nand warm");

    m_context->insert(file);
    m_context->insert(call);
    m_context->insert(item);
    m_context->insert(proposal);
    m_context->insert(archived);
    QVERIFY(m_context->save());

    // A second connection reads what the first wrote.
    auto reopened = Store::open(m_store->path());
    QVERIFY(reopened);
    auto context = (*reopened)->newContext();
    QCOMPARE(context->fetchOne<KnowledgeFile>(file.id).value(), std::optional(file));
    QCOMPARE(context->fetchOne<Call>(call.id).value(), std::optional(call));
    QCOMPARE(context->fetchOne<QAItem>(item.id).value(), std::optional(item));
    QCOMPARE(context->fetchOne<Proposal>(proposal.id).value(), std::optional(proposal));
    QCOMPARE(context->fetchOne<Assistant>(archived.id).value(), std::optional(archived));
    QCOMPARE(context->fetchOne<CallContext>(m_callContext.id).value(), std::optional(m_callContext));
    QCOMPARE(context->fetchOne<Call>(uuid::create()).value(), std::optional<Call>());

    // A proposal never reviewed keeps no review date.
    proposal.id = uuid::create();
    proposal.reviewedAt.reset();
    context->insert(proposal);
    QVERIFY(context->save());
    QCOMPARE(m_context->fetchOne<Proposal>(proposal.id).value()->reviewedAt, std::optional<QDateTime>());
}

void StoreContextTest::sortedFetches_data()
{
    QTest::addColumn<bool>("withPending");
    QTest::newRow("stored only") << false;
    QTest::newRow("with a pending change") << true;
}

void StoreContextTest::sortedFetches()
{
    QFETCH(bool, withPending);
    for (double start : { 30.0, 10.0, 20.0 }) {
        m_context->insert(makeCall(m_assistant.id, start));
    }
    m_context->insert(makeCall(m_other.id, 15));
    QVERIFY(m_context->save());
    if (withPending) {
        // An unrelated pending change switches the fetch to the merging path.
        m_context->insert(KnowledgeFile::make(QStringLiteral("x.md"), QStringLiteral("x")));
    }
    QCOMPARE(summaries(fetched<Call>(*m_context, Query::ofAssistant(m_assistant.id, Order::oldestFirst))),
        QStringLiteral("10 20 30"));
    QCOMPARE(summaries(fetched<Call>(*m_context, Query::ofAssistant(m_assistant.id, Order::newestFirst))),
        QStringLiteral("30 20 10"));
    QCOMPARE(summaries(fetched<Call>(*m_context, limited(Query::all(Order::newestFirst), 2))), QStringLiteral("30 20"));
    QCOMPARE(summaries(fetched<Call>(*m_context, limited(Query::all(Order::oldestFirst), 0))), QString());
}

void StoreContextTest::pendingChangesSeenByOwnFetches()
{
    Call kept = makeCall(m_assistant.id, 10);
    Call edited = makeCall(m_assistant.id, 20);
    Call removed = makeCall(m_assistant.id, 30);
    for (const Call& call : { kept, edited, removed }) {
        m_context->insert(call);
    }
    QVERIFY(m_context->save());

    Call inserted = makeCall(m_assistant.id, 15);
    m_context->insert(inserted);
    edited.summary = QStringLiteral("edited");
    edited.startedAt = instant(5); // now the oldest
    m_context->update(edited);
    m_context->remove<Call>(removed.id);

    QCOMPARE(summaries(fetched<Call>(*m_context, Query::ofAssistant(m_assistant.id))), QStringLiteral("edited 10 15"));
    QCOMPARE(m_context->fetchOne<Call>(removed.id).value(), std::optional<Call>());
    QCOMPARE(m_context->fetchOne<Call>(edited.id).value(), std::optional(edited));

    QVERIFY(m_context->save());
    QCOMPARE(summaries(fetched<Call>(*m_context, Query::ofAssistant(m_assistant.id))), QStringLiteral("edited 10 15"));
}

void StoreContextTest::pendingLimit_data()
{
    QTest::addColumn<int>("change");
    QTest::addColumn<Order>("order");
    QTest::addColumn<QString>("expected");
    // Stored: 10, 20, 30, 40, 50. Limit 3.
    QTest::newRow("insert oldest, oldest first") << 0 << Order::oldestFirst << QStringLiteral("5 10 20");
    QTest::newRow("insert oldest, newest first") << 0 << Order::newestFirst << QStringLiteral("50 40 30");
    QTest::newRow("remove inside the window") << 1 << Order::oldestFirst << QStringLiteral("10 30 40");
    QTest::newRow("move the newest to the front") << 2 << Order::oldestFirst << QStringLiteral("moved 10 20");
    QTest::newRow("move out to another assistant") << 3 << Order::oldestFirst << QStringLiteral("20 30 40");
}

void StoreContextTest::pendingLimit()
{
    QFETCH(int, change);
    QFETCH(Order, order);
    QFETCH(QString, expected);
    std::vector<Call> stored;
    for (double start : { 10.0, 20.0, 30.0, 40.0, 50.0 }) {
        stored.push_back(makeCall(m_assistant.id, start));
        m_context->insert(stored.back());
    }
    QVERIFY(m_context->save());
    switch (change) {
    case 0: m_context->insert(makeCall(m_assistant.id, 5)); break;
    case 1: m_context->remove<Call>(stored[1].id); break;
    case 2:
        stored[4].startedAt = instant(1);
        stored[4].summary = QStringLiteral("moved");
        m_context->update(stored[4]);
        break;
    case 3:
        stored[0].assistant = m_other.id;
        m_context->update(stored[0]);
        break;
    }
    QCOMPARE(summaries(fetched<Call>(*m_context, limited(Query::ofAssistant(m_assistant.id, order), 3))), expected);
}

void StoreContextTest::pendingChangesAreInvisibleElsewhere()
{
    auto other = m_store->newContext();
    Assistant renamed = m_assistant;
    renamed.name = QStringLiteral("Renamed");
    m_context->update(renamed);
    m_context->insert(makeCall(m_assistant.id, 1));
    QCOMPARE(other->fetchOne<Assistant>(m_assistant.id).value()->name, QStringLiteral("Interviews"));
    QCOMPARE(counted<Call>(*other), 0);
    QVERIFY(m_context->save());
    QCOMPARE(other->fetchOne<Assistant>(m_assistant.id).value()->name, QStringLiteral("Renamed"));
    QCOMPARE(counted<Call>(*other), 1);
}

void StoreContextTest::rollbackDropsEverything()
{
    Call call = makeCall(m_assistant.id, 10);
    m_context->insert(call);
    QVERIFY(m_context->save());

    Assistant renamed = m_assistant;
    renamed.name = QStringLiteral("Renamed");
    m_context->update(renamed);
    m_context->insert(makeCall(m_assistant.id, 20));
    m_context->remove<Call>(call.id);
    m_context->remove<CallContext>(m_callContext.id);
    m_context->rollback();
    QVERIFY(!m_context->hasChanges());
    QCOMPARE(m_context->fetchOne<Assistant>(m_assistant.id).value()->name, QStringLiteral("Interviews"));
    QCOMPARE(summaries(fetched<Call>(*m_context, Query::all())), QStringLiteral("10"));
    QCOMPARE(fetched<CallContext>(*m_context, Query::ofAssistant(m_assistant.id)).size(), size_t(1));
}

void StoreContextTest::countWithPendingChanges()
{
    Call first = makeCall(m_assistant.id, 1);
    Call second = makeCall(m_assistant.id, 2);
    m_context->insert(first);
    m_context->insert(second);
    QVERIFY(m_context->save());
    QCOMPARE(counted<Call>(*m_context), 2);

    m_context->insert(makeCall(m_assistant.id, 3));
    QCOMPARE(counted<Call>(*m_context), 3);
    m_context->remove<Call>(first.id);
    m_context->remove<Call>(first.id); // twice over
    QCOMPARE(counted<Call>(*m_context), 2);
    m_context->remove<Call>(uuid::create()); // never stored
    QCOMPARE(counted<Call>(*m_context), 2);

    // Deleted meanwhile through another context: this context's removal no longer counts.
    auto other = m_store->newContext();
    other->remove<Call>(first.id);
    QVERIFY(other->save());
    QCOMPARE(counted<Call>(*m_context), 2);
    QVERIFY(m_context->save());
    QCOMPARE(counted<Call>(*m_context), 2);
}

void StoreContextTest::insertedThenRemovedLeavesNothing()
{
    Call call = makeCall(m_assistant.id, 1);
    m_context->insert(call);
    call.summary = QStringLiteral("edited before saving");
    m_context->update(call);
    Assistant scratch = makeAssistant(QStringLiteral("Scratch"), 30);
    m_context->insert(scratch);
    m_context->remove<Assistant>(scratch.id);
    m_context->remove<Call>(call.id);
    QVERIFY(!m_context->hasChanges());
    QVERIFY(m_context->save());
    QCOMPARE(counted<Call>(*m_context), 0);

    // Inserted then edited: the edit is what gets stored.
    m_context->insert(call);
    call.summary = QStringLiteral("final");
    m_context->update(call);
    QVERIFY(m_context->save());
    auto other = m_store->newContext();
    QCOMPARE(other->fetchOne<Call>(call.id).value()->summary, QStringLiteral("final"));
}

void StoreContextTest::failingSaveIsAtomicAndKeepsPending()
{
    Assistant added = makeAssistant(QStringLiteral("Added"), 40);
    Assistant renamed = m_other;
    renamed.name = QStringLiteral("Renamed");
    Call orphan = makeCall(uuid::create(), 10); // names an assistant that does not exist
    m_context->insert(added);
    m_context->update(renamed);
    m_context->remove<CallContext>(m_callContext.id);
    m_context->insert(orphan);

    const auto saved = m_context->save();
    QVERIFY(!saved);
    QVERIFY2(saved.error().message.contains(QStringLiteral("FOREIGN KEY"), Qt::CaseInsensitive),
        qPrintable(saved.error().message));

    // Nothing of that save reached the file...
    auto other = Store::open(m_store->path());
    QVERIFY(other);
    auto reader = (*other)->newContext();
    QCOMPARE(reader->fetchOne<Assistant>(m_other.id).value()->name, QStringLiteral("Sales"));
    QCOMPARE(counted<CallContext>(*reader), 1);
    QCOMPARE(counted<Call>(*reader), 0);

    // ...and every pending change is still there, in this context.
    QVERIFY(m_context->hasChanges());
    QCOMPARE(counted<Assistant>(*m_context), 3);
    QCOMPARE(m_context->fetchOne<CallContext>(m_callContext.id).value(), std::optional<CallContext>());

    // Mending the one bad record lets the same changes save.
    orphan.assistant = added.id;
    m_context->update(orphan);
    QVERIFY(m_context->save());
    QCOMPARE(reader->fetchOne<Assistant>(m_other.id).value()->name, QStringLiteral("Renamed"));
    QCOMPARE(reader->fetchOne<Call>(orphan.id).value()->assistant, std::optional(added.id));
}

void StoreContextTest::deletingAssistantClearsReferences()
{
    Call call = makeCall(m_assistant.id, 10, m_callContext.id);
    KnowledgeFile file = KnowledgeFile::make(QStringLiteral("cv.md"), QStringLiteral("cv"));
    file.assistant = m_assistant.id;
    QAItem item = QAItem::make(QStringLiteral("Q"), QStringLiteral("A"), QString(), QStringLiteral("manual"));
    item.assistant = m_assistant.id;
    Proposal proposal = Proposal::make(ProposalDraft {});
    proposal.assistant = m_assistant.id;
    Call elsewhere = makeCall(m_other.id, 20);
    for (const Call& c : { call, elsewhere }) {
        m_context->insert(c);
    }
    m_context->insert(file);
    m_context->insert(item);
    m_context->insert(proposal);
    QVERIFY(m_context->save());

    m_context->remove<Assistant>(m_assistant.id);
    // Seen at once by this context's fetches...
    QCOMPARE(m_context->fetchOne<Call>(call.id).value()->assistant, std::optional<QUuid>());
    QCOMPARE(fetched<Call>(*m_context, Query::ofAssistant(m_assistant.id)).size(), size_t(0));
    QCOMPARE(fetched<CallContext>(*m_context, Query::ofAssistant(m_assistant.id)).size(), size_t(0));
    QVERIFY(m_context->save());

    // ...and stored: nothing cascades, every reference to it is cleared.
    auto reader = m_store->newContext();
    QCOMPARE(counted<Call>(*reader), 2);
    QCOMPARE(reader->fetchOne<Call>(call.id).value()->assistant, std::optional<QUuid>());
    QCOMPARE(reader->fetchOne<Call>(call.id).value()->context, std::optional(m_callContext.id));
    QCOMPARE(reader->fetchOne<Call>(elsewhere.id).value()->assistant, std::optional(m_other.id));
    QCOMPARE(reader->fetchOne<CallContext>(m_callContext.id).value()->assistant, std::optional<QUuid>());
    QCOMPARE(reader->fetchOne<KnowledgeFile>(file.id).value()->assistant, std::optional<QUuid>());
    QCOMPARE(reader->fetchOne<QAItem>(item.id).value()->assistant, std::optional<QUuid>());
    QCOMPARE(reader->fetchOne<Proposal>(proposal.id).value()->assistant, std::optional<QUuid>());

    // The context goes the same way.
    reader->remove<CallContext>(m_callContext.id);
    QCOMPARE(fetched<Call>(*reader, Query::ofContext(m_callContext.id)).size(), size_t(0));
    QVERIFY(reader->save());
    QCOMPARE(reader->fetchOne<Call>(call.id).value()->context, std::optional<QUuid>());
}

void StoreContextTest::pendingOwnerRemovalNullifiesPendingRecords()
{
    Call before = makeCall(m_other.id, 1);
    m_context->insert(before);
    m_context->remove<Assistant>(m_other.id);
    QCOMPARE(m_context->fetchOne<Call>(before.id).value()->assistant, std::optional<QUuid>());

    // Records added or edited after the removal, still naming the removed owner, lose it too.
    Call after = makeCall(m_other.id, 2);
    m_context->insert(after);
    QCOMPARE(m_context->fetchOne<Call>(after.id).value()->assistant, std::optional<QUuid>());
    CallContext moved = m_callContext;
    moved.assistant = m_other.id;
    m_context->update(moved);
    QCOMPARE(m_context->fetchOne<CallContext>(moved.id).value()->assistant, std::optional<QUuid>());
    QCOMPARE(fetched<Call>(*m_context, Query::ofAssistant(m_other.id)).size(), size_t(0));
    QVERIFY(m_context->save());

    auto reader = m_store->newContext();
    QCOMPARE(reader->fetchOne<Call>(after.id).value()->assistant, std::optional<QUuid>());
    QCOMPARE(reader->fetchOne<CallContext>(moved.id).value()->assistant, std::optional<QUuid>());
}

void StoreContextTest::changedColumnsOnly()
{
    // The app shows a record, the tool server changes another field of it and saves, then the
    // user edits the copy on screen: only the user's field may be written.
    auto second = Store::open(m_store->path());
    QVERIFY(second);
    auto app = m_store->newContext();
    auto tools = (*second)->newContext();
    Assistant onScreen = app->fetchOne<Assistant>(m_assistant.id).value().value();
    CallContext contextOnScreen = app->fetchOne<CallContext>(m_callContext.id).value().value();

    Assistant seenByTools = tools->fetchOne<Assistant>(m_assistant.id).value().value();
    seenByTools.styleNotes = QStringLiteral("Notes from the tool server");
    tools->update(seenByTools);
    CallContext contextByTools = tools->fetchOne<CallContext>(m_callContext.id).value().value();
    contextByTools.stage = QStringLiteral("Offer");
    tools->update(contextByTools);
    QVERIFY(tools->save());

    onScreen.name = QStringLiteral("Renamed on screen");
    app->update(onScreen);
    contextOnScreen.name = QStringLiteral("ACME Inc.");
    app->update(contextOnScreen);
    QVERIFY(app->save());

    auto reader = (*second)->newContext();
    const Assistant stored = reader->fetchOne<Assistant>(m_assistant.id).value().value();
    QCOMPARE(stored.name, QStringLiteral("Renamed on screen"));
    QCOMPARE(stored.styleNotes, QStringLiteral("Notes from the tool server"));
    const CallContext storedContext = reader->fetchOne<CallContext>(m_callContext.id).value().value();
    QCOMPARE(storedContext.name, QStringLiteral("ACME Inc."));
    QCOMPARE(storedContext.stage, QStringLiteral("Offer"));

    // After its own save the app's copy is the baseline: a further edit writes only itself.
    seenByTools = tools->fetchOne<Assistant>(m_assistant.id).value().value();
    seenByTools.instructions = QStringLiteral("New instructions");
    tools->update(seenByTools);
    QVERIFY(tools->save());
    onScreen.archived = true;
    app->update(onScreen);
    QVERIFY(app->save());
    const Assistant last = reader->fetchOne<Assistant>(m_assistant.id).value().value();
    QCOMPARE(last.instructions, QStringLiteral("New instructions"));
    QCOMPARE(last.name, QStringLiteral("Renamed on screen"));
    QVERIFY(last.archived);

    // A record this context never fetched is compared with the row as it is when edited.
    Assistant unseen = m_other;
    unseen.name = QStringLiteral("Sales team");
    auto fresh = m_store->newContext();
    fresh->update(unseen);
    QVERIFY(fresh->save());
    QCOMPARE(reader->fetchOne<Assistant>(m_other.id).value()->name, QStringLiteral("Sales team"));
}

void StoreContextTest::savedSignal()
{
    QSignalSpy spy(m_store.get(), &Store::saved);
    QVERIFY(m_context->save()); // nothing pending: nothing announced
    QCOMPARE(spy.count(), 0);
    m_context->insert(makeCall(m_assistant.id, 1));
    QVERIFY(m_context->save());
    QCOMPARE(spy.count(), 1);
    m_context->insert(makeCall(uuid::create(), 2));
    QVERIFY(!m_context->save());
    QCOMPARE(spy.count(), 1);
}

QTEST_GUILESS_MAIN(StoreContextTest)
#include "StoreContextTest.moc"

void StoreContextTest::ratingWriter_data()
{
    QTest::addColumn<CallOutcome>("stored");
    QTest::addColumn<CallOutcome>("tapped");
    QTest::addColumn<bool>("refused");
    QTest::addColumn<CallRating>("expected");
    const QString note = QStringLiteral("fit");
    QTest::newRow("tap") << CallOutcome::none << CallOutcome::positive << false
                         << CallRating { CallOutcome::positive, note };
    QTest::newRow("second tap takes it back")
        << CallOutcome::negative << CallOutcome::negative << false << CallRating { CallOutcome::none, note };
    QTest::newRow("refused save is taken back")
        << CallOutcome::negative << CallOutcome::positive << true << CallRating { CallOutcome::negative, QString() };
}

void StoreContextTest::ratingWriter()
{
    QFETCH(CallOutcome, stored);
    QFETCH(CallOutcome, tapped);
    QFETCH(bool, refused);
    QFETCH(CallRating, expected);
    Call call = makeCall(m_assistant.id, 0);
    call.outcome = callOutcome::rawText(stored);
    m_context->insert(call);
    QVERIFY(m_context->save());
    if (refused) {
        m_store->database().exec("CREATE TRIGGER refuse BEFORE UPDATE ON \"Call\" "
                                 "BEGIN SELECT RAISE(ABORT, 'database or disk is full'); END");
    }
    // Another edit of the same context stays pending whatever happens to the rating.
    Assistant renamed = m_assistant;
    renamed.name = QStringLiteral("Renamed");
    m_context->update(renamed);

    const auto written = callRating::write(
        *m_context, call, { .outcome = callRating::toggled(stored, tapped), .note = QStringLiteral("fit") });
    QCOMPARE(written.has_value(), !refused);
    if (refused) {
        QCOMPARE(written.error().message, QStringLiteral("database or disk is full"));
        QCOMPARE(fetched<Assistant>(*m_context, Query::byId(m_assistant.id)).front().name, renamed.name);
    }
    QCOMPARE(callRating::read(*m_context, call.id), std::optional(expected));
    QCOMPARE(callRating::read(*m_store->newContext(), call.id), std::optional(expected));
    QCOMPARE(callRating::read(*m_context, uuid::create()), std::nullopt);
}
