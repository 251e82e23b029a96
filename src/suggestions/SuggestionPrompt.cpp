#include "suggestions/SuggestionPrompt.h"

#include "store/StoreContext.h"
#include "suggestions/LanguageIdentifier.h"

#include <algorithm>

namespace suggestionPrompt {

namespace {

const QString separator = QStringLiteral("\n\n");

template <typename Record, typename Date> void sortStably(std::vector<Record>& records, Date Record::*date)
{
    std::stable_sort(
        records.begin(), records.end(), [date](const Record& a, const Record& b) { return a.*date < b.*date; });
}

template <typename Record> std::vector<Record> fetchOr(Result<std::vector<Record>> fetched)
{
    return fetched ? std::move(*fetched) : std::vector<Record>();
}

} // namespace

QString basePrompt()
{
    static const QString text = QString::fromUtf8(
        R"prompt(You help the user during a live video call. You get the recent transcript of the conversation: "You:" is the user and "Other:" is the other person. The transcript is automatic and can have errors.

Write what the user can say now in reply to the other person's last line: 1 or 2 short sentences, in the first person, ready to say out loud. Do not write an introduction, quotes or an explanation.

Write the whole reply in the language of the other person's last line. If the material below is in another language, translate what you use. Never mix languages in one reply.

Do not make up numbers, prices, deadlines or promises. If the reply depends on them, suggest a question or a way to buy time.

Do not make up experiences, projects, companies or facts about the user. Use only what is in the material below or in the transcript. If the question is about the user's life or work and that information does not exist, write the reply with blanks [ … ] for the user to fill in, without mentioning the missing information. Example of a complete reply in that case:
A hard project that stayed with me was [ … ]. The biggest challenge was [ … ], and I solved it by [ … ].)prompt");
    return text;
}

namespace {

// Appends the file blocks in import order, without intermediate copies: the material can be
// many megabytes.
void appendKnowledge(QString& out, std::vector<KnowledgeFile> files)
{
    sortStably(files, &KnowledgeFile::importedAt);
    bool first = true;
    for (const KnowledgeFile& file : files) {
        if (!first) {
            out += separator;
        }
        first = false;
        out += QLatin1String("### ");
        out += file.name;
        out += u'\n';
        out += file.content;
    }
}

qsizetype knowledgeSize(const std::vector<KnowledgeFile>& files)
{
    qsizetype size = 0;
    for (const KnowledgeFile& file : files) {
        size += file.name.size() + file.content.size() + 8;
    }
    return size;
}

} // namespace

std::optional<QString> knowledgeText(std::vector<KnowledgeFile> files)
{
    if (files.empty()) {
        return std::nullopt;
    }
    QString text;
    text.reserve(knowledgeSize(files));
    appendKnowledge(text, std::move(files));
    return text;
}

std::optional<QString> preparedAnswersText(std::vector<QAItem> items)
{
    sortStably(items, &QAItem::createdAt);
    QString text =
        QStringLiteral("## Prepared questions and answers\nWhen the other person's question means the same as "
                       "one of these, use the prepared answer as the base, entirely in the language of the "
                       "question.");
    bool any = false;
    for (const QAItem& item : items) {
        if (item.question.trimmed().isEmpty() || item.answer.trimmed().isEmpty()) {
            continue;
        }
        any = true;
        text += separator;
        text += QLatin1String("Q: ");
        text += item.question;
        text += QLatin1String("\nA: ");
        text += item.answer;
    }
    return any ? std::optional(text) : std::nullopt;
}

QString systemPrompt(const Assistant& assistant, const std::vector<KnowledgeFile>& files,
    const std::vector<QAItem>& prepared, const std::optional<ContextMaterial>& context)
{
    const QString instructions = assistant.instructions.trimmed();
    const QString style = assistant.styleNotes.trimmed();
    const std::optional<QString> answers = preparedAnswersText(prepared);

    QString out;
    out.reserve(basePrompt().size() + instructions.size() + style.size() + knowledgeSize(files)
        + (answers ? answers->size() : 0)
        + (context ? knowledgeSize(context->files) + context->context.name.size() + context->context.stage.size() : 0)
        + 256);
    out += basePrompt();
    if (!instructions.isEmpty()) {
        out += separator;
        out += QLatin1String("## Instructions for this assistant\n");
        out += instructions;
    }
    if (!files.empty()) {
        out += separator;
        out += QLatin1String("## Assistant material\n");
        appendKnowledge(out, files);
    }
    if (!style.isEmpty()) {
        out += separator;
        out += QLatin1String("## How the user answers\n");
        out += style;
    }
    if (answers) {
        out += separator;
        out += *answers;
    }
    if (context) {
        out += separator;
        out += QLatin1String("## Context for this call: ");
        out += context->context.name;
        const QString stage = context->context.stage.trimmed();
        if (!stage.isEmpty()) {
            out += QLatin1String("\nStage: ");
            out += stage;
        }
        if (!context->files.empty()) {
            out += separator;
            appendKnowledge(out, context->files);
        }
    }
    return out;
}

QString systemPrompt(StoreContext& store, const Assistant& assistant, const std::optional<CallContext>& context)
{
    std::optional<ContextMaterial> material;
    if (context) {
        material = ContextMaterial { *context, fetchOr(store.fetch<KnowledgeFile>(Query::ofContext(context->id))) };
    }
    return systemPrompt(assistant, fetchOr(store.fetch<KnowledgeFile>(Query::ofAssistant(assistant.id))),
        fetchOr(store.fetch<QAItem>(Query::ofAssistant(assistant.id))), material);
}

QString transcriptText(const QList<TranscriptLine>& lines)
{
    const qsizetype first = std::max<qsizetype>(0, lines.size() - contextLines);
    QStringList rendered;
    for (qsizetype i = first; i < lines.size(); ++i) {
        rendered.append(speaker::label(lines.at(i).speaker) + QStringLiteral(": ") + lines.at(i).text);
    }
    return rendered.join(u'\n');
}

QString replyInstruction(const QString& lastOtherLine, const QStringList& earlierOtherLines)
{
    const QString closing =
        QStringLiteral("Write only the words to say, without commenting on the question or the language.");
    const auto language = languageIdentifier::identify(lastOtherLine, earlierOtherLines);
    if (!language) {
        return closing;
    }
    const QString name = *language == ReplyLanguage::english ? QStringLiteral("English") : QStringLiteral("Portuguese");
    return QStringLiteral("Reply to this last line from the other person, not to earlier ones: \u00AB")
        + lastOtherLine.trimmed() + QStringLiteral("\u00BB. Reply only in ") + name + QStringLiteral(". ") + closing;
}

QString userMessage(const QList<TranscriptLine>& lines)
{
    // The other person's lines of the call, oldest first; the last one is the anchor.
    QStringList theirs;
    for (const TranscriptLine& line : lines) {
        if (line.speaker == Speaker::them) {
            theirs.append(line.text);
        }
    }
    const QString anchor = theirs.isEmpty() ? QString() : theirs.takeLast();
    return transcriptText(lines) + separator + replyInstruction(anchor, theirs);
}

} // namespace suggestionPrompt
