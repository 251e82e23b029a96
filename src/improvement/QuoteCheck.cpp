#include "improvement/QuoteCheck.h"

#include "common/Uuid.h"

#include <QHash>
#include <QSet>
#include <QStringMatcher>

#include <algorithm>

namespace improvement {

namespace {

const QString ellipsis = QStringLiteral("...");

const QStringList& speakerLabels()
{
    static const QStringList labels { QStringLiteral("you:"), QStringLiteral("other person:"), QStringLiteral("other:"),
        QStringLiteral("você:"), QStringLiteral("outra pessoa:") };
    return labels;
}

bool isTrimmed(QChar c)
{
    return c == u'"' || c == u'\'' || c == QChar(0x00AB) || c == QChar(0x00BB) || c.isSpace();
}

QString trimQuoteMarks(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isTrimmed(text[begin])) {
        ++begin;
    }
    while (end > begin && isTrimmed(text[end - 1])) {
        --end;
    }
    return text.mid(begin, end - begin);
}

// The first steps of normalisation: straight quotes, lower case, single spaces.
QString foldQuotes(const QString& text)
{
    QString folded = text;
    for (QChar& c : folded) {
        if (c == QChar(0x201C) || c == QChar(0x201D)) {
            c = u'"';
        } else if (c == QChar(0x2018) || c == QChar(0x2019)) {
            c = u'\'';
        }
    }
    return folded.toLower().simplified();
}

// The words of a text joined by single spaces. Quote marks and spacing never belong to a word, so
// only case and composition matter here. Composed form, so that "é" typed as "e" and a combining
// accent is the same word as "é"; nothing below U+0300 can be decomposed.
QString joinedWords(const QString& text)
{
    const bool plain = std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x300; });
    const QString folded = (plain ? text : text.normalized(QString::NormalizationForm_C)).toLower();
    QString words;
    words.reserve(folded.size());
    bool inWord = false;
    for (qsizetype i = 0; i < folded.size(); ++i) {
        char32_t c = folded[i].unicode();
        const bool pair = folded[i].isHighSurrogate() && i + 1 < folded.size() && folded[i + 1].isLowSurrogate();
        if (pair) {
            c = QChar::surrogateToUcs4(folded[i], folded[i + 1]);
        }
        const QChar::Category category = QChar::category(c);
        const bool mark = category == QChar::Mark_NonSpacing || category == QChar::Mark_SpacingCombining
            || category == QChar::Mark_Enclosing;
        // A combining mark left after composition stays with the letter it follows.
        if (QChar::isLetterOrNumber(c) || (mark && inWord)) {
            if (!inWord && !words.isEmpty()) {
                words += u' ';
            }
            inWord = true;
            words += folded[i];
            if (pair) {
                words += folded[i + 1];
            }
        } else {
            inWord = false;
        }
        i += pair ? 1 : 0;
    }
    return words;
}

// The fragment's words as a run inside the line's, starting and ending at word boundaries.
bool containsRun(const QString& line, const QStringMatcher& run)
{
    const qsizetype length = run.pattern().size();
    if (line.size() <= length) {
        return false; // an equal line is not a run inside it
    }
    for (qsizetype at = run.indexIn(line); at >= 0; at = run.indexIn(line, at + 1)) {
        const qsizetype end = at + length;
        if ((at == 0 || line[at - 1] == u' ') && (end == line.size() || line[end] == u' ')) {
            return true;
        }
    }
    return false;
}

bool fragmentsFound(const QStringList& pieces, const QList<Line>& lines)
{
    QStringList fragments;
    for (const QString& piece : pieces) {
        QString words = joinedWords(normalizeQuote(piece));
        if (!words.isEmpty()) {
            fragments.append(std::move(words));
        }
    }
    if (fragments.isEmpty()) {
        return false;
    }
    bool user = true;
    bool other = true;
    for (const QString& run : fragments) {
        // A fragment of one or two words says too little unless it is the whole line.
        const bool inside = run.count(u' ') >= 2;
        const QStringMatcher matcher(run);
        bool inUser = false;
        bool inOther = false;
        for (const Line& line : lines) {
            if (line.words == run || (inside && containsRun(line.words, matcher))) {
                (line.fromMe ? inUser : inOther) = true;
                if (inUser && inOther) {
                    break;
                }
            }
        }
        user = user && inUser;
        other = other && inOther;
        if (!user && !other) {
            return false;
        }
    }
    return true;
}

} // namespace

QString normalizeQuote(const QString& text)
{
    QString normalized = trimQuoteMarks(foldQuotes(text));
    for (const QString& label : speakerLabels()) {
        if (normalized.startsWith(label)) {
            normalized.remove(0, label.size());
        }
    }
    return trimQuoteMarks(normalized);
}

QStringList quoteWords(const QString& text)
{
    return joinedWords(text).split(u' ', Qt::SkipEmptyParts);
}

QList<Line> prepareLines(const QList<CallLine>& lines)
{
    QList<Line> prepared;
    prepared.reserve(lines.size());
    for (const CallLine& line : lines) {
        prepared.append(Line { joinedWords(line.text), line.fromMe });
    }
    return prepared;
}

bool verifyQuote(const QString& text, const QList<Line>& lines)
{
    QString quote = text;
    quote.replace(QChar(0x2026), ellipsis);
    const QStringList pieces = quote.split(ellipsis);
    if (fragmentsFound(pieces, lines)) {
        return true;
    }
    return pieces.size() > 1 && fragmentsFound({ quote }, lines);
}

QString callKey(const QUuid& callID)
{
    return uuid::toText(callID).toLower();
}

QList<ProposalDraft> validate(
    const QList<ProposalDraft>& drafts, const std::vector<Call>& calls, const std::vector<QAItem>& bank, const Log& log)
{
    CallLines linesByCall;
    for (const Call& call : calls) {
        linesByCall.insert(callKey(call.id), prepareLines(call.lines()));
    }
    return validate(drafts, linesByCall, bank, log);
}

QList<ProposalDraft> validate(
    const QList<ProposalDraft>& drafts, const CallLines& linesByCall, const std::vector<QAItem>& bank, const Log& log)
{
    QSet<QUuid> bankIDs;
    for (const QAItem& item : bank) {
        bankIDs.insert(item.id);
    }
    QList<ProposalDraft> valid;
    for (const ProposalDraft& draft : drafts) {
        QList<ProposalQuote> passing;
        for (const ProposalQuote& quote : draft.quotes) {
            if (verifyQuote(quote.text, linesByCall.value(quote.callID.toLower()))) {
                passing.append(quote);
            } else if (log) {
                log(QStringLiteral("quote dropped: ") + quote.text);
            }
        }
        if (passing.isEmpty()) {
            continue;
        }
        ProposalDraft kept = draft;
        kept.quotes = std::move(passing);
        if (kept.kind == ProposalKind::newQA || kept.kind == ProposalKind::editQA) {
            if (kept.question.trimmed().isEmpty()) {
                continue;
            }
            // Ids are compared as UUIDs: a target written in lower case still names its item.
            const auto target = uuid::parse(kept.targetQA);
            if (kept.kind == ProposalKind::editQA && !(target && bankIDs.contains(*target))) {
                kept.kind = ProposalKind::newQA;
                kept.targetQA.clear();
            }
        } else if (kept.text.trimmed().isEmpty()) {
            continue;
        }
        valid.append(std::move(kept));
    }
    return valid;
}

} // namespace improvement
