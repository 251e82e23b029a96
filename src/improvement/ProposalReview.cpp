#include "improvement/ProposalReview.h"

#include "common/Log.h"
#include "common/Uuid.h"
#include "store/StoreContext.h"

#include <QCoreApplication>

namespace proposalReview {

namespace {

std::optional<Proposal> fetchPending(StoreContext& store, const QUuid& proposalID)
{
    auto found = store.fetchOne<Proposal>(proposalID);
    if (!found) {
        qCCritical(lcImprovement, "Could not read the proposal: %s", qUtf8Printable(found.error().message));
        return std::nullopt;
    }
    if (!*found || status(**found) != Status::pending) {
        return std::nullopt;
    }
    return std::move(*found);
}

QString appended(const QString& existing, const QString& separator, const QString& text)
{
    return existing.isEmpty() ? text : existing + separator + text;
}

} // namespace

Status status(const Proposal& proposal)
{
    if (proposal.status == QLatin1String("accepted")) {
        return Status::accepted;
    }
    if (proposal.status == QLatin1String("discarded")) {
        return Status::discarded;
    }
    return Status::pending;
}

QString statusLabel(Status status)
{
    switch (status) {
    case Status::accepted: return QCoreApplication::translate("ProposalReview", "Accepted");
    case Status::discarded: return QCoreApplication::translate("ProposalReview", "Discarded");
    case Status::pending: break;
    }
    return QCoreApplication::translate("ProposalReview", "Pending");
}

QString kindLabel(ProposalKind kind)
{
    switch (kind) {
    case ProposalKind::newQA: return QCoreApplication::translate("ProposalReview", "New question");
    case ProposalKind::editQA: return QCoreApplication::translate("ProposalReview", "Answer change");
    case ProposalKind::style: return QCoreApplication::translate("ProposalReview", "How you answer");
    case ProposalKind::instruction: return QCoreApplication::translate("ProposalReview", "Instruction");
    }
    return QString();
}

std::optional<QAItem> targetItem(StoreContext& store, const Proposal& proposal)
{
    const auto target = uuid::parse(proposal.targetQA);
    if (proposal.kindValue() != ProposalKind::editQA || !target || !proposal.assistant) {
        return std::nullopt;
    }
    auto item = store.fetchOne<QAItem>(*target);
    if (!item || !*item || (*item)->assistant != proposal.assistant) {
        return std::nullopt;
    }
    return std::move(*item);
}

bool accept(StoreContext& store, const QUuid& proposalID, const Edits& edits, const QDateTime& now)
{
    std::optional<Proposal> proposal = fetchPending(store, proposalID);
    if (!proposal || !proposal->assistant) {
        return false;
    }
    auto owner = store.fetchOne<Assistant>(*proposal->assistant);
    if (!owner || !*owner) {
        return false;
    }
    Assistant assistant = **owner;
    const QString question = edits.question.value_or(proposal->question);
    const QString answer = edits.answer.value_or(proposal->answer);
    const QString text = edits.text.value_or(proposal->text);

    const auto addItem = [&] {
        const QList<QUuid> calls = proposal->quotedCallIDs();
        QAItem item = QAItem::make(
            question, answer, proposal->language, calls.isEmpty() ? QStringLiteral("manual") : uuid::toText(calls[0]));
        item.createdAt = now;
        item.updatedAt = now;
        item.assistant = assistant.id;
        store.insert(item);
    };
    switch (proposal->kindValue()) {
    case ProposalKind::newQA: addItem(); break;
    case ProposalKind::editQA:
        if (std::optional<QAItem> item = targetItem(store, *proposal)) {
            item->answer = answer;
            item->updatedAt = now;
            store.update(*item);
        } else {
            addItem(); // the item was deleted since: the answer is not lost
        }
        break;
    case ProposalKind::style:
        assistant.styleNotes = appended(assistant.styleNotes, QStringLiteral("\n"), text);
        store.update(assistant);
        break;
    case ProposalKind::instruction:
        assistant.instructions = appended(assistant.instructions, QStringLiteral("\n\n"), text);
        store.update(assistant);
        break;
    }
    proposal->status = QStringLiteral("accepted");
    proposal->reviewedAt = now;
    store.update(*proposal);
    return true;
}

bool discard(StoreContext& store, const QUuid& proposalID, const QDateTime& now)
{
    std::optional<Proposal> proposal = fetchPending(store, proposalID);
    if (!proposal) {
        return false;
    }
    proposal->status = QStringLiteral("discarded");
    proposal->reviewedAt = now;
    store.update(*proposal);
    return true;
}

} // namespace proposalReview
