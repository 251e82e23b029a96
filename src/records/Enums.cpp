#include "records/Enums.h"

namespace assistantTemplate {

QString rawText(AssistantTemplate value)
{
    switch (value) {
    case AssistantTemplate::interview: return QStringLiteral("interview");
    case AssistantTemplate::projects: return QStringLiteral("projects");
    case AssistantTemplate::prospecting: return QStringLiteral("prospecting");
    case AssistantTemplate::blank: return QStringLiteral("blank");
    }
    return {};
}

std::optional<AssistantTemplate> parse(const QString& text)
{
    for (auto value : { AssistantTemplate::interview, AssistantTemplate::projects, AssistantTemplate::prospecting,
             AssistantTemplate::blank }) {
        if (text == rawText(value)) {
            return value;
        }
    }
    return std::nullopt;
}

QString title(AssistantTemplate value)
{
    switch (value) {
    case AssistantTemplate::interview: return QStringLiteral("Interview");
    case AssistantTemplate::projects: return QStringLiteral("Projects");
    case AssistantTemplate::prospecting: return QStringLiteral("Prospecting");
    case AssistantTemplate::blank: return QStringLiteral("Blank");
    }
    return {};
}

QString defaultInstructions(AssistantTemplate value)
{
    switch (value) {
    case AssistantTemplate::interview:
        return QStringLiteral(
            "Job interview call. The user is the candidate. Answer the way the user would, using real "
            "experiences from the material, with a concrete example when there is one.");
    case AssistantTemplate::projects:
        return QStringLiteral(
            "Call with a project client. Be clear about scope, progress and next steps. Never confirm "
            "a deadline, price or new feature: offer to confirm later.");
    case AssistantTemplate::prospecting:
        return QStringLiteral("Meeting with a lead. First ask about their business; then present the service and a "
                              "case from the material that fit; end by proposing a concrete next step.");
    case AssistantTemplate::blank: return {};
    }
    return {};
}

QStringList stages(AssistantTemplate value)
{
    switch (value) {
    case AssistantTemplate::interview:
        return { QStringLiteral("Applied"), QStringLiteral("Screening"), QStringLiteral("First interview"),
            QStringLiteral("Technical interview"), QStringLiteral("Final interview"), QStringLiteral("Offer"),
            QStringLiteral("Rejected") };
    case AssistantTemplate::projects:
        return { QStringLiteral("Proposal"), QStringLiteral("In progress"), QStringLiteral("Delivered"),
            QStringLiteral("Paused") };
    case AssistantTemplate::prospecting:
        return { QStringLiteral("New"), QStringLiteral("Qualified"), QStringLiteral("Meeting"),
            QStringLiteral("Proposal sent"), QStringLiteral("Won"), QStringLiteral("Lost") };
    case AssistantTemplate::blank: return {};
    }
    return {};
}

} // namespace assistantTemplate

namespace callOutcome {

QString rawText(CallOutcome value)
{
    switch (value) {
    case CallOutcome::none: return {};
    case CallOutcome::positive: return QStringLiteral("positive");
    case CallOutcome::negative: return QStringLiteral("negative");
    }
    return {};
}

CallOutcome parse(const QString& text)
{
    if (text == QLatin1String("positive")) {
        return CallOutcome::positive;
    }
    if (text == QLatin1String("negative")) {
        return CallOutcome::negative;
    }
    return CallOutcome::none;
}

std::optional<CallOutcome> parseName(const QString& text)
{
    if (text == QLatin1String("none")) {
        return CallOutcome::none;
    }
    const CallOutcome value = parse(text);
    return value == CallOutcome::none ? std::nullopt : std::optional(value);
}

} // namespace callOutcome

namespace speaker {

QString rawText(Speaker value)
{
    return value == Speaker::me ? QStringLiteral("You") : QStringLiteral("Them");
}

QString label(Speaker value)
{
    return value == Speaker::me ? QStringLiteral("You") : QStringLiteral("Other");
}

} // namespace speaker

namespace language {

QStringList codes()
{
    return { portuguese, english };
}

bool isStoredLanguage(const QString& text)
{
    return text.isEmpty() || codes().contains(text);
}

} // namespace language

namespace proposalKind {

QString rawText(ProposalKind value)
{
    switch (value) {
    case ProposalKind::newQA: return QStringLiteral("newQA");
    case ProposalKind::editQA: return QStringLiteral("editQA");
    case ProposalKind::style: return QStringLiteral("style");
    case ProposalKind::instruction: return QStringLiteral("instruction");
    }
    return {};
}

std::optional<ProposalKind> parseStrict(const QString& text)
{
    for (auto value : { ProposalKind::newQA, ProposalKind::editQA, ProposalKind::style, ProposalKind::instruction }) {
        if (text == rawText(value)) {
            return value;
        }
    }
    return std::nullopt;
}

ProposalKind parse(const QString& text)
{
    return parseStrict(text).value_or(ProposalKind::newQA);
}

} // namespace proposalKind

namespace llmProvider {

QString rawText(LLMProvider value)
{
    switch (value) {
    case LLMProvider::onDevice: return QStringLiteral("onDevice");
    case LLMProvider::claude: return QStringLiteral("claude");
    case LLMProvider::openai: return QStringLiteral("openai");
    }
    return {};
}

QString label(LLMProvider value)
{
    switch (value) {
    case LLMProvider::onDevice: return QStringLiteral("On-device (local model, free)");
    case LLMProvider::claude: return QStringLiteral("Claude (Anthropic)");
    case LLMProvider::openai: return QStringLiteral("OpenAI");
    }
    return {};
}

std::optional<LLMProvider> parseCloud(const QString& text)
{
    if (text == QLatin1String("claude")) {
        return LLMProvider::claude;
    }
    if (text == QLatin1String("openai")) {
        return LLMProvider::openai;
    }
    return std::nullopt;
}

LLMProvider parseForSuggestions(const QString& text)
{
    return parseCloud(text).value_or(LLMProvider::onDevice);
}

} // namespace llmProvider
