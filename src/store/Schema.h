#pragma once

// The stored layout of the six records: one table each, one column per field. Internal to
// the store library; the column lists drive creation, reading, writing and the upgrade of
// files written before a column existed (those columns get their SQL default).

#include "records/Records.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <optional>
#include <set>
#include <span>
#include <variant>

namespace schema {

using SqlValue = std::variant<std::monostate, qint64, double, QString, QByteArray>;

template <typename R> struct Column {
    const char* name;
    const char* declaration; // type, constraints and default, as written after the name
    SqlValue (*get)(const R&);
    void (*set)(R&, const SqlValue&);
};

// Schema version, kept in PRAGMA user_version as major * 10000 + minor * 100 + patch. 1.1.0 added
// the improvement failure of a call; its columns carry defaults, so files of 1.0.0 read as before.
constexpr int userVersion = 10100;

template <typename R> struct Traits;

struct DeletedOwners {
    std::set<QUuid> assistants;
    std::set<QUuid> contexts;
};

// Per record type: the date that orders sorted fetches, the owner references, and clearing
// references to owners pending deletion (the nullify rule before saving).
#define QUILLORA_RECORD_FUNCTIONS(Type)                                                                                \
    double dateKey(const Type& record);                                                                                \
    std::optional<QUuid> assistantOf(const Type& record);                                                              \
    std::optional<QUuid> contextOf(const Type& record);                                                                \
    void nullifyReferences(Type& record, const DeletedOwners& deleted);
QUILLORA_RECORD_FUNCTIONS(Assistant)
QUILLORA_RECORD_FUNCTIONS(CallContext)
QUILLORA_RECORD_FUNCTIONS(KnowledgeFile)
QUILLORA_RECORD_FUNCTIONS(Call)
QUILLORA_RECORD_FUNCTIONS(QAItem)
QUILLORA_RECORD_FUNCTIONS(Proposal)
#undef QUILLORA_RECORD_FUNCTIONS

// All table definitions, in dependency order (owners first).
QString createStatements();

} // namespace schema

#define QUILLORA_DECLARE_TRAITS(Type)                                                                                  \
    template <> struct schema::Traits<Type> {                                                                          \
        static const char* table;                                                                                      \
        static const char* dateColumn;                                                                                 \
        static std::span<const Column<Type>> columns();                                                                \
    };

QUILLORA_DECLARE_TRAITS(Assistant)
QUILLORA_DECLARE_TRAITS(CallContext)
QUILLORA_DECLARE_TRAITS(KnowledgeFile)
QUILLORA_DECLARE_TRAITS(Call)
QUILLORA_DECLARE_TRAITS(QAItem)
QUILLORA_DECLARE_TRAITS(Proposal)

#undef QUILLORA_DECLARE_TRAITS
