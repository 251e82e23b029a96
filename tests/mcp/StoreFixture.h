#pragma once

#include "common/Dates.h"
#include "common/Uuid.h"
#include "store/Store.h"
#include "store/StoreContext.h"

#include <QTest>

#include <memory>
#include <vector>

// Every record of a store, compared field by field: "the store is unchanged".
struct StoreSnapshot {
    std::vector<Assistant> assistants;
    std::vector<CallContext> contexts;
    std::vector<KnowledgeFile> files;
    std::vector<Call> calls;
    std::vector<QAItem> items;

    static StoreSnapshot of(const std::shared_ptr<Store>& store)
    {
        StoreContext context(store);
        return { context.fetch<Assistant>(Query::all()).value(), context.fetch<CallContext>(Query::all()).value(),
            context.fetch<KnowledgeFile>(Query::all()).value(), context.fetch<Call>(Query::all()).value(),
            context.fetch<QAItem>(Query::all()).value() };
    }

    bool operator==(const StoreSnapshot&) const = default;
};

// The records most tool tests start from. Dates are a second apart, so the orders are known.
struct SeededRecords {
    Assistant jobs; // "Jobs", interview
    Assistant sales; // "Sales", archived
    Assistant twinOld; // "Twin", the older of two with one name
    Assistant twinNew; // "twin"
    CallContext acme; // "Acme" of Jobs, stage "Screening"
    CallContext lead; // "Lead" of Sales (an archived assistant)
    CallContext shelved; // "Shelved" of Jobs, archived
    KnowledgeFile cv; // "cv.md" of Jobs
    KnowledgeFile brief; // "brief.txt" of Acme
    Call call; // of Jobs and Acme, three lines, one suggestion, positive
    Call bareCall; // without assistant or context
    QAItem item; // of Jobs

    static QDateTime at(int second) { return QDateTime(QDate(2025, 3, 4), QTime(14, 0, second), Qt::UTC); }

    static SeededRecords write(const std::shared_ptr<Store>& store)
    {
        SeededRecords r;
        r.jobs = Assistant::make(QStringLiteral("Jobs"), AssistantTemplate::interview);
        r.jobs.createdAt = at(1);
        r.sales = Assistant::make(QStringLiteral("Sales"), AssistantTemplate::prospecting);
        r.sales.archived = true;
        r.sales.createdAt = at(2);
        r.twinOld = Assistant::make(QStringLiteral("Twin"), AssistantTemplate::blank);
        r.twinOld.createdAt = at(3);
        r.twinNew = Assistant::make(QStringLiteral("twin"), AssistantTemplate::blank);
        r.twinNew.createdAt = at(4);
        r.acme = CallContext::make(QStringLiteral("Acme"), r.jobs);
        r.acme.stage = QStringLiteral("Screening");
        r.acme.createdAt = at(5);
        r.lead = CallContext::make(QStringLiteral("Lead"), r.sales);
        r.lead.createdAt = at(6);
        r.shelved = CallContext::make(QStringLiteral("Shelved"), r.jobs);
        r.shelved.archived = true;
        r.shelved.createdAt = at(7);
        r.cv = KnowledgeFile::make(QStringLiteral("cv.md"), QStringLiteral("one two\nthree  four\tfive"));
        r.cv.assistant = r.jobs.id;
        r.cv.importedAt = at(8);
        r.brief = KnowledgeFile::make(QStringLiteral("brief.txt"), QStringLiteral("Acme sells rockets."));
        r.brief.context = r.acme.id;
        r.brief.importedAt = at(9);
        r.call.id = uuid::create();
        r.call.startedAt = at(10);
        r.call.endedAt = at(10).addSecs(150);
        r.call.assistant = r.jobs.id;
        r.call.context = r.acme.id;
        r.call.linesData = blob::encodeLines({ { false, QStringLiteral("Tell me about yourself?"), at(11) },
            { true, QStringLiteral("I build compilers."), at(12) }, { false, QStringLiteral("Nice."), at(13) } });
        r.call.suggestionsData = blob::encodeSuggestions({ { QStringLiteral("Mention the parser work."), at(12) } });
        r.call.summary = QString(250, u'é').prepend(QStringLiteral("Summary: "));
        r.call.archiveFile = QStringLiteral("/home/u/Documents/Quillora/call.md");
        r.call.outcome = QStringLiteral("positive");
        r.call.outcomeNote = QStringLiteral("went well");
        r.bareCall.id = uuid::create();
        r.bareCall.startedAt = at(20);
        r.bareCall.endedAt = at(20).addSecs(20);
        r.bareCall.summary = QStringLiteral("Short call: no summary.");
        r.item = QAItem::make(
            QStringLiteral("Why us?"), QStringLiteral("Rockets."), QStringLiteral("en"), QStringLiteral("manual"));
        r.item.assistant = r.jobs.id;
        r.item.createdAt = r.item.updatedAt = at(30);

        StoreContext context(store);
        for (const Assistant& a : { r.jobs, r.sales, r.twinOld, r.twinNew }) {
            context.insert(a);
        }
        for (const CallContext& c : { r.acme, r.lead, r.shelved }) {
            context.insert(c);
        }
        context.insert(r.cv);
        context.insert(r.brief);
        context.insert(r.call);
        context.insert(r.bareCall);
        context.insert(r.item);
        if (!context.save()) {
            qFatal("could not seed the store");
        }
        return r;
    }
};
