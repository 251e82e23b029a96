#pragma once

#include "common/Error.h"
#include "records/Records.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <functional>
#include <optional>
#include <vector>

class StoreContext;

// What an improvement run sends and receives: the two requests' prompts and schemas, the messages
// built from an assistant's calls and state, and the strict reading of the replies. Pure text
// work, apart from the few reads of the store named as such.
namespace improvement {

// The decoded answer of one call's analysis.
struct Reply {
    QList<ProposalDraft> proposals;
};

// One merged proposal: a candidate's fields, with the candidates it stands for instead of quotes.
struct MergeItem {
    ProposalKind kind = ProposalKind::newQA;
    QString question;
    QString answer;
    QString language;
    QString targetQA;
    QString text;
    QString reason;
    QList<qint64> sources; // 0-based indexes into the candidate list

    bool operator==(const MergeItem&) const = default;
};

struct MergeReply {
    QList<MergeItem> proposals;
};

// An assistant as an analysis sees it: the record and its question-and-answer bank, oldest first.
struct AssistantState {
    Assistant assistant;
    std::vector<QAItem> bank;
};

// Receives the run's notes on dropped quotes and counts.
using Log = std::function<void(const QString&)>;

const QJsonObject& analysisSchema();
const QString& analysisSystemPrompt();
// The analysis schema's item without "quotes" and with "sources".
const QJsonObject& mergeSchema();
const QString& mergeSystemPrompt();

// The assistant's calls not yet reviewed, oldest first, read without their lines and suggestions.
Result<std::vector<Call>> newCalls(StoreContext& store, const QUuid& assistantID);
// The assistant and its bank; nothing when the assistant is not in the store.
Result<std::optional<AssistantState>> readAssistant(StoreContext& store, const QUuid& assistantID);

// Instructions (when asked for), the bank with each item's id, and the style notes.
QString assistantState(const AssistantState& state, bool includeInstructions);
// The user message for one call: its date, outcome, context, transcript, the suggestions shown
// and the assistant's state without instructions. `context` is the call's context record, if any.
QString callMessage(const Call& call, const std::optional<CallContext>& context, const AssistantState& state);
// The same with the call's lines decoded already.
QString callMessage(const Call& call, const QList<CallLine>& lines, const std::optional<CallContext>& context,
    const AssistantState& state);
// The state with instructions and one line per candidate, as the merge request's user message.
QString mergeMessage(const AssistantState& state, const QList<ProposalDraft>& candidates);

// Strict readings: every key present with its type, "kind" one of the four raw values. The error
// describes the first fault found.
Result<Reply> decodeReply(const QString& text);
Result<MergeReply> decodeMergeReply(const QString& text);

// One draft per merge item, with the quotes of the candidates it names (in order, without repeats);
// items naming no candidate with quotes are dropped.
QList<ProposalDraft> rebuild(const MergeReply& reply, const QList<ProposalDraft>& candidates);

} // namespace improvement
