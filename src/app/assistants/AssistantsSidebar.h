#pragma once

#include "app/assistants/ShownRecord.h"

#include <QTreeView>

#include <optional>

class SidebarModel;
class StoreContext;

// The sidebar: `SidebarModel`'s tree, the active assistants expanded, the "Archived" section collapsed
// until the user opens it. Reading the store again keeps the chosen item and what was expanded.
class AssistantsSidebar : public QTreeView {
    Q_OBJECT

public:
    explicit AssistantsSidebar(QWidget* parent);

    void reload(StoreContext& context);
    // Chooses the item without announcing it; nothing chosen when it is not listed.
    void choose(const std::optional<ShownRecord>& shown);
    std::optional<ShownRecord> chosen() const { return m_chosen; }

Q_SIGNALS:
    // The user chose another item (nothing when the choice was cleared).
    void chosenChanged(const std::optional<ShownRecord>& shown);

private:
    void expandInserted(const QModelIndex& parent, int first, int last);
    void currentChosen(const QModelIndex& current);

    SidebarModel* m_model;
    std::optional<ShownRecord> m_chosen;
    bool m_archivedExpanded = false;
    // The current index moves by the window's own doing (a reload, a choice made in code), not the user's.
    bool m_quiet = false;
};
