#pragma once

#include "app/assistants/ShownRecord.h"

#include <QTreeWidget>

#include <optional>

class StoreContext;

// The sidebar: the active assistants with their active contexts under them, then a collapsible
// "Archived" section (collapsed at first) with the archived assistants and contexts. Rebuilding it
// from the store keeps the chosen item and what was expanded.
class AssistantsSidebar : public QTreeWidget {
    Q_OBJECT

public:
    explicit AssistantsSidebar(QWidget* parent);

    void rebuild(StoreContext& context);
    // Chooses the item without announcing it; nothing chosen when it is not listed.
    void choose(const std::optional<ShownRecord>& shown);
    std::optional<ShownRecord> chosen() const;

    // The item of a record, or null.
    QTreeWidgetItem* itemOf(const ShownRecord& shown) const;
    // The "Archived" section, or null when nothing is archived.
    QTreeWidgetItem* archivedSection() const { return m_archived; }

Q_SIGNALS:
    // The user chose another item (nothing when the choice was cleared).
    void chosenChanged(const std::optional<ShownRecord>& shown);

private:
    QTreeWidgetItem* m_archived = nullptr;
    bool m_archivedExpanded = false;
    std::optional<ShownRecord> m_chosen;
};
