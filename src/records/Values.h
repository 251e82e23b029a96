#pragma once

#include "records/Enums.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QUuid>

// Plain values stored inside record blobs, compared field by field.

struct CallLine {
    bool fromMe = false;
    QString text;
    QDateTime date;

    bool operator==(const CallLine&) const = default;
};

struct CallSuggestion {
    QString text;
    QDateTime date;
    // Set for an answer shown from the Q&A bank: the item's question. Stored as the members "source"
    // ("answers") and "question", which readers of the plain shape pass over.
    QString preparedQuestion {};

    bool operator==(const CallSuggestion&) const = default;
};

struct ProposalQuote {
    QString callID;
    QString text;

    bool operator==(const ProposalQuote&) const = default;
};

// The input from which a Proposal is made; not stored by itself.
struct ProposalDraft {
    ProposalKind kind = ProposalKind::newQA;
    QString question;
    QString answer;
    QString language;
    QString targetQA;
    QString text;
    QString reason;
    QList<ProposalQuote> quotes;

    bool operator==(const ProposalDraft&) const = default;
};

// Blob encodings: one compact UTF-8 JSON array of objects; dates as seconds since
// 2001-01-01 UTC. Decoding never fails: anything malformed reads as the empty list.
namespace blob {
QByteArray encodeLines(const QList<CallLine>& lines);
QList<CallLine> decodeLines(const QByteArray& data);
QByteArray encodeSuggestions(const QList<CallSuggestion>& suggestions);
QList<CallSuggestion> decodeSuggestions(const QByteArray& data);
QByteArray encodeQuotes(const QList<ProposalQuote>& quotes);
QList<ProposalQuote> decodeQuotes(const QByteArray& data);
} // namespace blob
