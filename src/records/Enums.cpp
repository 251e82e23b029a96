#include "records/Enums.h"

#include <QCoreApplication>

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
    case AssistantTemplate::interview: return QCoreApplication::translate("AssistantTemplate", "Interview");
    case AssistantTemplate::projects: return QCoreApplication::translate("AssistantTemplate", "Projects");
    case AssistantTemplate::prospecting: return QCoreApplication::translate("AssistantTemplate", "Prospecting");
    case AssistantTemplate::blank: return QCoreApplication::translate("AssistantTemplate", "Blank");
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
    // Suggestions for a context's stage, which the user may also write freely; the one picked is stored as shown.
    static const char* const interview[] = { QT_TRANSLATE_NOOP("AssistantTemplate", "Applied"),
        QT_TRANSLATE_NOOP("AssistantTemplate", "Screening"), QT_TRANSLATE_NOOP("AssistantTemplate", "First interview"),
        QT_TRANSLATE_NOOP("AssistantTemplate", "Technical interview"),
        QT_TRANSLATE_NOOP("AssistantTemplate", "Final interview"), QT_TRANSLATE_NOOP("AssistantTemplate", "Offer"),
        QT_TRANSLATE_NOOP("AssistantTemplate", "Rejected") };
    static const char* const projects[] = { QT_TRANSLATE_NOOP("AssistantTemplate", "Proposal"),
        QT_TRANSLATE_NOOP("AssistantTemplate", "In progress"), QT_TRANSLATE_NOOP("AssistantTemplate", "Delivered"),
        QT_TRANSLATE_NOOP("AssistantTemplate", "Paused") };
    static const char* const prospecting[] = { QT_TRANSLATE_NOOP("AssistantTemplate", "New"),
        QT_TRANSLATE_NOOP("AssistantTemplate", "Qualified"), QT_TRANSLATE_NOOP("AssistantTemplate", "Meeting"),
        QT_TRANSLATE_NOOP("AssistantTemplate", "Proposal sent"), QT_TRANSLATE_NOOP("AssistantTemplate", "Won"),
        QT_TRANSLATE_NOOP("AssistantTemplate", "Lost") };
    const auto translated = [](const auto& names) {
        QStringList out;
        for (const char* name : names) {
            out.append(QCoreApplication::translate("AssistantTemplate", name));
        }
        return out;
    };
    switch (value) {
    case AssistantTemplate::interview: return translated(interview);
    case AssistantTemplate::projects: return translated(projects);
    case AssistantTemplate::prospecting: return translated(prospecting);
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

QString shownLabel(Speaker value)
{
    return value == Speaker::me ? QCoreApplication::translate("Speaker", "You")
                                : QCoreApplication::translate("Speaker", "Them");
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
    case LLMProvider::onDevice: return QCoreApplication::translate("LLMProvider", "On-device (local model, free)");
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
