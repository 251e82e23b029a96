#include "records/Records.h"

#include "common/Dates.h"
#include "common/Uuid.h"

Assistant Assistant::make(const QString& name, AssistantTemplate from)
{
    Assistant assistant;
    assistant.id = uuid::create();
    assistant.name = name;
    assistant.templateText = assistantTemplate::rawText(from);
    assistant.instructions = assistantTemplate::defaultInstructions(from);
    assistant.createdAt = dates::now();
    return assistant;
}

std::optional<AssistantTemplate> Assistant::templateValue() const
{
    return assistantTemplate::parse(templateText);
}

QStringList Assistant::stages() const
{
    const auto value = templateValue();
    return value ? assistantTemplate::stages(*value) : QStringList {};
}

CallContext CallContext::make(const QString& name, const Assistant& owner)
{
    CallContext context;
    context.id = uuid::create();
    context.name = name;
    context.createdAt = dates::now();
    context.assistant = owner.id;
    return context;
}

KnowledgeFile KnowledgeFile::make(const QString& name, const QString& content)
{
    KnowledgeFile file;
    file.id = uuid::create();
    file.name = name;
    file.content = content;
    file.importedAt = dates::now();
    return file;
}

qint64 Call::durationMinutes() const
{
    const qint64 minutes = startedAt.msecsTo(endedAt) / 60000; // truncates toward zero
    return std::max<qint64>(1, minutes);
}

QAItem QAItem::make(const QString& question, const QString& answer, const QString& language, const QString& source)
{
    QAItem item;
    item.id = uuid::create();
    item.question = question;
    item.answer = answer;
    item.language = language;
    item.source = source;
    item.createdAt = dates::now();
    item.updatedAt = dates::now();
    return item;
}

Proposal Proposal::make(const ProposalDraft& draft)
{
    Proposal proposal;
    proposal.id = uuid::create();
    proposal.kind = proposalKind::rawText(draft.kind);
    proposal.question = draft.question;
    proposal.answer = draft.answer;
    proposal.language = draft.language;
    proposal.targetQA = draft.targetQA;
    proposal.text = draft.text;
    proposal.reason = draft.reason;
    proposal.quotesData = blob::encodeQuotes(draft.quotes);
    proposal.status = QStringLiteral("pending");
    proposal.createdAt = dates::now();
    return proposal;
}

QList<QUuid> Proposal::quotedCallIDs() const
{
    QList<QUuid> ids;
    for (const ProposalQuote& quote : quotes()) {
        const auto id = uuid::parse(quote.callID);
        if (id && !ids.contains(*id)) {
            ids.append(*id);
        }
    }
    return ids;
}
