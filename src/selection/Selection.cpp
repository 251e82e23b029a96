#include "selection/Selection.h"

#include "common/Log.h"
#include "common/Uuid.h"

namespace selection {

Selection resolveSelection(StoreContext& context, const Settings& settings)
{
    auto assistants = context.fetch<Assistant>(Query::all(Order::oldestFirst));
    if (!assistants) {
        qCCritical(lcAssistants, "Could not fetch assistants: %s", qUtf8Printable(assistants.error().message));
        return {};
    }
    std::erase_if(*assistants, [](const Assistant& a) { return a.archived; });
    if (assistants->empty()) {
        return {};
    }
    Selection chosen;
    const auto wanted = uuid::parse(settings.selectedAssistant());
    for (const Assistant& assistant : *assistants) {
        if (wanted && assistant.id == *wanted) {
            chosen.assistant = assistant;
            break;
        }
    }
    if (!chosen.assistant) {
        chosen.assistant = assistants->front();
    }
    const auto wantedContext = uuid::parse(settings.selectedContext().value_or(QString()));
    if (wantedContext) {
        auto found = context.fetchOne<CallContext>(*wantedContext);
        if (found && *found && (*found)->assistant == chosen.assistant->id && !(*found)->archived) {
            chosen.context = **found;
        }
    }
    return chosen;
}

void saveSelection(const Assistant& assistant, const std::optional<CallContext>& context, Settings& settings)
{
    settings.setText(SettingKey::selectedAssistant, uuid::toText(assistant.id));
    if (context) {
        settings.setText(SettingKey::selectedContext, uuid::toText(context->id));
    } else {
        settings.remove(SettingKey::selectedContext);
    }
}

Selection lookupSelection(
    const std::optional<QUuid>& assistantId, const std::optional<QUuid>& contextId, StoreContext& context)
{
    if (!assistantId) {
        return {};
    }
    auto assistant = context.fetchOne<Assistant>(*assistantId);
    if (!assistant) {
        qCCritical(lcAssistants, "Could not fetch the call's assistant: %s", qUtf8Printable(assistant.error().message));
        return {};
    }
    if (!*assistant) {
        return {};
    }
    Selection found;
    found.assistant = **assistant;
    if (contextId) {
        auto callContext = context.fetchOne<CallContext>(*contextId);
        if (callContext && *callContext && (*callContext)->assistant == *assistantId) {
            found.context = **callContext;
        }
    }
    return found;
}

} // namespace selection
