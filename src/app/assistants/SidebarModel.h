#pragma once

#include "app/assistants/KeyedModel.h"
#include "app/assistants/ShownRecord.h"

#include <QAbstractItemModel>

#include <memory>
#include <vector>

class StoreContext;

// The sidebar's tree: the active assistants with their contexts under them (and contexts without an
// assistant beside them), then, once anything is archived, the section "Archived" with the archived
// assistants (their contexts under them) and the archived contexts of active assistants, each named
// with its assistant. Only records can be chosen; the section is a heading.
class SidebarModel : public KeyedModel<QAbstractItemModel> {
    Q_OBJECT

public:
    enum Role {
        RecordRole = Qt::UserRole + 1, // the record as ShownRecord text; empty for the section
    };

    explicit SidebarModel(QObject* parent);
    ~SidebarModel() override;

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Reads the assistants and contexts again.
    void reload(StoreContext& context);

    // The row of a record, or an invalid index when it is not listed.
    QModelIndex indexOf(const ShownRecord& shown) const;
    // The "Archived" section, or an invalid index while nothing is archived.
    QModelIndex archivedSection() const;
    static bool isSection(const QModelIndex& index);

private:
    struct Node;
    using Nodes = std::vector<std::unique_ptr<Node>>;

    Node* nodeOf(const QModelIndex& index) const;
    QModelIndex indexOf(const Node* node) const;
    void sync(const QModelIndex& parentIndex, Node& parent, Nodes next);

    std::unique_ptr<Node> m_root;
};
