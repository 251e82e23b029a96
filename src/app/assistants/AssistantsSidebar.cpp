#include "app/assistants/AssistantsSidebar.h"

#include "store/StoreContext.h"

#include <QHeaderView>
#include <QSignalBlocker>

#include <map>

namespace {

constexpr int recordRole = Qt::UserRole;

QTreeWidgetItem* recordItem(const QString& name, const ShownRecord& shown)
{
    auto* item = new QTreeWidgetItem(QStringList { name });
    item->setData(0, recordRole, shown.text());
    return item;
}

} // namespace

AssistantsSidebar::AssistantsSidebar(QWidget* parent)
    : QTreeWidget(parent)
{
    setObjectName(QStringLiteral("sidebar"));
    setAccessibleName(tr("Assistants"));
    setHeaderHidden(true);
    setRootIsDecorated(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformRowHeights(true);
    header()->setStretchLastSection(true);

    connect(this, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) {
        if (item == m_archived) {
            m_archivedExpanded = true;
        }
    });
    connect(this, &QTreeWidget::itemCollapsed, this, [this](QTreeWidgetItem* item) {
        if (item == m_archived) {
            m_archivedExpanded = false;
        }
    });
    connect(this, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current) {
        const auto shown = current ? ShownRecord::parse(current->data(0, recordRole).toString()) : std::nullopt;
        if (!shown && current) {
            // The section's title is not something to show; the choice stays where it was.
            const QSignalBlocker blocker(this);
            choose(m_chosen);
            return;
        }
        if (shown != m_chosen) {
            m_chosen = shown;
            Q_EMIT chosenChanged(shown);
        }
    });
}

void AssistantsSidebar::rebuild(StoreContext& context)
{
    const auto assistants = context.fetch<Assistant>(Query::all()).value_or(std::vector<Assistant>());
    const auto contexts = context.fetch<CallContext>(Query::all()).value_or(std::vector<CallContext>());
    std::map<QUuid, const Assistant*> byId;
    for (const Assistant& assistant : assistants) {
        byId.emplace(assistant.id, &assistant);
    }

    const QSignalBlocker blocker(this);
    clear();
    m_archived = nullptr;
    std::map<QUuid, QTreeWidgetItem*> assistantItems;
    QList<QTreeWidgetItem*> active;
    QList<QTreeWidgetItem*> archived;
    for (const Assistant& assistant : assistants) {
        QTreeWidgetItem* item = recordItem(assistant.name, { ShownRecord::Kind::assistant, assistant.id });
        assistantItems.emplace(assistant.id, item);
        (assistant.archived ? archived : active).append(item);
    }
    for (const CallContext& callContext : contexts) {
        const ShownRecord shown { ShownRecord::Kind::context, callContext.id };
        const auto owner = callContext.assistant ? byId.find(*callContext.assistant) : byId.end();
        const bool ownerArchived = owner != byId.end() && owner->second->archived;
        if (callContext.archived && !ownerArchived) {
            // An archived context of an active assistant: listed in the section, named with its owner.
            const QString name =
                owner != byId.end() ? tr("%1 · %2").arg(callContext.name, owner->second->name) : callContext.name;
            archived.append(recordItem(name, shown));
        } else if (owner != byId.end()) {
            assistantItems[owner->first]->addChild(recordItem(callContext.name, shown));
        } else {
            active.append(recordItem(callContext.name, shown));
        }
    }
    addTopLevelItems(active);
    for (QTreeWidgetItem* item : active) {
        item->setExpanded(true);
    }
    if (!archived.isEmpty()) {
        m_archived = new QTreeWidgetItem(QStringList { tr("Archived") });
        m_archived->setFlags(Qt::ItemIsEnabled);
        QFont font = m_archived->font(0);
        font.setBold(true);
        m_archived->setFont(0, font);
        m_archived->addChildren(archived);
        addTopLevelItem(m_archived);
        for (QTreeWidgetItem* item : archived) {
            item->setExpanded(true);
        }
        m_archived->setExpanded(m_archivedExpanded);
    }
    choose(m_chosen);
}

void AssistantsSidebar::choose(const std::optional<ShownRecord>& shown)
{
    const QSignalBlocker blocker(this);
    m_chosen = shown;
    QTreeWidgetItem* item = shown ? itemOf(*shown) : nullptr;
    // Scrolling to the item would expand the collapsed "Archived" section around it.
    const bool autoScrolls = hasAutoScroll();
    setAutoScroll(false);
    setCurrentItem(item);
    setAutoScroll(autoScrolls);
    if (!item) {
        clearSelection();
    }
}

std::optional<ShownRecord> AssistantsSidebar::chosen() const
{
    return m_chosen;
}

QTreeWidgetItem* AssistantsSidebar::itemOf(const ShownRecord& shown) const
{
    const QString key = shown.text();
    for (QTreeWidgetItemIterator it(const_cast<AssistantsSidebar*>(this)); *it; ++it) {
        if ((*it)->data(0, recordRole).toString() == key) {
            return *it;
        }
    }
    return nullptr;
}
