#include "improvement/Improvement.h"

#include "common/Uuid.h"
#include "store/StoreContext.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QLocale>

#include <cmath>

namespace improvement {

namespace {

QJsonObject text(const QString& description)
{
    return QJsonObject { { QStringLiteral("type"), QStringLiteral("string") },
        { QStringLiteral("description"), description } };
}

QJsonObject enumeration(const QStringList& values)
{
    return QJsonObject { { QStringLiteral("type"), QStringLiteral("string") },
        { QStringLiteral("enum"), QJsonArray::fromStringList(values) } };
}

QJsonObject proposalsObject(const QJsonObject& item)
{
    return QJsonObject {
        { QStringLiteral("type"), QStringLiteral("object") },
        { QStringLiteral("properties"),
            QJsonObject { { QStringLiteral("proposals"),
                QJsonObject {
                    { QStringLiteral("type"), QStringLiteral("array") }, { QStringLiteral("items"), item } } } } },
        { QStringLiteral("required"), QJsonArray { QStringLiteral("proposals") } },
        { QStringLiteral("additionalProperties"), false },
    };
}

QStringList kindTexts()
{
    QStringList kinds;
    for (const ProposalKind kind :
        { ProposalKind::newQA, ProposalKind::editQA, ProposalKind::style, ProposalKind::instruction }) {
        kinds.append(proposalKind::rawText(kind));
    }
    return kinds;
}

const QStringList& draftFields()
{
    static const QStringList fields { QStringLiteral("question"), QStringLiteral("answer"), QStringLiteral("language"),
        QStringLiteral("targetQA"), QStringLiteral("text"), QStringLiteral("reason") };
    return fields;
}

QJsonObject analysisItem()
{
    const QJsonObject quote {
        { QStringLiteral("type"), QStringLiteral("object") },
        { QStringLiteral("properties"),
            QJsonObject {
                { QStringLiteral("callID"), text(QStringLiteral("call id, as it appears in the request")) },
                { QStringLiteral("text"), text(QStringLiteral("passage copied word for word from one line")) },
            } },
        { QStringLiteral("required"), QJsonArray { QStringLiteral("callID"), QStringLiteral("text") } },
        { QStringLiteral("additionalProperties"), false },
    };
    const QJsonObject properties {
        { QStringLiteral("kind"), enumeration(kindTexts()) },
        { QStringLiteral("question"), text(QStringLiteral("newQA and editQA; empty for the others")) },
        { QStringLiteral("answer"), text(QStringLiteral("newQA and editQA; may be empty; empty for the others")) },
        { QStringLiteral("language"), enumeration({ QStringLiteral("pt"), QStringLiteral("en"), QString() }) },
        { QStringLiteral("targetQA"), text(QStringLiteral("editQA: UUID of the bank item; empty for the others")) },
        { QStringLiteral("text"), text(QStringLiteral("style and instruction; empty for the others")) },
        { QStringLiteral("reason"), text(QStringLiteral("reason, in English")) },
        { QStringLiteral("quotes"),
            QJsonObject { { QStringLiteral("type"), QStringLiteral("array") }, { QStringLiteral("items"), quote } } },
    };
    return QJsonObject {
        { QStringLiteral("type"), QStringLiteral("object") },
        { QStringLiteral("required"),
            QJsonArray::fromStringList(
                QStringList { QStringLiteral("kind") } + draftFields() + QStringList { QStringLiteral("quotes") }) },
        { QStringLiteral("additionalProperties"), false },
        { QStringLiteral("properties"), properties },
    };
}

QString outcomeText(CallOutcome outcome)
{
    switch (outcome) {
    case CallOutcome::positive: return QStringLiteral("positive");
    case CallOutcome::negative: return QStringLiteral("negative");
    case CallOutcome::none: break;
    }
    return QStringLiteral("not marked");
}

QString orEmpty(const QString& value)
{
    return value.isEmpty() ? QStringLiteral("(empty)") : value;
}

// Reads the keys every draft and merge item share; the error names the 1-based proposal.
Result<void> readFields(const QJsonObject& object, qsizetype index, ProposalKind& kind, QStringList& values)
{
    const qsizetype number = index + 1;
    const QJsonValue kindValue = object.value(QLatin1String("kind"));
    if (!kindValue.isString()) {
        return fail(QCoreApplication::translate("Improvement", "proposal %1 has no text \"%2\"")
                        .arg(number)
                        .arg(QStringLiteral("kind")));
    }
    const auto parsed = proposalKind::parseStrict(kindValue.toString());
    if (!parsed) {
        return fail(QCoreApplication::translate("Improvement", "proposal %1 has the unknown kind \"%2\"")
                        .arg(number)
                        .arg(kindValue.toString()));
    }
    kind = *parsed;
    values.clear();
    for (const QString& field : draftFields()) {
        const QJsonValue value = object.value(field);
        if (!value.isString()) {
            return fail(
                QCoreApplication::translate("Improvement", "proposal %1 has no text \"%2\"").arg(number).arg(field));
        }
        values.append(value.toString());
    }
    return {};
}

Result<QJsonArray> proposalsOf(const QString& text)
{
    QJsonParseError error {};
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError) {
        return fail(
            QCoreApplication::translate("Improvement", "the reply is not valid JSON (%1)").arg(error.errorString()));
    }
    if (!document.isObject()) {
        return fail(QCoreApplication::translate("Improvement", "the reply is not a JSON object"));
    }
    const QJsonValue proposals = document.object().value(QLatin1String("proposals"));
    if (!proposals.isArray()) {
        return fail(QCoreApplication::translate("Improvement", "the reply has no list \"proposals\""));
    }
    return proposals.toArray();
}

} // namespace

const QJsonObject& analysisSchema()
{
    static const QJsonObject schema = proposalsObject(analysisItem());
    return schema;
}

const QJsonObject& mergeSchema()
{
    static const QJsonObject schema = [] {
        QJsonObject item = analysisSchema()
                               .value(QLatin1String("properties"))
                               .toObject()
                               .value(QLatin1String("proposals"))
                               .toObject()
                               .value(QLatin1String("items"))
                               .toObject();
        QJsonObject properties = item.value(QLatin1String("properties")).toObject();
        properties.remove(QStringLiteral("quotes"));
        properties.insert(QStringLiteral("sources"),
            QJsonObject {
                { QStringLiteral("type"), QStringLiteral("array") },
                { QStringLiteral("items"), QJsonObject { { QStringLiteral("type"), QStringLiteral("integer") } } },
                { QStringLiteral("description"), QStringLiteral("indexes of the candidates this proposal merges") },
            });
        item.insert(QStringLiteral("properties"), properties);
        item.insert(QStringLiteral("required"),
            QJsonArray::fromStringList(
                QStringList { QStringLiteral("kind") } + draftFields() + QStringList { QStringLiteral("sources") }));
        return proposalsObject(item);
    }();
    return schema;
}

namespace {

const QString replyFormat = QStringLiteral(
    "Reply format: a JSON object with the list \"proposals\". Each proposal has every field; use \"\" for the ones "
    "that do not apply to its kind.\n"
    "Kinds: \"newQA\" (question, answer, language), \"editQA\" (question, answer, language, targetQA), \"style\" "
    "(text), \"instruction\" (text).");

} // namespace

const QString& analysisSystemPrompt()
{
    static const QString prompt =
        QStringLiteral(
            "You improve a call assistant. You will read a real call between the user (\"You\" in the lines) and "
            "another "
            "person, the outcome the user marked, the current question-and-answer bank and the current style notes. "
            "Propose improvements for the assistant.\n"
            "\n"
            "What to look for:\n"
            "1. How the user answers, from the \"You\" lines (tone, length, vocabulary, expressions). This becomes a "
            "\"style\" proposal.\n"
            "2. Questions from the other person and what the user answered. A new question becomes \"newQA\". A "
            "question "
            "with the same meaning as an item in the bank but a different answer becomes \"editQA\", with the item's "
            "UUID in \"targetQA\".\n"
            "3. Hesitation, a blank \"[ \u2026 ]\" or a negative reaction from the other person to a question becomes "
            "\"newQA\" with an empty \"answer\", for the user to fill in.\n"
            "4. Changes to the assistant's instructions, when the call shows a clear pattern. This becomes "
            "\"instruction\".\n"
            "\n"
            "Weight: a positive outcome counts more, because it shows what worked. The reaction in the other person's "
            "next line is only a weak signal.\n"
            "\n")
        + replyFormat + QStringLiteral("\n\n")
        + QStringLiteral(
            "Rules:\n"
            "- Each proposal carries in \"quotes\" one or more passages copied word for word from the lines of the "
            "transcript, each with the \"callID\" of the call it came from. Do not summarize or correct the "
            "passages.\n"
            "- Do not claim anything the user did not say. Do not make up facts, numbers or experiences.\n"
            "- A proposal's answer stays in the user's language and manner from the call (\"language\" is \"pt\", "
            "\"en\" or \"\").\n"
            "- The \"reason\" is always in English and explains in one sentence why the proposal helps.\n"
            "- If there is nothing useful, return an empty list.");
    return prompt;
}

const QString& mergeSystemPrompt()
{
    static const QString prompt =
        QStringLiteral(
            "You merge improvement proposals for a call assistant. You get the assistant's current state "
            "(instructions, "
            "style notes and the bank with UUIDs) and the list of candidate proposals, made call by call.\n"
            "\n"
            "Do this:\n"
            "- Merge repeated candidates, or candidates with the same meaning, into one.\n"
            "- Drop what the assistant already has with the same meaning.\n"
            "- Keep one proposal per idea.\n"
            "- In \"sources\", list the indexes of the candidates each proposal comes from. Do not add content that is "
            "not in those candidates.\n"
            "- There are no \"quotes\" in the reply: the passages come from the candidates listed in \"sources\".\n"
            "- Do not claim anything the user did not say. A proposal's answer stays in the user's language and manner "
            "(\"language\" is \"pt\", \"en\" or \"\").\n"
            "- The \"reason\" is always in English and explains in one sentence why the proposal helps.\n"
            "- If there is nothing new, return an empty list.\n"
            "\n")
        + replyFormat;
    return prompt;
}

Result<std::vector<Call>> newCalls(StoreContext& store, const QUuid& assistantID)
{
    Query query = Query::ofAssistant(assistantID, Order::oldestFirst);
    query.withoutBlobs = true; // a run reads each call's lines when it comes to it
    auto calls = store.fetch<Call>(query);
    if (!calls) {
        return std::unexpected(calls.error());
    }
    std::erase_if(*calls, [](const Call& call) { return call.reviewedForImprovement; });
    return calls;
}

Result<std::optional<AssistantState>> readAssistant(StoreContext& store, const QUuid& assistantID)
{
    auto assistant = store.fetchOne<Assistant>(assistantID);
    if (!assistant) {
        return std::unexpected(assistant.error());
    }
    if (!*assistant) {
        return std::optional<AssistantState>();
    }
    auto bank = store.fetch<QAItem>(Query::ofAssistant(assistantID, Order::oldestFirst));
    if (!bank) {
        return std::unexpected(bank.error());
    }
    return std::optional(AssistantState { std::move(**assistant), std::move(*bank) });
}

QString assistantState(const AssistantState& state, bool includeInstructions)
{
    QString out;
    if (includeInstructions) {
        out +=
            QStringLiteral("Current instructions:\n") + orEmpty(state.assistant.instructions) + QStringLiteral("\n\n");
    }
    out += QStringLiteral("Current question-and-answer bank:\n");
    if (state.bank.empty()) {
        out += QStringLiteral("(empty)");
    }
    for (size_t i = 0; i < state.bank.size(); ++i) {
        const QAItem& item = state.bank[i];
        if (i > 0) {
            out += u'\n';
        }
        out += QStringLiteral("- [") + uuid::toText(item.id) + QStringLiteral("] Q: ") + item.question
            + QStringLiteral(" | A: ") + (item.answer.isEmpty() ? QStringLiteral("(no answer)") : item.answer);
    }
    out += QStringLiteral("\n\nCurrent style notes:\n") + orEmpty(state.assistant.styleNotes);
    return out;
}

QString callMessage(const Call& call, const std::optional<CallContext>& context, const AssistantState& state)
{
    return callMessage(call, call.lines(), context, state);
}

QString callMessage(const Call& call, const QList<CallLine>& lines, const std::optional<CallContext>& context,
    const AssistantState& state)
{
    QString out = QStringLiteral("Call ") + uuid::toText(call.id) + QStringLiteral(", on ")
        + QLocale().toString(call.startedAt.toLocalTime(), QLocale::ShortFormat) + u'\n';
    out += QStringLiteral("Outcome: ") + outcomeText(call.outcomeValue());
    if (!call.outcomeNote.isEmpty()) {
        out += QStringLiteral(". Note: ") + call.outcomeNote;
    }
    out += u'\n';
    if (context) {
        out += QStringLiteral("Context: ") + context->name;
        if (!context->stage.isEmpty()) {
            out += QStringLiteral(", stage: ") + context->stage;
        }
        out += u'\n';
    }
    out += QStringLiteral("\nTranscript:\n");
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i > 0) {
            out += u'\n';
        }
        out += (lines[i].fromMe ? QStringLiteral("You: ") : QStringLiteral("Other person: ")) + lines[i].text;
    }
    out += QStringLiteral("\n\nSuggestions shown to the user:\n");
    const QList<CallSuggestion> suggestions = call.suggestions();
    if (suggestions.isEmpty()) {
        out += QStringLiteral("(none)");
    }
    for (qsizetype i = 0; i < suggestions.size(); ++i) {
        if (i > 0) {
            out += u'\n';
        }
        out += QStringLiteral("- ") + suggestions[i].text;
    }
    out += QStringLiteral("\n\n") + assistantState(state, false);
    return out;
}

QString mergeMessage(const AssistantState& state, const QList<ProposalDraft>& candidates)
{
    QString out = assistantState(state, true) + QStringLiteral("\n\nCandidate proposals:\n");
    for (qsizetype k = 0; k < candidates.size(); ++k) {
        const ProposalDraft& draft = candidates[k];
        if (k > 0) {
            out += u'\n';
        }
        out += u'[' + QString::number(k) + QStringLiteral("] kind: ") + proposalKind::rawText(draft.kind);
        const QString values[] = { draft.question, draft.answer, draft.language, draft.targetQA, draft.text,
            draft.reason };
        for (qsizetype field = 0; field < draftFields().size(); ++field) {
            if (!values[field].isEmpty()) {
                out += QStringLiteral(" | ") + draftFields()[field] + QStringLiteral(": ") + values[field];
            }
        }
    }
    return out;
}

namespace {

// Reads every proposal of a reply into `Item` (a draft or a merge item): the shared fields here,
// the rest by `readRest` (object, the 1-based proposal number, item).
template <typename Item, typename ReadRest> Result<QList<Item>> decodeProposals(const QString& text, ReadRest readRest)
{
    const auto proposals = proposalsOf(text);
    if (!proposals) {
        return std::unexpected(proposals.error());
    }
    QList<Item> items;
    for (qsizetype i = 0; i < proposals->size(); ++i) {
        const QJsonValue entry = proposals->at(i);
        const qsizetype number = i + 1;
        if (!entry.isObject()) {
            return fail(QCoreApplication::translate("Improvement", "proposal %1 is not an object").arg(number));
        }
        const QJsonObject object = entry.toObject();
        Item item;
        QStringList values;
        if (auto read = readFields(object, i, item.kind, values); !read) {
            return std::unexpected(read.error());
        }
        item.question = values[0];
        item.answer = values[1];
        item.language = values[2];
        item.targetQA = values[3];
        item.text = values[4];
        item.reason = values[5];
        if (auto rest = readRest(object, number, item); !rest) {
            return std::unexpected(rest.error());
        }
        items.append(std::move(item));
    }
    return items;
}

} // namespace

Result<Reply> decodeReply(const QString& text)
{
    auto proposals = decodeProposals<ProposalDraft>(
        text, [](const QJsonObject& object, qsizetype number, ProposalDraft& draft) -> Result<void> {
            const QJsonValue quotes = object.value(QLatin1String("quotes"));
            if (!quotes.isArray()) {
                return fail(QCoreApplication::translate("Improvement", "proposal %1 has no list \"%2\"")
                                .arg(number)
                                .arg(QStringLiteral("quotes")));
            }
            for (const QJsonValue& quote : quotes.toArray()) {
                const QJsonValue callID = quote.toObject().value(QLatin1String("callID"));
                const QJsonValue passage = quote.toObject().value(QLatin1String("text"));
                if (!callID.isString() || !passage.isString()) {
                    return fail(QCoreApplication::translate(
                        "Improvement", "proposal %1 has a quote without text \"callID\" and \"text\"")
                                    .arg(number));
                }
                draft.quotes.append(ProposalQuote { callID.toString(), passage.toString() });
            }
            return {};
        });
    if (!proposals) {
        return std::unexpected(proposals.error());
    }
    return Reply { std::move(*proposals) };
}

Result<MergeReply> decodeMergeReply(const QString& text)
{
    auto proposals = decodeProposals<MergeItem>(
        text, [](const QJsonObject& object, qsizetype number, MergeItem& item) -> Result<void> {
            const QJsonValue sources = object.value(QLatin1String("sources"));
            if (!sources.isArray()) {
                return fail(QCoreApplication::translate("Improvement", "proposal %1 has no list \"%2\"")
                                .arg(number)
                                .arg(QStringLiteral("sources")));
            }
            for (const QJsonValue& source : sources.toArray()) {
                const double number = source.toDouble(std::nan(""));
                if (!source.isDouble() || number != std::trunc(number)) {
                    return fail(
                        QCoreApplication::translate("Improvement", "proposal %1 has a source that is not an integer")
                            .arg(number));
                }
                item.sources.append(static_cast<qint64>(number));
            }
            return {};
        });
    if (!proposals) {
        return std::unexpected(proposals.error());
    }
    return MergeReply { std::move(*proposals) };
}

QList<ProposalDraft> rebuild(const MergeReply& reply, const QList<ProposalDraft>& candidates)
{
    QList<ProposalDraft> drafts;
    for (const MergeItem& item : reply.proposals) {
        QList<ProposalQuote> quotes;
        for (const qint64 source : item.sources) {
            if (source < 0 || source >= candidates.size()) {
                continue;
            }
            for (const ProposalQuote& quote : candidates[source].quotes) {
                if (!quotes.contains(quote)) {
                    quotes.append(quote);
                }
            }
        }
        if (quotes.isEmpty()) {
            continue;
        }
        drafts.append(ProposalDraft { item.kind, item.question, item.answer, item.language, item.targetQA, item.text,
            item.reason, std::move(quotes) });
    }
    return drafts;
}

} // namespace improvement
