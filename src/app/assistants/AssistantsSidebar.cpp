#include "app/assistants/AssistantsSidebar.h"

#include "app/assistants/SidebarModel.h"

#include <QHeaderView>
#include <QScopedValueRollback>

AssistantsSidebar::AssistantsSidebar(QWidget* parent)
    : QTreeView(parent)
    , m_model(new SidebarModel(this))
{
    setObjectName(QStringLiteral("sidebar"));
    setAccessibleName(tr("Assistants"));
    setHeaderHidden(true);
    setRootIsDecorated(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformRowHeights(true);
    header()->setStretchLastSection(true);
    setModel(m_model);

    connect(m_model, &QAbstractItemModel::rowsInserted, this, &AssistantsSidebar::expandInserted);
    connect(this, &QTreeView::expanded, this, [this](const QModelIndex& index) {
        if (SidebarModel::isSection(index)) {
            m_archivedExpanded = true;
        }
    });
    connect(this, &QTreeView::collapsed, this, [this](const QModelIndex& index) {
        if (SidebarModel::isSection(index)) {
            m_archivedExpanded = false;
        }
    });
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this, &AssistantsSidebar::currentChosen);
}

void AssistantsSidebar::reload(StoreContext& context)
{
    {
        // A row that goes away moves the current index; that is no choice of the user.
        const QScopedValueRollback quiet(m_quiet, true);
        m_model->reload(context);
    }
    choose(m_chosen);
}

void AssistantsSidebar::expandInserted(const QModelIndex& parent, int first, int last)
{
    for (int row = first; row <= last; ++row) {
        const QModelIndex index = m_model->index(row, 0, parent);
        if (SidebarModel::isSection(index)) {
            setExpanded(index, m_archivedExpanded);
        } else {
            setExpanded(index, true);
        }
        if (const int children = m_model->rowCount(index); children > 0) {
            expandInserted(index, 0, children - 1);
        }
    }
}

void AssistantsSidebar::currentChosen(const QModelIndex& current)
{
    if (m_quiet) {
        return;
    }
    if (SidebarModel::isSection(current)) {
        // The section's title is not something to show; the choice stays where it was.
        choose(m_chosen);
        return;
    }
    const auto shown = ShownRecord::parse(current.data(SidebarModel::RecordRole).toString());
    if (shown != m_chosen) {
        m_chosen = shown;
        Q_EMIT chosenChanged(shown);
    }
}

void AssistantsSidebar::choose(const std::optional<ShownRecord>& shown)
{
    const QScopedValueRollback quiet(m_quiet, true);
    m_chosen = shown;
    const QModelIndex index = shown ? m_model->indexOf(*shown) : QModelIndex();
    // Scrolling to the item would expand the collapsed "Archived" section around it.
    const bool autoScrolls = hasAutoScroll();
    setAutoScroll(false);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    setAutoScroll(autoScrolls);
    if (!index.isValid()) {
        clearSelection();
    }
}
