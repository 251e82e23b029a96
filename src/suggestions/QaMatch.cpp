#include "suggestions/QaMatch.h"

#include "common/Text.h"
#include "records/Enums.h"

#include <QHash>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <vector>

namespace qaMatch {

namespace {

// Longer words are cut to this many characters: a crude stem that also meets across the two
// languages ("salary", "salário"; "integrate", "integração").
constexpr qsizetype stemLength = 5;
// How much a function word weighs against a content word of the same rarity: "tell me about"
// still tells "Tell me about yourself" from "When could you start?", but never outweighs a noun.
constexpr double functionWordWeight = 0.2;
// An item in the other language than the line's still answers it, but its twin in the line's
// language comes first.
constexpr double otherLanguageFactor = 0.8;

// Question words, pronouns, articles, auxiliaries and the openings of requests in English and
// Portuguese, as normalised words (lower case, no accents), sorted for a binary search.
const std::vector<QString>& functionWords()
{
    static const std::vector<QString> words = [] {
        const char* const table =
            "a an the and or but so if then than that this these those there here it its is are was were be been "
            "being am do does did done doing have has had having i me my mine we us our ours you your yours he him "
            "his she her they them their what which who whom whose when where why how can could would will shall "
            "should may might must to of in on at by for with from about as into over after before up down out off "
            "just really very some any all much many more most other such not no yes okay ok well um uh oh like also "
            "too tell say let s t d ll re ve m "
            "e o os as um uma uns umas de da do das dos em na no nas nos num numa ao aos que qual quais quem "
            "quando onde como quanto quanta quantos quantas por porque para pra pro com sem se te lhe voce voces eu "
            "ele ela eles elas gente seu sua seus suas meu minha nosso nossa isso isto esse essa este esta ja entao "
            "bom ta tem ter sao estao foi ser era ou mas nao sim mais muito pouco fala fale conta conte diz diga "
            "pode poderia";
        std::vector<QString> list;
        for (const QString& word : QString::fromLatin1(table).split(u' ', Qt::SkipEmptyParts)) {
            list.push_back(word);
        }
        std::sort(list.begin(), list.end());
        list.erase(std::unique(list.begin(), list.end()), list.end());
        return list;
    }();
    return words;
}

bool isFunctionWord(QStringView word)
{
    const std::vector<QString>& words = functionWords();
    const auto at = std::lower_bound(
        words.begin(), words.end(), word, [](const QString& a, QStringView b) { return QStringView(a) < b; });
    return at != words.end() && QStringView(*at) == word;
}

struct Term {
    QStringView stem; // into the text's folded copy
    bool functionWord = false;
};

// A text's distinct stems, in first-appearance order, over the folded copy it keeps. Words are
// split as text::normalizedWords splits them; this runs for every item of a bank on every line, so
// it works on views of one copy instead of a string per word.
struct Terms {
    QString folded;
    std::vector<Term> terms;

    explicit Terms(const QString& text)
    {
        const bool ascii = std::all_of(text.cbegin(), text.cend(), [](QChar ch) { return ch.unicode() < 0x80; });
        folded = ascii ? text.toLower() : text::foldDiacritics(text.toLower());
        const QStringView view(folded);
        qsizetype start = -1;
        for (qsizetype i = 0; i <= view.size(); ++i) {
            bool inWord = false;
            qsizetype width = 1;
            if (i < view.size()) {
                char32_t code = view[i].unicode();
                if (view[i].isHighSurrogate() && i + 1 < view.size() && view[i + 1].isLowSurrogate()) {
                    code = QChar::surrogateToUcs4(view[i], view[i + 1]);
                    width = 2;
                }
                inWord = code < 0x80 ? std::isalnum(static_cast<int>(code)) != 0 : QChar::isLetterOrNumber(code);
            }
            if (inWord && start < 0) {
                start = i;
            } else if (!inWord && start >= 0) {
                add(view.mid(start, i - start));
                start = -1;
            }
            i += width - 1;
        }
    }

private:
    void add(QStringView word)
    {
        const bool function = isFunctionWord(word);
        const QStringView stem = function ? word : word.left(stemLength);
        // A question has a handful of words: a scan beats a set.
        if (std::none_of(terms.begin(), terms.end(), [&](const Term& term) { return term.stem == stem; })) {
            terms.push_back({ stem, function });
        }
    }
};

bool isBlank(const QString& text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar ch) { return ch.isSpace(); });
}

std::optional<ReplyLanguage> itemLanguage(const QString& stored)
{
    if (stored == language::portuguese) {
        return ReplyLanguage::portuguese;
    }
    if (stored == language::english) {
        return ReplyLanguage::english;
    }
    return std::nullopt;
}

} // namespace

std::optional<Match> best(
    const QString& question, std::span<const QAItem> items, std::optional<ReplyLanguage> lineLanguage, double minimum)
{
    const Terms line(question);
    if (line.terms.empty()) {
        return std::nullopt;
    }
    std::vector<qsizetype> candidates;
    std::vector<Terms> itemTerms;
    candidates.reserve(items.size());
    itemTerms.reserve(items.size());
    QHash<QStringView, int> documentFrequency;
    for (qsizetype i = 0; i < static_cast<qsizetype>(items.size()); ++i) {
        const QAItem& item = items[static_cast<size_t>(i)];
        if (isBlank(item.question) || isBlank(item.answer)) {
            continue;
        }
        itemTerms.emplace_back(item.question);
        for (const Term& term : itemTerms.back().terms) {
            ++documentFrequency[term.stem];
        }
        candidates.push_back(i);
    }
    const double documents = static_cast<double>(candidates.size());
    const auto squaredWeight = [&](const Term& term) {
        const double rarity = std::log((documents + 1) / (documentFrequency.value(term.stem) + 0.5));
        const double weight = term.functionWord ? rarity * functionWordWeight : rarity;
        return weight * weight;
    };

    QHash<QStringView, double> lineWeights;
    double lineNorm = 0;
    for (const Term& term : line.terms) {
        const double weight = squaredWeight(term);
        lineWeights.insert(term.stem, weight);
        lineNorm += weight;
    }
    lineNorm = std::sqrt(lineNorm);

    std::optional<Match> found;
    for (size_t c = 0; c < candidates.size(); ++c) {
        double shared = 0;
        double itemNorm = 0;
        for (const Term& term : itemTerms[c].terms) {
            const double weight = squaredWeight(term);
            itemNorm += weight;
            if (lineWeights.contains(term.stem)) {
                shared += weight;
            }
        }
        if (shared <= 0 || itemNorm <= 0 || lineNorm <= 0) {
            continue;
        }
        const QAItem& item = items[static_cast<size_t>(candidates[c])];
        double score = shared / (lineNorm * std::sqrt(itemNorm));
        const std::optional<ReplyLanguage> language = itemLanguage(item.language);
        if (lineLanguage && language && *language != *lineLanguage) {
            score *= otherLanguageFactor;
        }
        if (score >= minimum && (!found || score > found->score)) {
            found = Match { item, score };
        }
    }
    return found;
}

} // namespace qaMatch
