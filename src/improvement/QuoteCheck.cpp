#include "improvement/QuoteCheck.h"

#include "common/Uuid.h"

#include <QHash>
#include <QSet>

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

// Steps shared by the quote and the words of a line: straight quotes, lower case, single spaces.
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

bool containsRun(const QStringList& words, const QStringList& run)
{
    if (run.size() > words.size()) {
        return false;
    }
    for (qsizetype start = 0; start + run.size() <= words.size(); ++start) {
        if (std::equal(run.begin(), run.end(), words.begin() + start)) {
            return true;
        }
    }
    return false;
}

bool fragmentsFound(const QStringList& pieces, const QList<Line>& lines)
{
    QList<QStringList> fragments;
    for (const QString& piece : pieces) {
        QStringList words = quoteWords(normalizeQuote(piece));
        if (!words.isEmpty()) {
            fragments.append(std::move(words));
        }
    }
    if (fragments.isEmpty()) {
        return false;
    }
    bool user = true;
    bool other = true;
    for (const QStringList& fragment : fragments) {
        bool inUser = false;
        bool inOther = false;
        for (const Line& line : lines) {
            // A fragment of one or two words says too little unless it is the whole line.
            if (line.words == fragment || (fragment.size() >= 3 && containsRun(line.words, fragment))) {
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
    // Composed form, so that "é" typed as "e" and a combining accent is the same word as "é".
    const QString folded = foldQuotes(text).normalized(QString::NormalizationForm_C);
    QStringList words;
    QString word;
    for (qsizetype i = 0; i < folded.size(); ++i) {
        char32_t c = folded[i].unicode();
        if (folded[i].isHighSurrogate() && i + 1 < folded.size() && folded[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(folded[i], folded[i + 1]);
            ++i;
        }
        const bool part = QChar::isLetterOrNumber(c)
            || (!word.isEmpty()
                && (QChar::category(c) == QChar::Mark_NonSpacing || QChar::category(c) == QChar::Mark_SpacingCombining
                    || QChar::category(c) == QChar::Mark_Enclosing));
        if (part) {
            word += QStringView(QChar::fromUcs4(c));
        } else if (!word.isEmpty()) {
            words.append(std::exchange(word, QString()));
        }
    }
    if (!word.isEmpty()) {
        words.append(word);
    }
    return words;
}

QList<Line> prepareLines(const QList<CallLine>& lines)
{
    QList<Line> prepared;
    prepared.reserve(lines.size());
    for (const CallLine& line : lines) {
        prepared.append(Line { quoteWords(line.text), line.fromMe });
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

QList<ProposalDraft> validate(
    const QList<ProposalDraft>& drafts, const std::vector<Call>& calls, const std::vector<QAItem>& bank, const Log& log)
{
    QHash<QString, QList<Line>> linesByCall;
    for (const Call& call : calls) {
        linesByCall.insert(uuid::toText(call.id).toLower(), prepareLines(call.lines()));
    }
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
