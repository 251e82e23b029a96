#pragma once

#include "improvement/Improvement.h"
#include "records/Records.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <vector>

// The checks that keep a proposal from resting on a passage that was not said: every quote must be
// found, fragment by fragment, in lines of one speaker of the call it names. Their normalisation is
// their own (curly quotes, labels, runs of letters and digits), not the live path's word rule.
namespace improvement {

// One transcript line prepared for matching: its words joined by single spaces, so that a line
// costs one string however many words it has.
struct Line {
    QString words;
    bool fromMe = false;
};

// Each call's prepared lines under the lower-cased canonical text of its id.
using CallLines = QHash<QString, QList<Line>>;

// Straight quotes, lower case, single spaces, no surrounding quote marks and no leading speaker label.
QString normalizeQuote(const QString& text);
// The runs of letters and digits of a text, lower-cased and composed.
QStringList quoteWords(const QString& text);
QList<Line> prepareLines(const QList<CallLine>& lines);
QString callKey(const QUuid& callID);

// The quote, cut at "..." or "…", has every fragment in lines of one and the same speaker: equal to
// a whole line, or a run of at least three words inside one. A quote whose cut fragments fail is
// tried whole, since a line may hold "..." itself.
bool verifyQuote(const QString& text, const QList<Line>& lines);

// The drafts whose passing quotes remain, each with only those quotes; questions and texts must not
// be blank, and an editQA whose target is not in `bank` becomes a newQA without target. Each quote
// is checked against the call it names among `calls`. Order is kept.
QList<ProposalDraft> validate(const QList<ProposalDraft>& drafts, const std::vector<Call>& calls,
    const std::vector<QAItem>& bank, const Log& log);
// The same with the calls' lines prepared already.
QList<ProposalDraft> validate(
    const QList<ProposalDraft>& drafts, const CallLines& calls, const std::vector<QAItem>& bank, const Log& log);

} // namespace improvement
