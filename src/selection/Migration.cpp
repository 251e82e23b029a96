#include "selection/Migration.h"

#include <QCoreApplication>

namespace migration {

Result<std::optional<Assistant>> migrateIfNeeded(StoreContext& context, Settings& settings)
{
    if (settings.assistantsMigrated()) {
        return std::optional<Assistant>();
    }
    auto count = context.count<Assistant>();
    if (!count) {
        return std::unexpected(count.error());
    }
    if (*count != 0) {
        return std::optional<Assistant>();
    }
    // The first assistant's name is the user's to change, so it is written in the user's language.
    Assistant general = Assistant::make(QCoreApplication::translate("Migration", "General"), AssistantTemplate::blank);
    const QString prompt = settings.text(SettingKey::suggestionPrompt).value_or(QString());
    general.instructions =
        prompt.isEmpty() ? assistantTemplate::defaultInstructions(AssistantTemplate::interview) : prompt;
    context.insert(general);
    const QString notes = settings.text(SettingKey::callNotes).value_or(QString());
    if (!notes.isEmpty()) {
        KnowledgeFile file = KnowledgeFile::make(QStringLiteral("notes.md"), notes);
        file.assistant = general.id;
        context.insert(file);
    }
    if (auto saved = context.save(); !saved) {
        context.rollback();
        return std::unexpected(saved.error());
    }
    settings.setBoolean(SettingKey::assistantsMigrated, true);
    return std::optional<Assistant>(general);
}

} // namespace migration
