#include "app/assistants/SidebarModel.h"

#include "store/StoreContext.h"

#include <QFont>

#include <map>

namespace {

const QString sectionKey = QStringLiteral("archived");

} // namespace

struct SidebarModel::Node {
    QString key; // the record as ShownRecord text, or `sectionKey`
    QString name;
    Node* parent = nullptr;
    Nodes children;

    Node* add(std::unique_ptr<Node> child)
    {
        child->parent = this;
        children.push_back(std::move(child));
        return children.back().get();
    }
};

namespace {

template <typename Node> std::unique_ptr<Node> makeNode(const ShownRecord& shown, const QString& name)
{
    auto node = std::make_unique<Node>();
    node->key = shown.text();
    node->name = name;
    return node;
}

} // namespace

SidebarModel::SidebarModel(QObject* parent)
    : KeyedModel(parent)
    , m_root(std::make_unique<Node>())
{
}

SidebarModel::~SidebarModel() = default;

SidebarModel::Node* SidebarModel::nodeOf(const QModelIndex& index) const
{
    return index.isValid() ? static_cast<Node*>(index.internalPointer()) : m_root.get();
}

QModelIndex SidebarModel::indexOf(const Node* node) const
{
    if (!node || !node->parent) {
        return {};
    }
    const Nodes& siblings = node->parent->children;
    const auto found =
        std::find_if(siblings.begin(), siblings.end(), [&](const auto& sibling) { return sibling.get() == node; });
    return createIndex(int(found - siblings.begin()), 0, const_cast<Node*>(node));
}

QModelIndex SidebarModel::index(int row, int column, const QModelIndex& parent) const
{
    const Node* owner = nodeOf(parent);
    if (column != 0 || row < 0 || size_t(row) >= owner->children.size()) {
        return {};
    }
    return createIndex(row, 0, owner->children[size_t(row)].get());
}

QModelIndex SidebarModel::parent(const QModelIndex& child) const
{
    return child.isValid() ? indexOf(nodeOf(child)->parent) : QModelIndex();
}

int SidebarModel::rowCount(const QModelIndex& parent) const
{
    return parent.column() > 0 ? 0 : int(nodeOf(parent)->children.size());
}

int SidebarModel::columnCount(const QModelIndex&) const
{
    return 1;
}

QVariant SidebarModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid()) {
        return {};
    }
    const Node* node = nodeOf(index);
    const bool section = node->key == sectionKey;
    switch (role) {
    case Qt::DisplayRole: return node->name;
    case Qt::FontRole: {
        if (!section) {
            return {};
        }
        QFont font;
        font.setBold(true);
        return font;
    }
    case RecordRole: return section ? QString() : node->key;
    default: return {};
    }
}

Qt::ItemFlags SidebarModel::flags(const QModelIndex& index) const
{
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    return isSection(index) ? Qt::ItemIsEnabled : Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

bool SidebarModel::isSection(const QModelIndex& index)
{
    return index.isValid() && index.data(RecordRole).toString().isEmpty();
}

QModelIndex SidebarModel::indexOf(const ShownRecord& shown) const
{
    const QString key = shown.text();
    std::vector<const Node*> pending { m_root.get() };
    while (!pending.empty()) {
        const Node* node = pending.back();
        pending.pop_back();
        if (node->key == key) {
            return indexOf(node);
        }
        for (const auto& child : node->children) {
            pending.push_back(child.get());
        }
    }
    return {};
}

QModelIndex SidebarModel::archivedSection() const
{
    const Nodes& top = m_root->children;
    return !top.empty() && top.back()->key == sectionKey ? indexOf(top.back().get()) : QModelIndex();
}

void SidebarModel::reload(StoreContext& context)
{
    const auto assistants = context.fetch<Assistant>(Query::all()).value_or(std::vector<Assistant>());
    const auto contexts = context.fetch<CallContext>(Query::all()).value_or(std::vector<CallContext>());
    std::map<QUuid, std::pair<const Assistant*, Node*>> byId;
    Node active;
    Node archived;
    for (const Assistant& assistant : assistants) {
        Node* node = (assistant.archived ? archived : active)
                         .add(makeNode<Node>({ ShownRecord::Kind::assistant, assistant.id }, assistant.name));
        byId.emplace(assistant.id, std::pair { &assistant, node });
    }
    for (const CallContext& callContext : contexts) {
        const ShownRecord shown { ShownRecord::Kind::context, callContext.id };
        const auto owner = callContext.assistant ? byId.find(*callContext.assistant) : byId.end();
        const bool ownerArchived = owner != byId.end() && owner->second.first->archived;
        if (callContext.archived && !ownerArchived) {
            // An archived context of an active assistant: listed in the section, named with its owner.
            const QString name =
                owner != byId.end() ? tr("%1 · %2").arg(callContext.name, owner->second.first->name) : callContext.name;
            archived.add(makeNode<Node>(shown, name));
        } else if (owner != byId.end()) {
            owner->second.second->add(makeNode<Node>(shown, callContext.name));
        } else {
            active.add(makeNode<Node>(shown, callContext.name));
        }
    }
    if (!archived.children.empty()) {
        auto section = std::make_unique<Node>();
        section->key = sectionKey;
        section->name = tr("Archived");
        for (auto& child : archived.children) {
            section->add(std::move(child));
        }
        active.add(std::move(section));
    }
    sync(QModelIndex(), *m_root, std::move(active.children));
}

void SidebarModel::sync(const QModelIndex& parentIndex, Node& parent, Nodes next)
{
    // Adopted before they are inserted: the views ask an inserted row for its parent at once.
    for (const auto& child : next) {
        child->parent = &parent;
    }
    syncRows(
        parentIndex, parent.children, std::move(next), [](const std::unique_ptr<Node>& node) { return node->key; },
        [this, &parentIndex](std::unique_ptr<Node>& node, std::unique_ptr<Node>&& value, int row) {
            const bool renamed = node->name != value->name;
            node->name = value->name;
            sync(index(row, 0, parentIndex), *node, std::move(value->children));
            return renamed;
        });
}
