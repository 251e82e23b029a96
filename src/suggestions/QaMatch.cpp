#include "suggestions/QaMatch.h"

#include "common/Text.h"
#include "model/Enums.h"

#include <QHash>
#include <QSet>

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
// Portuguese, as normalised words (lower case, no accents).
const QSet<QString>& functionWords()
{
    static const QSet<QString> words = [] {
        QSet<QString> set;
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
        for (const QString& word : QString::fromLatin1(table).split(u' ', Qt::SkipEmptyParts)) {
            set.insert(word);
        }
        return set;
    }();
    return words;
}

struct Term {
    QString stem;
    bool functionWord = false;
};

// The distinct stems of a text, in first-appearance order.
std::vector<Term> termsOf(const QString& text)
{
    std::vector<Term> terms;
    QSet<QString> seen;
    for (const QString& word : text::normalizedWords(text)) {
        const bool function = functionWords().contains(word);
        QString stem = function ? word : word.left(stemLength);
        if (!seen.contains(stem)) {
            seen.insert(stem);
            terms.push_back({ std::move(stem), function });
        }
    }
    return terms;
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
    const std::vector<Term> lineTerms = termsOf(question);
    if (lineTerms.empty()) {
        return std::nullopt;
    }
    std::vector<qsizetype> candidates;
    std::vector<std::vector<Term>> itemTerms;
    QHash<QString, int> documentFrequency;
    for (qsizetype i = 0; i < static_cast<qsizetype>(items.size()); ++i) {
        const QAItem& item = items[static_cast<size_t>(i)];
        if (item.question.trimmed().isEmpty() || item.answer.trimmed().isEmpty()) {
            continue;
        }
        std::vector<Term> terms = termsOf(item.question);
        for (const Term& term : terms) {
            ++documentFrequency[term.stem];
        }
        candidates.push_back(i);
        itemTerms.push_back(std::move(terms));
    }
    const double documents = static_cast<double>(candidates.size());
    const auto squaredWeight = [&](const Term& term) {
        const double rarity = std::log((documents + 1) / (documentFrequency.value(term.stem) + 0.5));
        const double weight = term.functionWord ? rarity * functionWordWeight : rarity;
        return weight * weight;
    };

    QHash<QString, double> lineWeights;
    double lineNorm = 0;
    for (const Term& term : lineTerms) {
        const double weight = squaredWeight(term);
        lineWeights.insert(term.stem, weight);
        lineNorm += weight;
    }
    lineNorm = std::sqrt(lineNorm);

    std::optional<Match> found;
    for (size_t c = 0; c < candidates.size(); ++c) {
        double shared = 0;
        double itemNorm = 0;
        for (const Term& term : itemTerms[c]) {
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
