#pragma once

#include "records/Records.h"

#include <QDateTime>
#include <QString>
#include <QUuid>

#include <optional>

class StoreContext;

// The user's decisions on stored proposals and what they do to the assistant. A proposal is decided
// once: accepting or discarding anything but a pending one changes nothing. Changes stay pending in
// the given context; saving it is the caller's part.
namespace proposalReview {

enum class Status { pending, accepted, discarded };

// Any stored text other than "accepted" and "discarded" reads as pending.
Status status(const Proposal& proposal);
QString statusLabel(Status status); // "Accepted", "Discarded", "Pending"
// "New question", "Answer change", "How you answer", "Instruction".
QString kindLabel(ProposalKind kind);

// Texts the user edited before accepting; each replaces the proposal's own field when given.
struct Edits {
    std::optional<QString> question;
    std::optional<QString> answer;
    std::optional<QString> text;
};

// Applies a pending proposal of an existing assistant to its bank, style notes or instructions and
// marks it accepted; false when nothing was done (decided already, no assistant, or a failed read).
bool accept(StoreContext& store, const QUuid& proposalID, const Edits& edits = {},
    const QDateTime& now = QDateTime::currentDateTimeUtc());
// Marks a pending proposal discarded; false when it was not pending.
bool discard(StoreContext& store, const QUuid& proposalID, const QDateTime& now = QDateTime::currentDateTimeUtc());

// The bank item an editQA proposal names, compared as UUIDs; nothing for other kinds.
std::optional<QAItem> targetItem(StoreContext& store, const Proposal& proposal);

} // namespace proposalReview
