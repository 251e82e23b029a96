#include "StoreFixture.h"
#include "fakes/Golden.h"

#include "common/Dates.h"
#include "common/Uuid.h"
#include "mcp/JsonRpc.h"
#include "mcp/Tools.h"

#include <SQLiteCpp/Database.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

// The tools through the dispatcher, on a real store file.
class ToolsTest : public QObject {
    Q_OBJECT

private:
    struct Outcome {
        bool isError = false;
        QString message; // the error result's text
        QJsonObject value; // the tool's result, parsed back from the text
        bool changed = false;
    };

    // "$JOBS" and the like stand for the seeded records' UUIDs.
    QString expand(QString text) const
    {
        const std::pair<const char*, QUuid> names[] = {
            { "$JOBS", m_seed.jobs.id },
            { "$SALES", m_seed.sales.id },
            { "$TWINOLD", m_seed.twinOld.id },
            { "$TWINNEW", m_seed.twinNew.id },
            { "$ACME", m_seed.acme.id },
            { "$LEAD", m_seed.lead.id },
            { "$SHELVED", m_seed.shelved.id },
            { "$CV", m_seed.cv.id },
            { "$BRIEF", m_seed.brief.id },
            { "$BARECALL", m_seed.bareCall.id },
            { "$CALL", m_seed.call.id },
            { "$QA", m_seed.item.id },
        };
        for (const auto& [name, id] : names) {
            text.replace(QLatin1String(name), uuid::toText(id));
        }
        text.replace(QLatin1String("$DIR"), m_dir.path());
        return text;
    }

    Outcome call(const QString& tool, const QString& argumentsJson)
    {
        const QJsonObject arguments = QJsonDocument::fromJson(expand(argumentsJson).toUtf8()).object();
        const QJsonObject request { { QStringLiteral("jsonrpc"), QStringLiteral("2.0") }, { QStringLiteral("id"), 7 },
            { QStringLiteral("method"), QStringLiteral("tools/call") },
            { QStringLiteral("params"),
                QJsonObject { { QStringLiteral("name"), tool }, { QStringLiteral("arguments"), arguments } } } };
        auto context = m_store->newContext();
        RequestState state { *context };
        const auto line =
            jsonRpc::handleLine(QJsonDocument(request).toJson(QJsonDocument::Compact), state, [] { return false; });
        if (!line) {
            qFatal("no response");
        }
        const QJsonObject result = QJsonDocument::fromJson(*line).object().value(QLatin1String("result")).toObject();
        const QString text =
            result.value(QLatin1String("content")).toArray().at(0).toObject().value(QLatin1String("text")).toString();
        Outcome outcome;
        outcome.isError = result.value(QLatin1String("isError")).toBool();
        outcome.changed = state.changed;
        if (outcome.isError) {
            outcome.message = text;
        } else {
            outcome.value = QJsonDocument::fromJson(text.toUtf8()).object();
        }
        if (context->hasChanges()) {
            qFatal("a request left pending changes");
        }
        return outcome;
    }

    // JSON text with "$JOBS" and the like expanded.
    QJsonValue json(const char* text) const
    {
        return QJsonDocument::fromJson("{\"v\":" + expand(QString::fromUtf8(text)).toUtf8() + '}')
            .object()
            .value(QLatin1String("v"));
    }

    static QStringList keys(const QJsonValue& value)
    {
        QStringList list = value.toObject().keys();
        list.sort();
        return list;
    }

    QTemporaryDir m_dir;
    std::shared_ptr<Store> m_store;
    SeededRecords m_seed;

private Q_SLOTS:
    void init()
    {
        qputenv("TZ", "UTC");
        QFile::remove(m_dir.filePath(QStringLiteral("store.sqlite")));
        QFile::remove(m_dir.filePath(QStringLiteral("store.sqlite-wal")));
        QFile::remove(m_dir.filePath(QStringLiteral("store.sqlite-shm")));
        m_store = Store::open(m_dir.filePath(QStringLiteral("store.sqlite"))).value();
        m_seed = SeededRecords::write(m_store);
    }

    void cleanup() { m_store.reset(); }

    // Names, descriptions and input schemas, in order: tests/data/mcp/catalogue.json.
    void catalogueIsVerbatim()
    {
        QCOMPARE(tools::catalogue(),
            goldenJson(QStringLiteral("mcp/catalogue.json")).value(QLatin1String("tools")).toArray());
    }

    // Every failing call and its exact message: tests/data/mcp/failures.tsv.
    void failures_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QString>("message");
        int rows = 0;
        for (const QString& line : goldenText(QStringLiteral("mcp/failures.tsv")).split(u'\n', Qt::SkipEmptyParts)) {
            const QStringList fields = line.split(u'\t');
            if (!line.startsWith(u'#') && fields.size() == 4) {
                QTest::newRow(qPrintable(fields[0])) << fields[1] << fields[2] << fields[3];
                ++rows;
            }
        }
        QVERIFY(rows > 40);
    }

    void failures()
    {
        QFETCH(QString, tool);
        QFETCH(QString, arguments);
        QFETCH(QString, message);
        QFile pdf(m_dir.filePath(QStringLiteral("a.pdf")));
        QVERIFY(pdf.open(QIODevice::WriteOnly));
        pdf.write("text");
        pdf.close();
        const StoreSnapshot before = StoreSnapshot::of(m_store);
        const Outcome outcome = call(tool, arguments);
        QVERIFY(outcome.isError);
        QCOMPARE(outcome.message, expand(message));
        QVERIFY(!outcome.changed);
        QVERIFY(StoreSnapshot::of(m_store) == before);
    }

    void failedSaveLeavesNothing()
    {
        // A store whose save fails: the insert is refused inside the transaction.
        m_store->database().exec("CREATE TRIGGER refuse BEFORE INSERT ON \"QAItem\" "
                                 "BEGIN SELECT RAISE(ABORT, 'database or disk is full'); END");
        const StoreSnapshot before = StoreSnapshot::of(m_store);
        const Outcome outcome =
            call(QStringLiteral("add_qa"), QStringLiteral(R"({"assistant":"Jobs","question":"Q?"})"));
        QVERIFY(outcome.isError);
        QCOMPARE(outcome.message, QStringLiteral("database or disk is full"));
        QVERIFY(!outcome.changed);
        QVERIFY(StoreSnapshot::of(m_store) == before);
    }

    void findsByNameOrUuid_data()
    {
        QTest::addColumn<QString>("reference");
        QTest::addColumn<QString>("expectedName");
        QTest::newRow("lower-case name") << QStringLiteral("jobs") << QStringLiteral("Jobs");
        QTest::newRow("upper-case UUID of archived") << QStringLiteral("$SALES") << QStringLiteral("Sales");
        QTest::newRow("lower-case UUID") << QStringLiteral("$lower") << QStringLiteral("Jobs");
        QTest::newRow("UUID beats twin names") << QStringLiteral("$TWINNEW") << QStringLiteral("twin");
    }

    void findsByNameOrUuid()
    {
        QFETCH(QString, reference);
        QFETCH(QString, expectedName);
        reference.replace(QLatin1String("$lower"), uuid::toText(m_seed.jobs.id).toLower());
        const Outcome outcome =
            call(QStringLiteral("get_assistant"), QStringLiteral(R"({"assistant":"%1"})").arg(reference));
        QVERIFY2(!outcome.isError, qPrintable(outcome.message));
        QCOMPARE(outcome.value.value(QLatin1String("name")).toString(), expectedName);
        QVERIFY(!outcome.changed);
    }

    void assistantShapes()
    {
        Outcome listed = call(QStringLiteral("list_assistants"), QStringLiteral("{}"));
        QCOMPARE(listed.value[QLatin1String("assistants")].toArray().size(), 3);
        QVERIFY(!listed.changed);
        listed = call(QStringLiteral("list_assistants"), QStringLiteral(R"({"include_archived":true})"));
        const QJsonArray all = listed.value[QLatin1String("assistants")].toArray();
        QCOMPARE(all.size(), 4);
        QCOMPARE(all.at(1), json(R"({"id":"$SALES","name":"Sales","template":"prospecting","archived":true})"));
        // "include_archived" must be the boolean true, not merely truthy.
        QCOMPARE(call(QStringLiteral("list_assistants"), QStringLiteral(R"({"include_archived":"true"})"))
                     .value[QLatin1String("assistants")]
                     .toArray()
                     .size(),
            3);

        const QJsonObject detail =
            call(QStringLiteral("get_assistant"), QStringLiteral(R"({"assistant":"Jobs"})")).value;
        QCOMPARE(keys(detail),
            (QStringList { QStringLiteral("archived"), QStringLiteral("contexts"), QStringLiteral("files"),
                QStringLiteral("id"), QStringLiteral("instructions"), QStringLiteral("name"), QStringLiteral("qa"),
                QStringLiteral("style_notes"), QStringLiteral("template") }));
        QCOMPARE(detail[QLatin1String("files")], json(R"([{"id":"$CV","name":"cv.md","words":5}])"));
        const QJsonArray contexts = detail[QLatin1String("contexts")].toArray();
        QCOMPARE(contexts.size(), 2); // archived contexts included
        QCOMPARE(contexts.at(0), json(R"({"id":"$ACME","name":"Acme","stage":"Screening","archived":false})"));
        QCOMPARE(contexts.at(1)[QLatin1String("archived")].toBool(), true);
        QCOMPARE(detail[QLatin1String("qa")].toArray().at(0),
            json(R"({"id":"$QA","question":"Why us?","answer":"Rockets.","language":"en","source":"manual",
                "created_at":"2025-03-04T14:00:30Z","updated_at":"2025-03-04T14:00:30Z"})"));
    }

    void createAndUpdateAssistant()
    {
        Outcome created = call(QStringLiteral("create_assistant"), QStringLiteral(R"({"name":" Padded "})"));
        QVERIFY(created.changed);
        QCOMPARE(created.value[QLatin1String("name")].toString(), QStringLiteral(" Padded "));
        QCOMPARE(created.value[QLatin1String("template")].toString(), QStringLiteral("blank"));
        QCOMPARE(created.value[QLatin1String("instructions")].toString(), QString());
        const QString id = created.value[QLatin1String("id")].toString();
        QCOMPARE(id, id.toUpper());

        created = call(QStringLiteral("create_assistant"),
            QStringLiteral(R"({"name":"Pitch","template":"projects","instructions":""})"));
        QCOMPARE(created.value[QLatin1String("instructions")].toString(), QString());
        created =
            call(QStringLiteral("create_assistant"), QStringLiteral(R"({"name":"Pitch2","template":"projects"})"));
        QCOMPARE(created.value[QLatin1String("instructions")].toString(),
            assistantTemplate::defaultInstructions(AssistantTemplate::projects));

        const Outcome updated = call(QStringLiteral("update_assistant"),
            QStringLiteral(R"({"assistant":"%1","style_notes":"Short.","name":"Padded2"})").arg(id));
        QVERIFY(updated.changed);
        QCOMPARE(updated.value[QLatin1String("style_notes")].toString(), QStringLiteral("Short."));
        QCOMPARE(updated.value[QLatin1String("name")].toString(), QStringLiteral("Padded2"));
        StoreContext context(m_store);
        const Assistant stored = context.fetchOne<Assistant>(*uuid::parse(id)).value().value();
        QCOMPARE(stored.name, QStringLiteral("Padded2"));
        QCOMPARE(stored.styleNotes, QStringLiteral("Short."));
    }

    void contexts()
    {
        const QJsonArray active =
            call(QStringLiteral("list_contexts"), QStringLiteral("{}")).value[QLatin1String("contexts")].toArray();
        QCOMPARE(active.size(), 2); // Acme and Lead; Shelved is archived
        QCOMPARE(active.at(0), json(R"({"id":"$ACME","name":"Acme","stage":"Screening","archived":false,
            "assistant":{"id":"$JOBS","name":"Jobs"}})"));
        const QJsonArray ofJobs =
            call(QStringLiteral("list_contexts"), QStringLiteral(R"({"assistant":"Jobs","include_archived":true})"))
                .value[QLatin1String("contexts")]
                .toArray();
        QCOMPARE(ofJobs.size(), 2);
        QCOMPARE(ofJobs.at(1)[QLatin1String("name")].toString(), QStringLiteral("Shelved"));

        const QJsonObject detail = call(QStringLiteral("get_context"), QStringLiteral(R"({"context":"acme"})")).value;
        QCOMPARE(detail[QLatin1String("files")].toArray().at(0),
            json(R"({"id":"$BRIEF","name":"brief.txt","words":3,"content":"Acme sells rockets."})"));

        const Outcome created =
            call(QStringLiteral("create_context"), QStringLiteral(R"({"assistant":"Jobs","name":"Globex"})"));
        QVERIFY(created.changed);
        QCOMPARE(created.value[QLatin1String("stage")].toString(), QString());
        QCOMPARE(created.value[QLatin1String("files")].toArray(), QJsonArray {});
        // A context of an archived assistant may still be edited; the stage is free text.
        const Outcome updated =
            call(QStringLiteral("update_context"), QStringLiteral(R"({"context":"Lead","stage":"Anything at all"})"));
        QVERIFY2(!updated.isError, qPrintable(updated.message));
        QCOMPARE(updated.value[QLatin1String("stage")].toString(), QStringLiteral("Anything at all"));
        QCOMPARE(updated.value[QLatin1String("assistant")][QLatin1String("name")].toString(), QStringLiteral("Sales"));
    }

    void files()
    {
        QFile onDisk(m_dir.filePath(QStringLiteral("Notes.MD")));
        QVERIFY(onDisk.open(QIODevice::WriteOnly));
        onDisk.write("alpha beta\n");
        onDisk.close();
        Outcome added =
            call(QStringLiteral("add_file"), QStringLiteral(R"({"context":"Acme","path":"$DIR/Notes.MD"})"));
        QVERIFY2(!added.isError, qPrintable(added.message));
        QCOMPARE(
            keys(added.value), (QStringList { QStringLiteral("id"), QStringLiteral("name"), QStringLiteral("words") }));
        QCOMPARE(added.value[QLatin1String("name")].toString(), QStringLiteral("Notes.MD"));
        QCOMPARE(added.value[QLatin1String("words")].toInt(), 2);

        added = call(QStringLiteral("add_file"),
            QStringLiteral(R"({"assistant":"Sales","name":"pitch.TXT","content":"Buy now"})"));
        QVERIFY(added.changed);
        const QString fileId = added.value[QLatin1String("id")].toString();
        StoreContext context(m_store);
        const KnowledgeFile stored = context.fetchOne<KnowledgeFile>(*uuid::parse(fileId)).value().value();
        QCOMPARE(stored.assistant, std::optional<QUuid>(m_seed.sales.id));
        QCOMPARE(stored.context, std::nullopt);

        const Outcome updated = call(QStringLiteral("update_file"),
            QStringLiteral(R"({"file_id":"%1","content":"a b c"})").arg(fileId.toLower()));
        QCOMPARE(updated.value[QLatin1String("words")].toInt(), 3);
        QCOMPARE(updated.value[QLatin1String("id")].toString(), fileId);

        const Outcome removed = call(QStringLiteral("remove_file"), QStringLiteral(R"({"file_id":"%1"})").arg(fileId));
        QCOMPARE(
            removed.value, (QJsonObject { { QStringLiteral("id"), fileId }, { QStringLiteral("removed"), true } }));
        const Outcome again = call(QStringLiteral("remove_file"), QStringLiteral(R"({"file_id":"%1"})").arg(fileId));
        QCOMPARE(again.message, QStringLiteral("File not found: %1.").arg(fileId));
    }

    void archiveAndRestore()
    {
        Outcome outcome = call(QStringLiteral("archive"), QStringLiteral(R"({"assistant":"Jobs"})"));
        QCOMPARE(outcome.value,
            (QJsonObject {
                { QStringLiteral("id"), uuid::toText(m_seed.jobs.id) }, { QStringLiteral("archived"), true } }));
        QVERIFY(outcome.changed);
        // Its contexts are left as they were.
        QCOMPARE(call(QStringLiteral("get_context"), QStringLiteral(R"({"context":"Acme"})"))
                     .value[QLatin1String("archived")]
                     .toBool(),
            false);
        outcome = call(QStringLiteral("restore"), QStringLiteral(R"({"context":"Shelved"})"));
        QCOMPARE(outcome.value,
            (QJsonObject {
                { QStringLiteral("id"), uuid::toText(m_seed.shelved.id) }, { QStringLiteral("archived"), false } }));
        StoreContext context(m_store);
        QVERIFY(context.fetchOne<Assistant>(m_seed.jobs.id).value()->archived);
        QVERIFY(!context.fetchOne<CallContext>(m_seed.shelved.id).value()->archived);
    }

    void calls()
    {
        QJsonArray listed = call(QStringLiteral("list_calls"), QStringLiteral(R"({"context":"Acme","limit":200.0})"))
                                .value[QLatin1String("calls")]
                                .toArray();
        QCOMPARE(listed.size(), 1);
        const QJsonObject preview = listed.at(0).toObject();
        QCOMPARE(keys(preview),
            (QStringList { QStringLiteral("assistant"), QStringLiteral("context"), QStringLiteral("duration_min"),
                QStringLiteral("id"), QStringLiteral("outcome"), QStringLiteral("outcome_note"),
                QStringLiteral("started_at"), QStringLiteral("summary_preview") }));
        QCOMPARE(preview[QLatin1String("summary_preview")].toString(), m_seed.call.summary.left(200));
        QCOMPARE(preview[QLatin1String("duration_min")].toInt(), 2);
        QCOMPARE(preview[QLatin1String("started_at")].toString(), QStringLiteral("2025-03-04T14:00:10Z"));
        QCOMPARE(preview[QLatin1String("outcome")].toString(), QStringLiteral("positive"));
        QCOMPARE(preview[QLatin1String("assistant")].toString(), QStringLiteral("Jobs"));

        const QJsonObject full = call(QStringLiteral("get_call"), QStringLiteral(R"({"call":"$CALL"})")).value;
        QCOMPARE(full[QLatin1String("lines")].toArray().size(), 3);
        QCOMPARE(full[QLatin1String("lines")].toArray().at(1),
            json(R"({"time":"2025-03-04T14:00:12Z","speaker":"You","text":"I build compilers."})"));
        QCOMPARE(
            full[QLatin1String("lines")].toArray().at(0)[QLatin1String("speaker")].toString(), QStringLiteral("Other"));
        QCOMPARE(full[QLatin1String("suggestions")],
            json(R"([{"time":"2025-03-04T14:00:12Z","text":"Mention the parser work."}])"));
        QCOMPARE(full[QLatin1String("archive_file")].toString(), m_seed.call.archiveFile);

        const QJsonObject bare = call(QStringLiteral("get_call"), QStringLiteral(R"({"call":"$BARECALL"})")).value;
        QVERIFY(bare[QLatin1String("assistant")].isNull());
        QVERIFY(bare[QLatin1String("context")].isNull());
        QCOMPARE(bare[QLatin1String("outcome")].toString(), QStringLiteral("none"));
        QCOMPARE(bare[QLatin1String("duration_min")].toInt(), 1);

        // "none" without a note keeps the old note; an empty note clears it.
        Outcome set = call(QStringLiteral("set_call_outcome"), QStringLiteral(R"({"call":"$CALL","outcome":"none"})"));
        QVERIFY(set.changed);
        QCOMPARE(set.value[QLatin1String("outcome")].toString(), QStringLiteral("none"));
        QCOMPARE(set.value[QLatin1String("outcome_note")].toString(), QStringLiteral("went well"));
        QVERIFY(!set.value.contains(QLatin1String("lines")));
        QVERIFY(set.value.contains(QLatin1String("summary")));
        set = call(
            QStringLiteral("set_call_outcome"), QStringLiteral(R"({"call":"$CALL","outcome":"negative","note":""})"));
        StoreContext context(m_store);
        const Call stored = context.fetchOne<Call>(m_seed.call.id).value().value();
        QCOMPARE(stored.outcome, QStringLiteral("negative"));
        QCOMPARE(stored.outcomeNote, QString());
    }

    void searchCalls()
    {
        const QJsonArray all = call(QStringLiteral("search_calls"), QStringLiteral(R"({"query":"COMPILER"})"))
                                   .value[QLatin1String("calls")]
                                   .toArray();
        QCOMPARE(all.size(), 1);
        QCOMPARE(all.at(0),
            json(R"({"id":"$CALL","started_at":"2025-03-04T14:00:10Z","assistant":"Jobs","context":"Acme",)"
                 R"("snippet":"I build compilers."})"));
        const Outcome other =
            call(QStringLiteral("search_calls"), QStringLiteral(R"({"query":"compilers","assistant":"Twin"})"));
        QCOMPARE(other.value[QLatin1String("calls")].toArray().size(), 0);
    }

    void listCallsNewestFirstWithLimit()
    {
        StoreContext context(m_store);
        for (int i = 0; i < 25; ++i) {
            Call extra;
            extra.id = uuid::create();
            extra.startedAt = SeededRecords::at(40).addSecs(i);
            extra.endedAt = extra.startedAt.addSecs(60);
            extra.assistant = m_seed.jobs.id;
            context.insert(extra);
        }
        QVERIFY(context.save());
        const QJsonArray defaults = call(QStringLiteral("list_calls"), QStringLiteral(R"({"assistant":"Jobs"})"))
                                        .value[QLatin1String("calls")]
                                        .toArray();
        QCOMPARE(defaults.size(), 20);
        QCOMPARE(defaults.at(0)[QLatin1String("started_at")].toString(), QStringLiteral("2025-03-04T14:01:04Z"));
        const QJsonArray two = call(QStringLiteral("list_calls"), QStringLiteral(R"({"assistant":"Jobs","limit":2})"))
                                   .value[QLatin1String("calls")]
                                   .toArray();
        QCOMPARE(two.size(), 2);
        QCOMPARE(two.at(1)[QLatin1String("started_at")].toString(), QStringLiteral("2025-03-04T14:01:03Z"));
    }

    void fetchWithoutBlobsKeepsOtherFields()
    {
        StoreContext context(m_store);
        Query query = Query::ofAssistant(m_seed.jobs.id);
        query.withoutBlobs = true;
        const std::vector<Call> calls = context.fetch<Call>(query).value();
        QCOMPARE(calls.size(), size_t(1));
        Call expected = m_seed.call;
        expected.linesData.clear();
        expected.suggestionsData.clear();
        QVERIFY(calls.front() == expected);
    }

    void questionsAndAnswers()
    {
        Outcome added = call(QStringLiteral("add_qa"),
            QStringLiteral(R"({"assistant":"Jobs","question":"  Salary?\n","language":"","call":"%1"})")
                .arg(uuid::toText(m_seed.call.id).toLower()));
        QVERIFY2(!added.isError, qPrintable(added.message));
        QCOMPARE(keys(added.value),
            (QStringList { QStringLiteral("answer"), QStringLiteral("created_at"), QStringLiteral("id"),
                QStringLiteral("language"), QStringLiteral("question"), QStringLiteral("source"),
                QStringLiteral("updated_at") }));
        QCOMPARE(added.value[QLatin1String("question")].toString(), QStringLiteral("  Salary?\n"));
        QCOMPARE(added.value[QLatin1String("source")].toString(), uuid::toText(m_seed.call.id));
        QCOMPARE(added.value[QLatin1String("answer")].toString(), QString());

        // Only "qa": nothing but updatedAt changes.
        Outcome updated = call(QStringLiteral("update_qa"), QStringLiteral(R"({"qa":"$QA"})"));
        QVERIFY(updated.changed);
        QCOMPARE(updated.value[QLatin1String("question")].toString(), QStringLiteral("Why us?"));
        QCOMPARE(updated.value[QLatin1String("language")].toString(), QStringLiteral("en"));
        QCOMPARE(updated.value[QLatin1String("created_at")].toString(), QStringLiteral("2025-03-04T14:00:30Z"));
        QVERIFY(updated.value[QLatin1String("updated_at")].toString() > QStringLiteral("2025-03-04T14:00:30Z"));

        // "" clears the language; null leaves it.
        updated = call(QStringLiteral("update_qa"), QStringLiteral(R"({"qa":"$QA","language":"","answer":"Stars."})"));
        QCOMPARE(updated.value[QLatin1String("language")].toString(), QString());
        QCOMPARE(updated.value[QLatin1String("answer")].toString(), QStringLiteral("Stars."));
        updated =
            call(QStringLiteral("update_qa"), QStringLiteral(R"({"qa":"$QA","language":null,"question":"Why?"})"));
        QCOMPARE(updated.value[QLatin1String("question")].toString(), QStringLiteral("Why?"));
        StoreContext context(m_store);
        const QAItem stored = context.fetchOne<QAItem>(m_seed.item.id).value().value();
        QCOMPARE(stored.question, QStringLiteral("Why?"));
        QCOMPARE(stored.answer, QStringLiteral("Stars."));
        QCOMPARE(stored.language, QString());
    }
};

QTEST_GUILESS_MAIN(ToolsTest)
#include "ToolsTest.moc"
