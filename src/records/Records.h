#pragma once

#include "records/Enums.h"
#include "records/Values.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QUuid>

#include <optional>

// The six stored records. They are plain values: a store context (store/StoreContext.h)
// fetches them, and inserting, updating or removing one through a context makes the change
// pending until the context saves. References are the owner's id; the to-many lists
// (an assistant's contexts, files, calls, ...) are queries of the context, never stored.

struct Assistant {
    QUuid id;
    QString name;
    QString templateText; // stored text of the AssistantTemplate it was made from ("template")
    QString instructions;
    QString styleNotes;
    bool archived = false;
    QDateTime createdAt;

    // A new, unsaved assistant with the template's default instructions.
    static Assistant make(const QString& name, AssistantTemplate from);

    std::optional<AssistantTemplate> templateValue() const;
    // The template's stage list, or empty when the stored text names no template.
    QStringList stages() const;

    bool operator==(const Assistant&) const = default;
};

struct CallContext {
    QUuid id;
    QString name;
    QString stage;
    bool archived = false;
    QDateTime createdAt;
    std::optional<QUuid> assistant;

    static CallContext make(const QString& name, const Assistant& owner);

    bool operator==(const CallContext&) const = default;
};

struct KnowledgeFile {
    QUuid id;
    QString name;
    QString content;
    QDateTime importedAt;
    std::optional<QUuid> assistant;
    std::optional<QUuid> context;

    // No owner yet: the caller sets `assistant` or `context`.
    static KnowledgeFile make(const QString& name, const QString& content);

    bool operator==(const KnowledgeFile&) const = default;
};

struct Call {
    QUuid id;
    QDateTime startedAt;
    QDateTime endedAt;
    std::optional<QUuid> assistant;
    std::optional<QUuid> context;
    QByteArray linesData;
    QByteArray suggestionsData;
    QString summary;
    QString archiveFile;
    QString outcome;
    QString outcomeNote;
    bool reviewedForImprovement = false;
    // Why the last improvement runs could not analyse this call (the model's or the reply's
    // failure text), and how many runs in a row failed for that same reason. Empty and 0 once an
    // analysis went through, or when the user asks for the call again.
    QString improvementFailure;
    qint64 improvementFailures = 0;

    QList<CallLine> lines() const { return blob::decodeLines(linesData); }
    QList<CallSuggestion> suggestions() const { return blob::decodeSuggestions(suggestionsData); }
    CallOutcome outcomeValue() const { return callOutcome::parse(outcome); }
    // Whole minutes, truncated toward zero, and at least 1.
    qint64 durationMinutes() const;

    bool operator==(const Call&) const = default;
};

struct QAItem {
    QUuid id;
    QString question;
    QString answer;
    QString language;
    QString source; // "manual" or the UUID text of the call it came from
    QDateTime createdAt;
    QDateTime updatedAt;
    std::optional<QUuid> assistant;

    static QAItem make(const QString& question, const QString& answer, const QString& language, const QString& source);

    bool operator==(const QAItem&) const = default;
};

struct Proposal {
    QUuid id;
    QString kind;
    QString question;
    QString answer;
    QString language;
    QString targetQA;
    QString text;
    QString reason;
    QByteArray quotesData;
    QString status;
    QDateTime createdAt;
    std::optional<QDateTime> reviewedAt;
    std::optional<QUuid> assistant;

    static Proposal make(const ProposalDraft& draft);

    ProposalKind kindValue() const { return proposalKind::parse(kind); }
    QList<ProposalQuote> quotes() const { return blob::decodeQuotes(quotesData); }
    // Distinct call ids named by the quotes, in first-appearance order; unparsable ones skipped.
    QList<QUuid> quotedCallIDs() const;

    bool operator==(const Proposal&) const = default;
};
