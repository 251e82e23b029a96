#include "suggestions/LanguageIdentifier.h"

#include "common/Text.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

namespace languageIdentifier {

namespace {

// Entries that share a weight, separated by single spaces.
struct WeightedGroup {
    double weight;
    std::u16string_view entries;
};

// Words of everyday speech, lower case, with their lean: positive Portuguese, negative English.
// Function words that only one language has weigh 3, common words of one language 2, words both
// languages use in other senses 1 or 0 (a zero weight still keeps the word away from the letter
// sequences below). Portuguese words appear with and without accents, since some transcribers
// drop them.
constexpr WeightedGroup wordTable[] = {
    // Portuguese function words and pronouns.
    { 3,
        u"não nao você voce vocês voces é os um uma uns umas de das dos nas num numa ao aos à às "
        u"que quê quem qual quais quando onde quanto quanta quantos quantas isso isto esse essa "
        u"esses essas este esta aquele aquela aquilo ele ela eles elas eu meu minha meus minhas "
        u"seu sua seus suas nosso nossa nossos nossas dele dela gente te se lhe por para pra com "
        u"sem até sobre desde mas ou nem né pois porque então entao também tambem mais menos muito "
        u"muita muitos muitas pouco bem tudo toda todos todas alguém ninguém alguma algum outro "
        u"outra mesmo mesma já ainda agora aqui lá hoje amanhã ontem depois sempre nunca só assim "
        u"aí sim oi olá tchau daqui dessa desse disso nessa nesse nisso pelo pela tão" },
    { 2, u"e o da na nos como em entre todo nada algo cada ja antes" },
    { 1, u"pro ali ai tao" },
    // Portuguese verbs of everyday speech.
    { 3,
        u"tem têm tenho temos tinha teve sou somos são foi fui está estou estamos estão estava tá "
        u"tô vai vou vamos vão fazer faz fez faço pode posso podemos poderia consegue consigo "
        u"conseguiu quero queria quer acho acha achei sei sabe deixa dá deu falar fala falou manda "
        u"mandar precisa preciso precisamos gostei gosto ficou fica viu vejo entendi entendo "
        u"acredito seria funciona trabalha trabalhar começar dizer disse diz" },
    { 2, u"ter ser ta ir dar conta ver seguir" },
    { 1, u"era" },
    // Portuguese words of calls: greetings, answers, days, time, work.
    { 3,
        u"obrigado obrigada valeu beleza ótimo combinado desculpa bom boa noite semana mês coisa "
        u"pessoa pessoal pessoas trabalho empresa proposta prazo preço reunião segunda terça "
        u"quarta quinta sexta sábado domingo vez dois duas três quatro cinco seis dez vinte trinta "
        u"sério" },
    { 2, u"certo claro perfeito otimo fechado dia tarde ano hora tempo cliente" },
    { 1, u"legal mil" },
    // Words both languages write, in different senses.
    { 0,
        u"a do no me as ate time ok okay real data email e-mail feedback show online link demo "
        u"login app site software hmm uh ah oh" },
    // English function words and pronouns.
    { -3,
        u"the you your yours is are was were be been being have has had i it its this that these "
        u"those what who whom whose which when where why how there their they them we our he she "
        u"his her him my mine and or but if of in on at with from by about into out up down over "
        u"after before than then just also very really not yes yeah to too all any anything some "
        u"something everything nothing much many one two three four five first last next new now "
        u"here today tomorrow yesterday week month year else again still already maybe please "
        u"sorry thanks thank hello bye" },
    { -2, u"us so for more six ten hi" },
    // English verbs of everyday speech, with their contractions.
    { -3,
        u"does did done don't doesn't didn't isn't aren't wasn't won't can't i'm i'll i'd i've "
        u"it's that's what's let's we're we'll you're there's can could would should will shall "
        u"might must get got go going let make makes made take think know see want need like say "
        u"said tell give work works agree mean sounds hear send look looks happen happened" },
    { -2, u"may sound start decide decides" },
    { -1, u"come" },
    // English words of calls: answers, greetings, time, work.
    { -3,
        u"well good great sure right enough exactly absolutely awesome nice morning afternoon "
        u"evening welcome people monday tuesday wednesday thursday friday saturday sunday "
        u"questions way thing day side" },
    { -2, u"fine fair course perfect cool price question wait" },
    { -1, u"meeting call team deadline budget" },
};

// Letter sequences that give a word away when the word table does not know it: "^" marks the
// start and "$" the end of the word. Accented vowels, "ç", "nh" and "lh" and the Portuguese endings
// on one side; "th", "w", "k", "y", "-ing", "-ly", consonant endings and initial "s" clusters,
// which Portuguese does not write, on the other.
constexpr WeightedGroup sequenceTable[] = {
    { 2.5, u"ã õ ç" },
    { 2, u"á é í ó ú â ê ô à" },
    { 1.5, u"lh iu$ oes$ cao$" },
    { 1.2, u"nh ndo$ eu$" },
    { 1, u"ado$ ada$ ido$ ei$ ui$ ção ões eiro eira" },
    { 0.8, u"nte$ ida$ os$ z$ zer$" },
    { 0.6, u"ir$ a$ o$" },
    { 0.5, u"ade$ ar$ ou$ ei ^es" },
    { 0.3, u"as$ em$ im$ am$" },
    { 0.2, u"qu" },
    { -0.6, u"ea" },
    { -0.8, u"k y ll b$ c$ d$ f$ g$ h$ k$ p$ t$ v$ ph" },
    { -1, u"w ck ee oo ed$ ss$ nd$ nt$ st$ rd$ ct$ ft$ ld$ lt$ dge ^sc ^sp ^st ^sk ^sm ^sn ^sl ^sw" },
    { -1.2, u"sh ly$" },
    { -1.5, u"th wh ght ing$ tion" },
    { -2, u"'s$ 't$ 'm$ 'll 're 've 'd$" },
};

// What letter sequences may say about one word, so that one long unknown word cannot outweigh
// the known words around it.
constexpr double maxSequenceEvidence = 2.5;
// A capitalised word inside a sentence that the table does not know is most likely a name, and a
// name says little about the language around it.
constexpr double nameFactor = 0.25;
constexpr qsizetype longestSequence = 4;
// Less evidence than this is none: the weights are decimals, and their sums round.
constexpr double noLean = 0.05;

// Up to four UTF-16 units in one number, for the sequence lookups.
constexpr std::uint64_t sequenceKey(std::u16string_view text)
{
    std::uint64_t key = 0;
    for (const char16_t unit : text) {
        key = (key << 16) | unit;
    }
    return key;
}

template <typename Action> constexpr void forEachEntry(const WeightedGroup& group, Action action)
{
    std::u16string_view rest = group.entries;
    while (!rest.empty()) {
        const size_t space = rest.find(u' ');
        action(rest.substr(0, space), group.weight);
        rest = space == std::u16string_view::npos ? std::u16string_view() : rest.substr(space + 1);
    }
}

// Sequences are looked up as numbers of at most four units.
constexpr bool sequencesFitTheirKeys()
{
    bool fit = true;
    for (const WeightedGroup& group : sequenceTable) {
        forEachEntry(group, [&fit](std::u16string_view sequence, double) {
            fit = fit && sequence.size() <= static_cast<size_t>(longestSequence);
        });
    }
    return fit;
}
static_assert(sequencesFitTheirKeys());

struct Tables {
    std::unordered_map<std::u16string_view, double> words;
    std::unordered_map<std::uint64_t, double> sequences;

    Tables()
    {
        for (const WeightedGroup& group : wordTable) {
            forEachEntry(group, [this](std::u16string_view word, double weight) { words.emplace(word, weight); });
        }
        for (const WeightedGroup& group : sequenceTable) {
            forEachEntry(group, [this](std::u16string_view sequence, double weight) {
                sequences.emplace(sequenceKey(sequence), weight);
            });
        }
    }
};

const Tables& tables()
{
    static const Tables made;
    return made;
}

double sequenceEvidence(const Tables& known, std::u16string_view word)
{
    // The word between its start and end marks.
    std::u16string marked;
    marked.reserve(word.size() + 2);
    marked += u'^';
    marked += word;
    marked += u'$';
    double sum = 0;
    const auto size = static_cast<qsizetype>(marked.size());
    for (qsizetype start = 0; start < size; ++start) {
        for (qsizetype length = 1; length <= longestSequence && start + length <= size; ++length) {
            const auto found = known.sequences.find(sequenceKey(
                std::u16string_view(marked).substr(static_cast<size_t>(start), static_cast<size_t>(length))));
            if (found != known.sequences.end()) {
                sum += found->second;
            }
        }
    }
    return std::clamp(sum, -maxSequenceEvidence, maxSequenceEvidence);
}

bool isApostrophe(QChar c)
{
    return c == u'\'' || c == u'\u2019';
}

bool endsClause(QStringView text, qsizetype at)
{
    static constexpr std::u16string_view marks = u".?!…;:,";
    if (marks.find(text.at(at).unicode()) == std::u16string_view::npos) {
        return false;
    }
    // "3.5", "10:30" and "3,5" stay in one clause.
    return at + 1 >= text.size() || !text.at(at + 1).isLetterOrNumber();
}

// Calls `word(lowered, atClauseStart, capitalised, allCapitals)` for each word of `text`, a word
// being letters with apostrophes between them; digits and other signs separate words.
template <typename WordFunction> void forEachWord(QStringView text, WordFunction word)
{
    std::u16string lowered;
    bool atClauseStart = true;
    qsizetype at = 0;
    while (at < text.size()) {
        if (!text.at(at).isLetter()) {
            if (text.at(at).isNumber() || endsClause(text, at)) {
                atClauseStart = !text.at(at).isNumber();
            }
            ++at;
            continue;
        }
        lowered.clear();
        const bool capitalised = text.at(at).isUpper();
        bool allCapitals = true;
        qsizetype letters = 0;
        while (at < text.size()
            && (text.at(at).isLetter()
                || (isApostrophe(text.at(at)) && at + 1 < text.size() && text.at(at + 1).isLetter()))) {
            const QChar c = text.at(at);
            if (c.isLetter()) {
                allCapitals = allCapitals && c.isUpper();
                ++letters;
            }
            lowered += isApostrophe(c) ? u'\'' : c.toLower().unicode();
            ++at;
        }
        word(std::u16string_view(lowered), atClauseStart, capitalised, allCapitals && letters > 1);
        atClauseStart = false;
    }
}

} // namespace

double evidence(QStringView text)
{
    const Tables& known = tables();
    double sum = 0;
    forEachWord(text, [&](std::u16string_view word, bool atClauseStart, bool capitalised, bool allCapitals) {
        const auto found = known.words.find(word);
        if (found != known.words.end()) {
            sum += found->second;
        } else if (!allCapitals) {
            // Acronyms ("NDA", "API") are skipped; they are shared by both languages.
            const double leaning = sequenceEvidence(known, word);
            sum += capitalised && !atClauseStart ? leaning * nameFactor : leaning;
        }
    });
    return sum;
}

std::optional<ReplyLanguage> identify(QStringView text, const QStringList& earlierLines)
{
    const QString line = text.toString();
    if (!text::hasLetterOrDigit(line)) {
        // Nothing to weigh, whatever came before.
        return std::nullopt;
    }
    const auto settled = [](double total) { return std::abs(total) >= enoughEvidence; };
    double total = 0;
    qsizetype clauseEnd = text.size();
    for (qsizetype at = text.size() - 1; at >= -1; --at) {
        if (at == -1 || endsClause(text, at)) {
            total += evidence(text.sliced(at + 1, clauseEnd - at - 1));
            clauseEnd = at;
            if (settled(total)) {
                break;
            }
        }
    }
    for (qsizetype i = earlierLines.size() - 1; i >= 0 && i >= earlierLines.size() - maxEarlierLines && !settled(total);
         --i) {
        total += evidence(earlierLines.at(i));
    }
    if (std::abs(total) < noLean) {
        // Only names, numbers and words both languages write; rounding must not pick a side.
        return std::nullopt;
    }
    return total > 0 ? ReplyLanguage::portuguese : ReplyLanguage::english;
}

} // namespace languageIdentifier
