#pragma once

#include "common/Error.h"
#include "records/Records.h"

#include <QUuid>

#include <memory>
#include <optional>
#include <vector>

class Store;

enum class Order { unsorted, oldestFirst, newestFirst };

// What a fetch selects. Orders use the record's own date: `createdAt` (assistants, contexts,
// Q&A, proposals), `importedAt` (knowledge files) or `startedAt` (calls).
struct Query {
    std::optional<QUuid> id;
    std::optional<QUuid> assistant; // records whose `assistant` reference is this
    std::optional<QUuid> context; // records whose `context` reference is this
    Order order = Order::unsorted;
    std::optional<int> limit;
    // Reads blob columns (a call's lines and suggestions, a proposal's quotes) as empty, for
    // listings that never look at them. Such records must not be passed to update().
    bool withoutBlobs = false;

    static Query byId(const QUuid& id)
    {
        Query query;
        query.id = id;
        return query;
    }
    static Query ofAssistant(const QUuid& id, Order order = Order::oldestFirst)
    {
        Query query;
        query.assistant = id;
        query.order = order;
        return query;
    }
    static Query ofContext(const QUuid& id, Order order = Order::oldestFirst)
    {
        Query query;
        query.context = id;
        query.order = order;
        return query;
    }
    static Query all(Order order = Order::oldestFirst)
    {
        Query query;
        query.order = order;
        return query;
    }
};

// A unit of work on a store. Inserts, updates and removals stay pending (and are seen by
// this context's own fetches) until `save()` commits them in one transaction; `rollback()`
// drops them. Removing an assistant or context clears the references to it (nullify rule);
// nothing cascades. Record types: Assistant, CallContext, KnowledgeFile, Call, QAItem,
// Proposal.
class StoreContext {
public:
    explicit StoreContext(std::shared_ptr<Store> store);
    ~StoreContext();
    StoreContext(const StoreContext&) = delete;
    StoreContext& operator=(const StoreContext&) = delete;

    template <typename R> Result<std::vector<R>> fetch(const Query& query = {});
    template <typename R> Result<std::optional<R>> fetchOne(const QUuid& id);
    template <typename R> Result<qint64> count();

    template <typename R> void insert(const R& record);
    // Makes the record's current field values pending; only the fields that differ from the
    // stored row are written on save.
    template <typename R> void update(const R& record);
    template <typename R> void remove(const QUuid& id);

    bool hasChanges() const;
    Result<void> save();
    void rollback();

    const std::shared_ptr<Store>& store() const { return m_store; }

private:
    struct Pending;
    std::shared_ptr<Store> m_store;
    std::unique_ptr<Pending> m_pending;
};

#define QUILLORA_EXTERN_CONTEXT(Type)                                                                                  \
    extern template Result<std::vector<Type>> StoreContext::fetch<Type>(const Query&);                                 \
    extern template Result<std::optional<Type>> StoreContext::fetchOne<Type>(const QUuid&);                            \
    extern template Result<qint64> StoreContext::count<Type>();                                                        \
    extern template void StoreContext::insert<Type>(const Type&);                                                      \
    extern template void StoreContext::update<Type>(const Type&);                                                      \
    extern template void StoreContext::remove<Type>(const QUuid&);
QUILLORA_EXTERN_CONTEXT(Assistant)
QUILLORA_EXTERN_CONTEXT(CallContext)
QUILLORA_EXTERN_CONTEXT(KnowledgeFile)
QUILLORA_EXTERN_CONTEXT(Call)
QUILLORA_EXTERN_CONTEXT(QAItem)
QUILLORA_EXTERN_CONTEXT(Proposal)
#undef QUILLORA_EXTERN_CONTEXT
