#include "app/callwindow/AssistantMenu.h"

#include "app/widgets/AppStyle.h"
#include "common/Text.h"
#include "selection/Selection.h"
#include "settings/Settings.h"
#include "store/StoreHolder.h"

#include <QActionGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QToolButton>

#include <algorithm>

namespace {

template <typename Record> std::vector<Record> activeByName(std::vector<Record> records)
{
    std::erase_if(records, [](const Record& record) { return record.archived; });
    std::stable_sort(records.begin(), records.end(),
        [](const Record& a, const Record& b) { return QString::localeAwareCompare(a.name, b.name) < 0; });
    return records;
}

} // namespace

AssistantMenu::AssistantMenu(StoreHolder* holder, Settings* settings, const QString& loadError, QWidget* parent)
    : QWidget(parent)
    , m_holder(holder)
    , m_settings(settings)
    , m_button(new QToolButton(this))
    , m_menu(new QMenu(this))
    , m_error(new QLabel(this))
{
    m_button->setObjectName(QStringLiteral("assistantMenu"));
    m_button->setAutoRaise(true);
    m_button->setPopupMode(QToolButton::InstantPopup);
    m_button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    m_button->setMenu(m_menu);
    m_button->setFont(appStyle::font(*this, 12));
    m_button->setToolTip(tr("Assistant and context for this call"));
    m_button->setAccessibleName(m_button->toolTip());
    m_error->setObjectName(QStringLiteral("loadError"));
    m_error->setWordWrap(true);
    m_error->setTextFormat(Qt::PlainText);
    m_error->setFont(appStyle::font(*this, 12));
    appStyle::setTextColor(*m_error, appStyle::red());

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_button);
    layout->addWidget(m_error, 1);
    layout->addStretch();

    if (!loadError.isEmpty()) {
        m_error->setText(tr("Could not load the assistants: %1").arg(loadError));
        m_button->hide();
        return;
    }
    m_error->hide();
    if (m_holder) {
        connect(m_holder, &StoreHolder::changed, this, &AssistantMenu::refresh);
    }
    if (m_settings) {
        connect(m_settings, &Settings::changed, this, [this](SettingKey key) {
            if (key == SettingKey::selectedAssistant || key == SettingKey::selectedContext) {
                refresh();
            }
        });
    }
    refresh();
}

void AssistantMenu::refresh()
{
    // A choice in the menu comes back here through the settings while its action is still being
    // triggered: the old entries go away later, not under its feet.
    for (QAction* action : m_menu->actions()) {
        m_menu->removeAction(action);
        action->deleteLater();
    }
    for (QActionGroup* group : m_menu->findChildren<QActionGroup*>(Qt::FindDirectChildrenOnly)) {
        group->deleteLater();
    }
    if (!m_holder || !m_settings) {
        return;
    }
    StoreContext& context = m_holder->context();
    const Selection chosen = selection::resolveSelection(context, *m_settings);
    const QString assistantName = chosen.assistant ? chosen.assistant->name : tr("No assistant");
    const QString contextName = chosen.context ? chosen.context->name : tr("No context");
    m_button->setText(tr("%1 · %2").arg(text::actionText(assistantName), text::actionText(contextName)));

    auto* assistantGroup = new QActionGroup(m_menu);
    auto assistants = context.fetch<Assistant>(Query::all());
    for (const Assistant& assistant : activeByName(assistants.value_or(std::vector<Assistant>()))) {
        QAction* action = m_menu->addAction(text::actionText(assistant.name));
        action->setCheckable(true);
        action->setChecked(chosen.assistant && chosen.assistant->id == assistant.id);
        action->setActionGroup(assistantGroup);
        connect(action, &QAction::triggered, this, [this, assistant] {
            if (m_settings) {
                selection::saveSelection(assistant, std::nullopt, *m_settings);
            }
        });
    }
    if (!chosen.assistant) {
        return;
    }
    m_menu->addSeparator();
    auto* contextGroup = new QActionGroup(m_menu);
    const Assistant owner = *chosen.assistant;
    auto contexts = context.fetch<CallContext>(Query::ofAssistant(owner.id));
    for (const CallContext& callContext : activeByName(contexts.value_or(std::vector<CallContext>()))) {
        QAction* action = m_menu->addAction(text::actionText(callContext.name));
        action->setCheckable(true);
        action->setChecked(chosen.context && chosen.context->id == callContext.id);
        action->setActionGroup(contextGroup);
        connect(action, &QAction::triggered, this, [this, owner, callContext] {
            if (m_settings) {
                selection::saveSelection(owner, callContext, *m_settings);
            }
        });
    }
    QAction* none = m_menu->addAction(tr("No context"));
    none->setCheckable(true);
    none->setChecked(!chosen.context);
    none->setActionGroup(contextGroup);
    connect(none, &QAction::triggered, this, [this, owner] {
        if (m_settings) {
            selection::saveSelection(owner, std::nullopt, *m_settings);
        }
    });
}
