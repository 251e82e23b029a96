#pragma once

// The stored layout of the six records: one table each, one column per field. Internal to
// the store library; the column lists drive creation, reading, writing and the upgrade of
// files written before a column existed (those columns get their SQL default).

#include "records/Records.h"
#include "store/CallSearch.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

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
// 1.2.0 added the search index over calls, built when a store without it opens.
constexpr int userVersion = 10200;

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

// The full-text index over every call's lines, summary and note: "CallSearch", SQLite's FTS5 with
// case and accents folded, holds one row per text, whose rowid says where the text is
// (CallSearchHit::rowsPerCall); "CallKey" gives each call its number there. Triggers on "Call" keep
// the index in step inside the transaction that writes the call, whichever process or build writes
// it; the lines are read as the blob decoder reads them (one malformed line: none).
QString searchIndexStatements();
// The names of the index's tables and triggers, to tell whether a store has all of them.
QStringList searchIndexObjects();
// Fills the index from the calls already stored; run once, when the index is created.
QString fillSearchIndex();

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
