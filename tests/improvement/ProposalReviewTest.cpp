#include "improvement/ProposalReview.h"
#include "app/assistants/ImprovementsSection.h"
#include "common/Uuid.h"
#include "fakes/FakeHttpServer.h"
#include "improvement/ImprovementService.h"
#include "settings/Settings.h"
#include "store/Store.h"
#include "store/StoreContext.h"
#include "store/StoreHolder.h"

#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace std::chrono_literals;
using Edits = proposalReview::Edits;

Q_DECLARE_METATYPE(ProposalKind)
Q_DECLARE_METATYPE(proposalReview::Edits)

namespace {

const QDateTime noon(QDate(2026, 3, 4), QTime(12, 0), Qt::UTC);

// An assistant with one bank item and one call, on an in-memory store behind a holder, and a
// service whose model server never answers.
struct Fixture {
    explicit Fixture(const QString& notes = QString())
        : settings(directory.filePath(QStringLiteral("Quillora.conf")), nullptr)
        , holder(
              *Store::openInMemory(), false, [] { return Store::openInMemory(); }, nullptr)
        , service(LLMClient(&network, LLMEndpoints::sourceFor(&settings), LLMTimeouts { 5000ms, 500ms }), &settings,
              nullptr,
              ImprovementServiceOptions { [](const QString&) -> QCoro::Task<std::optional<QString>> {
                                             co_return std::optional<QString>(QStringLiteral("sk-test"));
                                         },
                  {} })
    {
        settings.setText(SettingKey::llmProvider, QStringLiteral("claude"));
        settings.setText(SettingKey::anthropicBaseURL, server.baseURL());
        FakeHttpServer::Response silent;
        silent.ending = FakeHttpServer::Ending::hang;
        server.respond("/v1/messages", silent);

        assistant = Assistant::make(QStringLiteral("Sales"), AssistantTemplate::blank);
        assistant.styleNotes = notes;
        assistant.instructions = notes;
        item = QAItem::make(QStringLiteral("Old question"), QStringLiteral("Old answer"), QStringLiteral("en"),
            QStringLiteral("manual"));
        item.assistant = assistant.id;
        item.createdAt = item.updatedAt = noon;
        call.id = uuid::create();
        call.startedAt = noon;
        call.endedAt = noon.addSecs(60);
        call.assistant = assistant.id;
        call.linesData = blob::encodeLines({ { true, QStringLiteral("Hello there"), noon } });
        call.suggestionsData = blob::encodeSuggestions({});
        context().insert(assistant);
        context().insert(item);
        context().insert(call);
        QVERIFY(context().save());
    }

    StoreContext& context() { return holder.context(); }

    Proposal addProposal(
        ProposalKind kind, const QString& target = QString(), const QString& answer = QStringLiteral("New answer"))
    {
        ProposalDraft draft { kind, QStringLiteral("New question"), answer, QStringLiteral("pt"), target,
            QStringLiteral("Be brief."), QStringLiteral("Helps."),
            { { QStringLiteral("not a call"), QStringLiteral("x") },
                { uuid::toText(call.id).toLower(), QStringLiteral("Hello there") } } };
        Proposal proposal = Proposal::make(draft);
        proposal.assistant = assistant.id;
        proposal.createdAt = noon.addSecs(++made);
        context().insert(proposal);
        [&] { QVERIFY(context().save()); }();
        return proposal;
    }

    QStringList bank()
    {
        QStringList out;
        const std::vector<QAItem> items = context().fetch<QAItem>(Query::ofAssistant(assistant.id)).value();
        for (const QAItem& entry : items) {
            out.append(entry.question + u'|' + entry.answer + u'|' + entry.language + u'|'
                + (entry.source == QLatin1String("manual") ? entry.source : QStringLiteral("call")));
        }
        return out;
    }

    Assistant stored() { return *context().fetchOne<Assistant>(assistant.id).value(); }
    Proposal proposal(const QUuid& id) { return *context().fetchOne<Proposal>(id).value(); }

    QTemporaryDir directory;
    Settings settings;
    FakeHttpServer server;
    QNetworkAccessManager network;
    StoreHolder holder;
    ImprovementService service;
    Assistant assistant;
    QAItem item;
    Call call;
    int made = 0;
};

} // namespace

class ProposalReviewTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void accept_data();
    void accept();
    void decidedOnce();
    void sectionButtonAndLists();
    void rowButtons_data();
    void rowButtons();
    void rowContent();
};

void ProposalReviewTest::accept_data()
{
    QTest::addColumn<ProposalKind>("kind");
    QTest::addColumn<QString>("target"); // "item", "missing" or empty
    QTest::addColumn<QString>("notes"); // style notes and instructions before
    QTest::addColumn<Edits>("edits");
    QTest::addColumn<QStringList>("bank");
    QTest::addColumn<QString>("styleNotes");
    QTest::addColumn<QString>("instructions");
    const QString old = QStringLiteral("Old question|Old answer|en|manual");
    QTest::newRow("newQA") << ProposalKind::newQA << QString() << QString() << Edits {}
                           << QStringList { old, QStringLiteral("New question|New answer|pt|call") } << QString()
                           << QString();
    QTest::newRow("newQA with edited texts")
        << ProposalKind::newQA << QString() << QString()
        << Edits { QStringLiteral("Edited question"), QStringLiteral(" Edited answer "), std::nullopt }
        << QStringList { old, QStringLiteral("Edited question| Edited answer |pt|call") } << QString() << QString();
    QTest::newRow("editQA changes only the answer")
        << ProposalKind::editQA << QStringLiteral("item") << QString()
        << Edits { QStringLiteral("Ignored"), std::nullopt, std::nullopt }
        << QStringList { QStringLiteral("Old question|New answer|en|manual") } << QString() << QString();
    QTest::newRow("editQA whose target was deleted adds an item")
        << ProposalKind::editQA << QStringLiteral("missing") << QString() << Edits {}
        << QStringList { old, QStringLiteral("New question|New answer|pt|call") } << QString() << QString();
    QTest::newRow("first style note") << ProposalKind::style << QString() << QString() << Edits {}
                                      << QStringList { old } << QStringLiteral("Be brief.") << QString();
    QTest::newRow("style note appended") << ProposalKind::style << QString() << QStringLiteral("Warm.")
                                         << Edits { std::nullopt, std::nullopt, QStringLiteral("Be very brief.") }
                                         << QStringList { old } << QStringLiteral("Warm.\nBe very brief.")
                                         << QStringLiteral("Warm.");
    QTest::newRow("first instruction") << ProposalKind::instruction << QString() << QString() << Edits {}
                                       << QStringList { old } << QString() << QStringLiteral("Be brief.");
    QTest::newRow("instruction appended after a blank line")
        << ProposalKind::instruction << QString() << QStringLiteral("Warm.") << Edits {} << QStringList { old }
        << QStringLiteral("Warm.") << QStringLiteral("Warm.\n\nBe brief.");
}

void ProposalReviewTest::accept()
{
    QFETCH(ProposalKind, kind);
    QFETCH(QString, target);
    QFETCH(QString, notes);
    QFETCH(Edits, edits);
    QFETCH(QStringList, bank);
    QFETCH(QString, styleNotes);
    QFETCH(QString, instructions);
    Fixture fixture(notes);
    QString targetText;
    if (target == QLatin1String("item")) {
        targetText = uuid::toText(fixture.item.id);
    } else if (target == QLatin1String("missing")) {
        targetText = uuid::toText(uuid::create());
    }
    const Proposal proposal = fixture.addProposal(kind, targetText);
    const QDateTime now = noon.addDays(1);
    QVERIFY(proposalReview::accept(fixture.context(), proposal.id, edits, now));
    QVERIFY(fixture.context().save());

    QCOMPARE(fixture.bank(), bank);
    QCOMPARE(fixture.stored().styleNotes, styleNotes);
    QCOMPARE(fixture.stored().instructions, instructions);
    const Proposal decided = fixture.proposal(proposal.id);
    QCOMPARE(decided.status, QStringLiteral("accepted"));
    QCOMPARE(decided.reviewedAt, now);
    if (kind == ProposalKind::editQA && target == QLatin1String("item")) {
        const QAItem edited = *fixture.context().fetchOne<QAItem>(fixture.item.id).value();
        QCOMPARE(edited.updatedAt, now);
        QCOMPARE(edited.createdAt, noon);
    }
    if (bank.size() == 2) {
        // The new item names the first valid call its quotes name.
        const auto items = fixture.context().fetch<QAItem>(Query::ofAssistant(fixture.assistant.id)).value();
        QCOMPARE(items.back().source, uuid::toText(fixture.call.id));
    }
}

void ProposalReviewTest::decidedOnce()
{
    Fixture fixture;
    const Proposal accepted = fixture.addProposal(ProposalKind::newQA);
    const Proposal discarded = fixture.addProposal(ProposalKind::style);
    QVERIFY(proposalReview::accept(fixture.context(), accepted.id, {}, noon));
    QVERIFY(proposalReview::discard(fixture.context(), discarded.id, noon));
    QVERIFY(fixture.context().save());
    const QStringList bank = fixture.bank();

    QVERIFY(!proposalReview::accept(fixture.context(), accepted.id, {}, noon.addDays(1)));
    QVERIFY(!proposalReview::discard(fixture.context(), accepted.id, noon.addDays(1)));
    QVERIFY(!proposalReview::accept(fixture.context(), discarded.id, {}, noon.addDays(1)));
    QVERIFY(!fixture.context().hasChanges());
    QCOMPARE(fixture.bank(), bank);
    QCOMPARE(fixture.stored().styleNotes, QString());
    QCOMPARE(fixture.proposal(accepted.id).reviewedAt, noon);
    QCOMPARE(fixture.proposal(discarded.id).status, QStringLiteral("discarded"));

    // A proposal whose assistant is gone is left alone; an unknown status reads as pending.
    Proposal orphan = fixture.addProposal(ProposalKind::newQA);
    orphan.assistant.reset();
    orphan.status = QStringLiteral("later");
    fixture.context().update(orphan);
    QVERIFY(fixture.context().save());
    QCOMPARE(proposalReview::status(orphan), proposalReview::Status::pending);
    QVERIFY(!proposalReview::accept(fixture.context(), orphan.id));
    QVERIFY(proposalReview::discard(fixture.context(), orphan.id));
}

void ProposalReviewTest::sectionButtonAndLists()
{
    Fixture fixture;
    int saves = 0;
    ImprovementsSection section(
        fixture.assistant.id, &fixture.holder, &fixture.service,
        [&] {
            ++saves;
            QVERIFY(fixture.context().save());
        },
        nullptr);
    QVERIFY(section.isButtonEnabled());

    Call second = fixture.call;
    second.id = uuid::create();
    second.startedAt = noon.addDays(1);
    fixture.context().insert(second);
    QVERIFY(fixture.context().save());
    QCOMPARE(section.buttonText(), QStringLiteral("Improve from history (2 new calls)"));

    Assistant archived = fixture.stored();
    archived.archived = true;
    fixture.context().update(archived);
    QVERIFY(!section.isButtonEnabled());
    archived.archived = false;
    fixture.context().update(archived);
    QVERIFY(fixture.context().save());

    // While the run waits on the model: no second start, the progress is shown, no outcome yet.
    QSignalSpy received(&fixture.server, &FakeHttpServer::requestReceived);
    section.improve();
    QVERIFY(section.ranHere());
    QVERIFY(received.wait(5000));
    QVERIFY(section.isRunningHere());
    QVERIFY(!section.isButtonEnabled());
    QCOMPARE(section.progressText(), QStringLiteral("Analyzing call 1 of 2\u2026"));
    QCOMPARE(section.outcome(), std::nullopt);
    ImprovementsSection other(uuid::create(), &fixture.holder, &fixture.service, {}, nullptr);
    QCOMPARE(other.progressText(), QString());

    // Lists: pending oldest first, reviewed by review date, newest first.
    const Proposal first = fixture.addProposal(ProposalKind::newQA);
    const Proposal middle = fixture.addProposal(ProposalKind::style);
    const Proposal last = fixture.addProposal(ProposalKind::instruction);
    const Proposal newest = fixture.addProposal(ProposalKind::editQA);
    QVERIFY(proposalReview::discard(fixture.context(), first.id, noon.addDays(2)));
    QVERIFY(proposalReview::accept(fixture.context(), last.id, {}, noon.addDays(3)));
    QVERIFY(fixture.context().save());
    const auto pending = section.pendingProposals();
    QCOMPARE(pending.size(), size_t(2));
    QCOMPARE(pending[0].id, middle.id);
    QCOMPARE(pending[1].id, newest.id);
    const auto reviewed = section.reviewedProposals();
    QCOMPARE(reviewed.size(), size_t(2));
    QCOMPARE(reviewed[0].id, last.id);
    QCOMPARE(ImprovementsSection::reviewedHeadline(reviewed[0]), QStringLiteral("Instruction \u00B7 Accepted"));
    QCOMPARE(ImprovementsSection::reviewedHeadline(reviewed[1]), QStringLiteral("New question \u00B7 Discarded"));

    // A decision runs in a later turn of the event loop, then the window's save.
    ProposalRow row(pending[0], &section);
    QSignalSpy applied(&section, &ImprovementsSection::applied);
    row.discard();
    QCOMPARE(fixture.proposal(middle.id).status, QStringLiteral("pending"));
    QVERIFY(applied.wait(5000));
    QCOMPARE(saves, 1);
    QCOMPARE(fixture.holder.container()->newContext()->fetchOne<Proposal>(middle.id).value()->status,
        QStringLiteral("discarded"));
}

void ProposalReviewTest::rowButtons_data()
{
    QTest::addColumn<ProposalKind>("kind");
    QTest::addColumn<QString>("answer"); // the proposal's
    QTest::addColumn<bool>("accepts"); // "Accept" decides at once rather than opening the editor
    QTest::addColumn<QStringList>("edited"); // question, answer, text typed in the editor
    QTest::addColumn<bool>("canConfirm");
    QTest::newRow("newQA without answer")
        << ProposalKind::newQA << QStringLiteral(" \n") << false
        << QStringList { QStringLiteral("Q"), QStringLiteral("\t"), QString() } << false;
    QTest::newRow("newQA filled in") << ProposalKind::newQA << QString() << false
                                     << QStringList { QStringLiteral("Q"), QStringLiteral("A"), QString() } << true;
    QTest::newRow("newQA without question")
        << ProposalKind::newQA << QStringLiteral("A") << true
        << QStringList { QStringLiteral(" "), QStringLiteral("A"), QString() } << false;
    QTest::newRow("editQA needs only the answer") << ProposalKind::editQA << QString() << false
                                                  << QStringList { QString(), QStringLiteral("A"), QString() } << true;
    QTest::newRow("style needs its text") << ProposalKind::style << QString() << true
                                          << QStringList { QString(), QString(), QStringLiteral("\n") } << false;
    QTest::newRow("instruction") << ProposalKind::instruction << QString() << true
                                 << QStringList { QString(), QString(), QStringLiteral("Ask back.") } << true;
}

void ProposalReviewTest::rowButtons()
{
    QFETCH(ProposalKind, kind);
    QFETCH(QString, answer);
    QFETCH(bool, accepts);
    QFETCH(QStringList, edited);
    QFETCH(bool, canConfirm);
    Fixture fixture;
    ImprovementsSection section(fixture.assistant.id, &fixture.holder, &fixture.service, {}, nullptr);
    const Proposal proposal = fixture.addProposal(kind, QString(), answer);
    ProposalRow row(proposal, &section);
    QSignalSpy applied(&section, &ImprovementsSection::applied);
    row.accept();
    QCOMPARE(row.isEditing(), !accepts);
    if (accepts) {
        QVERIFY(applied.wait(5000));
        QCOMPARE(fixture.proposal(proposal.id).status, QStringLiteral("accepted"));
        return;
    }
    QCOMPARE(row.answer, answer);
    row.question = edited[0];
    row.answer = edited[1];
    row.text = edited[2];
    QCOMPARE(row.canConfirm(), canConfirm);
    row.confirm();
    if (canConfirm) {
        QVERIFY(applied.wait(5000));
        QCOMPARE(fixture.proposal(proposal.id).status, QStringLiteral("accepted"));
        QVERIFY(fixture.bank().join(u'\n').contains(u'|' + edited[1] + u'|'));
    } else {
        row.cancel();
        QVERIFY(!row.isEditing());
        QCoreApplication::processEvents();
        QVERIFY(applied.isEmpty());
        QCOMPARE(fixture.proposal(proposal.id).status, QStringLiteral("pending"));
    }
}

void ProposalReviewTest::rowContent()
{
    Fixture fixture;
    ImprovementsSection section(fixture.assistant.id, &fixture.holder, &fixture.service, {}, nullptr);
    const ProposalRow edit(fixture.addProposal(ProposalKind::editQA, uuid::toText(fixture.item.id)), &section);
    const ProposalRow::Content content = edit.content();
    QCOMPARE(content.headline, QStringLiteral("Answer change"));
    QCOMPARE(content.details,
        (QStringList { QStringLiteral("Question: Old question"), QStringLiteral("Current answer: Old answer") }));
    QCOMPARE(content.answer, QStringLiteral("Proposed: New answer"));
    QCOMPARE(edit.fixedQuestion(), QStringLiteral("Question: Old question"));
    // The quote naming no call has no date; the one naming the assistant's call has its date.
    QCOMPARE(content.quotes.size(), 2);
    QCOMPARE(content.quotes[0], QStringLiteral("\u201Cx\u201D"));
    QVERIFY(content.quotes[1].startsWith(QStringLiteral("\u201CHello there\u201D (")));

    const ProposalRow blank(fixture.addProposal(ProposalKind::newQA, QString(), QStringLiteral("  ")), &section);
    QCOMPARE(blank.content().headline, QStringLiteral("New question"));
    QCOMPARE(blank.content().details, QStringList { QStringLiteral("Question: New question") });
    QCOMPARE(blank.content().answer, std::nullopt);
}

QTEST_GUILESS_MAIN(ProposalReviewTest)
#include "ProposalReviewTest.moc"
