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

struct Weighted {
    std::u16string_view text;
    double weight;
};

// Words of everyday speech, lower case, with their lean: positive Portuguese, negative English.
// Function words that only one language has weigh 3, common words of one language 2, words both
// languages use in other senses 1 or 0 (a zero weight still keeps the word away from the letter
// sequences below). Portuguese words appear with and without accents, since some transcribers
// drop them.
constexpr Weighted wordTable[] = {
    // Portuguese function words and pronouns.
    { u"não", 3 },
    { u"nao", 3 },
    { u"você", 3 },
    { u"voce", 3 },
    { u"vocês", 3 },
    { u"voces", 3 },
    { u"é", 3 },
    { u"e", 2 },
    { u"o", 2 },
    { u"os", 3 },
    { u"um", 3 },
    { u"uma", 3 },
    { u"uns", 3 },
    { u"umas", 3 },
    { u"de", 3 },
    { u"da", 2 },
    { u"das", 3 },
    { u"dos", 3 },
    { u"na", 2 },
    { u"nas", 3 },
    { u"nos", 2 },
    { u"num", 3 },
    { u"numa", 3 },
    { u"ao", 3 },
    { u"aos", 3 },
    { u"à", 3 },
    { u"às", 3 },
    { u"que", 3 },
    { u"quê", 3 },
    { u"quem", 3 },
    { u"qual", 3 },
    { u"quais", 3 },
    { u"quando", 3 },
    { u"onde", 3 },
    { u"como", 2 },
    { u"quanto", 3 },
    { u"quanta", 3 },
    { u"quantos", 3 },
    { u"quantas", 3 },
    { u"isso", 3 },
    { u"isto", 3 },
    { u"esse", 3 },
    { u"essa", 3 },
    { u"esses", 3 },
    { u"essas", 3 },
    { u"este", 3 },
    { u"esta", 3 },
    { u"aquele", 3 },
    { u"aquela", 3 },
    { u"aquilo", 3 },
    { u"ele", 3 },
    { u"ela", 3 },
    { u"eles", 3 },
    { u"elas", 3 },
    { u"eu", 3 },
    { u"meu", 3 },
    { u"minha", 3 },
    { u"meus", 3 },
    { u"minhas", 3 },
    { u"seu", 3 },
    { u"sua", 3 },
    { u"seus", 3 },
    { u"suas", 3 },
    { u"nosso", 3 },
    { u"nossa", 3 },
    { u"nossos", 3 },
    { u"nossas", 3 },
    { u"dele", 3 },
    { u"dela", 3 },
    { u"gente", 3 },
    { u"te", 3 },
    { u"se", 3 },
    { u"lhe", 3 },
    { u"em", 2 },
    { u"por", 3 },
    { u"para", 3 },
    { u"pra", 3 },
    { u"pro", 1 },
    { u"com", 3 },
    { u"sem", 3 },
    { u"até", 3 },
    { u"sobre", 3 },
    { u"entre", 2 },
    { u"desde", 3 },
    { u"mas", 3 },
    { u"ou", 3 },
    { u"nem", 3 },
    { u"né", 3 },
    { u"pois", 3 },
    { u"porque", 3 },
    { u"então", 3 },
    { u"entao", 3 },
    { u"também", 3 },
    { u"tambem", 3 },
    { u"mais", 3 },
    { u"menos", 3 },
    { u"muito", 3 },
    { u"muita", 3 },
    { u"muitos", 3 },
    { u"muitas", 3 },
    { u"pouco", 3 },
    { u"bem", 3 },
    { u"tudo", 3 },
    { u"todo", 2 },
    { u"toda", 3 },
    { u"todos", 3 },
    { u"todas", 3 },
    { u"nada", 2 },
    { u"algo", 2 },
    { u"alguém", 3 },
    { u"ninguém", 3 },
    { u"alguma", 3 },
    { u"algum", 3 },
    { u"cada", 2 },
    { u"outro", 3 },
    { u"outra", 3 },
    { u"mesmo", 3 },
    { u"mesma", 3 },
    { u"já", 3 },
    { u"ja", 2 },
    { u"ainda", 3 },
    { u"agora", 3 },
    { u"aqui", 3 },
    { u"ali", 1 },
    { u"lá", 3 },
    { u"hoje", 3 },
    { u"amanhã", 3 },
    { u"ontem", 3 },
    { u"depois", 3 },
    { u"antes", 2 },
    { u"sempre", 3 },
    { u"nunca", 3 },
    { u"só", 3 },
    { u"assim", 3 },
    { u"aí", 3 },
    { u"ai", 1 },
    { u"sim", 3 },
    { u"oi", 3 },
    { u"olá", 3 },
    { u"tchau", 3 },
    { u"daqui", 3 },
    { u"dessa", 3 },
    { u"desse", 3 },
    { u"disso", 3 },
    { u"nessa", 3 },
    { u"nesse", 3 },
    { u"nisso", 3 },
    { u"pelo", 3 },
    { u"pela", 3 },
    { u"tão", 3 },
    { u"tao", 1 },
    // Portuguese verbs of everyday speech.
    { u"tem", 3 },
    { u"têm", 3 },
    { u"ter", 2 },
    { u"tenho", 3 },
    { u"temos", 3 },
    { u"tinha", 3 },
    { u"teve", 3 },
    { u"ser", 2 },
    { u"sou", 3 },
    { u"somos", 3 },
    { u"são", 3 },
    { u"foi", 3 },
    { u"fui", 3 },
    { u"era", 1 },
    { u"está", 3 },
    { u"estou", 3 },
    { u"estamos", 3 },
    { u"estão", 3 },
    { u"estava", 3 },
    { u"tá", 3 },
    { u"ta", 2 },
    { u"tô", 3 },
    { u"vai", 3 },
    { u"vou", 3 },
    { u"vamos", 3 },
    { u"vão", 3 },
    { u"ir", 2 },
    { u"fazer", 3 },
    { u"faz", 3 },
    { u"fez", 3 },
    { u"faço", 3 },
    { u"pode", 3 },
    { u"posso", 3 },
    { u"podemos", 3 },
    { u"poderia", 3 },
    { u"consegue", 3 },
    { u"consigo", 3 },
    { u"conseguiu", 3 },
    { u"quero", 3 },
    { u"queria", 3 },
    { u"quer", 3 },
    { u"acho", 3 },
    { u"acha", 3 },
    { u"achei", 3 },
    { u"sei", 3 },
    { u"sabe", 3 },
    { u"deixa", 3 },
    { u"dá", 3 },
    { u"dar", 2 },
    { u"deu", 3 },
    { u"falar", 3 },
    { u"fala", 3 },
    { u"falou", 3 },
    { u"conta", 2 },
    { u"manda", 3 },
    { u"mandar", 3 },
    { u"precisa", 3 },
    { u"preciso", 3 },
    { u"precisamos", 3 },
    { u"gostei", 3 },
    { u"gosto", 3 },
    { u"ficou", 3 },
    { u"fica", 3 },
    { u"ver", 2 },
    { u"viu", 3 },
    { u"vejo", 3 },
    { u"entendi", 3 },
    { u"entendo", 3 },
    { u"acredito", 3 },
    { u"seria", 3 },
    { u"funciona", 3 },
    { u"trabalha", 3 },
    { u"trabalhar", 3 },
    { u"começar", 3 },
    { u"seguir", 2 },
    { u"dizer", 3 },
    { u"disse", 3 },
    { u"diz", 3 },
    // Portuguese words of calls: greetings, answers, days, time, work.
    { u"obrigado", 3 },
    { u"obrigada", 3 },
    { u"valeu", 3 },
    { u"beleza", 3 },
    { u"certo", 2 },
    { u"claro", 2 },
    { u"perfeito", 2 },
    { u"ótimo", 3 },
    { u"otimo", 2 },
    { u"combinado", 3 },
    { u"fechado", 2 },
    { u"desculpa", 3 },
    { u"legal", 1 },
    { u"bom", 3 },
    { u"boa", 3 },
    { u"dia", 2 },
    { u"tarde", 2 },
    { u"noite", 3 },
    { u"semana", 3 },
    { u"mês", 3 },
    { u"ano", 2 },
    { u"hora", 2 },
    { u"tempo", 2 },
    { u"coisa", 3 },
    { u"pessoa", 3 },
    { u"pessoal", 3 },
    { u"pessoas", 3 },
    { u"trabalho", 3 },
    { u"empresa", 3 },
    { u"cliente", 2 },
    { u"proposta", 3 },
    { u"prazo", 3 },
    { u"preço", 3 },
    { u"reunião", 3 },
    { u"segunda", 3 },
    { u"terça", 3 },
    { u"quarta", 3 },
    { u"quinta", 3 },
    { u"sexta", 3 },
    { u"sábado", 3 },
    { u"domingo", 3 },
    { u"vez", 3 },
    { u"dois", 3 },
    { u"duas", 3 },
    { u"três", 3 },
    { u"quatro", 3 },
    { u"cinco", 3 },
    { u"seis", 3 },
    { u"dez", 3 },
    { u"vinte", 3 },
    { u"trinta", 3 },
    { u"mil", 1 },
    { u"sério", 3 },
    // Words both languages write, in different senses.
    { u"a", 0 },
    { u"do", 0 },
    { u"no", 0 },
    { u"me", 0 },
    { u"as", 0 },
    { u"ate", 0 },
    { u"time", 0 },
    { u"ok", 0 },
    { u"okay", 0 },
    { u"real", 0 },
    { u"data", 0 },
    { u"email", 0 },
    { u"e-mail", 0 },
    { u"feedback", 0 },
    { u"show", 0 },
    { u"online", 0 },
    { u"link", 0 },
    { u"demo", 0 },
    { u"login", 0 },
    { u"app", 0 },
    { u"site", 0 },
    { u"software", 0 },
    { u"hmm", 0 },
    { u"uh", 0 },
    { u"ah", 0 },
    { u"oh", 0 },
    // English function words and pronouns.
    { u"the", -3 },
    { u"you", -3 },
    { u"your", -3 },
    { u"yours", -3 },
    { u"is", -3 },
    { u"are", -3 },
    { u"was", -3 },
    { u"were", -3 },
    { u"be", -3 },
    { u"been", -3 },
    { u"being", -3 },
    { u"have", -3 },
    { u"has", -3 },
    { u"had", -3 },
    { u"i", -3 },
    { u"it", -3 },
    { u"its", -3 },
    { u"this", -3 },
    { u"that", -3 },
    { u"these", -3 },
    { u"those", -3 },
    { u"what", -3 },
    { u"who", -3 },
    { u"whom", -3 },
    { u"whose", -3 },
    { u"which", -3 },
    { u"when", -3 },
    { u"where", -3 },
    { u"why", -3 },
    { u"how", -3 },
    { u"there", -3 },
    { u"their", -3 },
    { u"they", -3 },
    { u"them", -3 },
    { u"we", -3 },
    { u"our", -3 },
    { u"us", -2 },
    { u"he", -3 },
    { u"she", -3 },
    { u"his", -3 },
    { u"her", -3 },
    { u"him", -3 },
    { u"my", -3 },
    { u"mine", -3 },
    { u"and", -3 },
    { u"or", -3 },
    { u"but", -3 },
    { u"if", -3 },
    { u"of", -3 },
    { u"in", -3 },
    { u"on", -3 },
    { u"at", -3 },
    { u"with", -3 },
    { u"from", -3 },
    { u"by", -3 },
    { u"about", -3 },
    { u"into", -3 },
    { u"out", -3 },
    { u"up", -3 },
    { u"down", -3 },
    { u"over", -3 },
    { u"after", -3 },
    { u"before", -3 },
    { u"than", -3 },
    { u"then", -3 },
    { u"just", -3 },
    { u"also", -3 },
    { u"very", -3 },
    { u"really", -3 },
    { u"not", -3 },
    { u"yes", -3 },
    { u"yeah", -3 },
    { u"so", -2 },
    { u"to", -3 },
    { u"for", -2 },
    { u"too", -3 },
    { u"all", -3 },
    { u"any", -3 },
    { u"anything", -3 },
    { u"some", -3 },
    { u"something", -3 },
    { u"everything", -3 },
    { u"nothing", -3 },
    { u"more", -2 },
    { u"much", -3 },
    { u"many", -3 },
    { u"one", -3 },
    { u"two", -3 },
    { u"three", -3 },
    { u"four", -3 },
    { u"five", -3 },
    { u"six", -2 },
    { u"ten", -2 },
    { u"first", -3 },
    { u"last", -3 },
    { u"next", -3 },
    { u"new", -3 },
    { u"now", -3 },
    { u"here", -3 },
    { u"today", -3 },
    { u"tomorrow", -3 },
    { u"yesterday", -3 },
    { u"week", -3 },
    { u"month", -3 },
    { u"year", -3 },
    { u"else", -3 },
    { u"again", -3 },
    { u"still", -3 },
    { u"already", -3 },
    { u"maybe", -3 },
    { u"please", -3 },
    { u"sorry", -3 },
    { u"thanks", -3 },
    { u"thank", -3 },
    { u"hello", -3 },
    { u"hi", -2 },
    { u"bye", -3 },
    // English verbs of everyday speech, with their contractions.
    { u"do", 0 },
    { u"does", -3 },
    { u"did", -3 },
    { u"done", -3 },
    { u"don't", -3 },
    { u"doesn't", -3 },
    { u"didn't", -3 },
    { u"isn't", -3 },
    { u"aren't", -3 },
    { u"wasn't", -3 },
    { u"won't", -3 },
    { u"can't", -3 },
    { u"i'm", -3 },
    { u"i'll", -3 },
    { u"i'd", -3 },
    { u"i've", -3 },
    { u"it's", -3 },
    { u"that's", -3 },
    { u"what's", -3 },
    { u"let's", -3 },
    { u"we're", -3 },
    { u"we'll", -3 },
    { u"you're", -3 },
    { u"there's", -3 },
    { u"can", -3 },
    { u"could", -3 },
    { u"would", -3 },
    { u"should", -3 },
    { u"will", -3 },
    { u"shall", -3 },
    { u"may", -2 },
    { u"might", -3 },
    { u"must", -3 },
    { u"get", -3 },
    { u"got", -3 },
    { u"go", -3 },
    { u"going", -3 },
    { u"let", -3 },
    { u"make", -3 },
    { u"makes", -3 },
    { u"made", -3 },
    { u"take", -3 },
    { u"think", -3 },
    { u"know", -3 },
    { u"see", -3 },
    { u"want", -3 },
    { u"need", -3 },
    { u"like", -3 },
    { u"say", -3 },
    { u"said", -3 },
    { u"tell", -3 },
    { u"give", -3 },
    { u"work", -3 },
    { u"works", -3 },
    { u"agree", -3 },
    { u"mean", -3 },
    { u"sounds", -3 },
    { u"sound", -2 },
    { u"hear", -3 },
    { u"send", -3 },
    { u"start", -2 },
    { u"come", -1 },
    { u"look", -3 },
    { u"looks", -3 },
    { u"happen", -3 },
    { u"happened", -3 },
    { u"decide", -2 },
    { u"decides", -2 },
    // English words of calls: answers, greetings, time, work.
    { u"well", -3 },
    { u"good", -3 },
    { u"great", -3 },
    { u"sure", -3 },
    { u"right", -3 },
    { u"fine", -2 },
    { u"fair", -2 },
    { u"enough", -3 },
    { u"exactly", -3 },
    { u"absolutely", -3 },
    { u"course", -2 },
    { u"perfect", -2 },
    { u"awesome", -3 },
    { u"nice", -3 },
    { u"cool", -2 },
    { u"morning", -3 },
    { u"afternoon", -3 },
    { u"evening", -3 },
    { u"welcome", -3 },
    { u"meeting", -1 },
    { u"call", -1 },
    { u"team", -1 },
    { u"deadline", -1 },
    { u"budget", -1 },
    { u"people", -3 },
    { u"price", -2 },
    { u"monday", -3 },
    { u"tuesday", -3 },
    { u"wednesday", -3 },
    { u"thursday", -3 },
    { u"friday", -3 },
    { u"saturday", -3 },
    { u"sunday", -3 },
    { u"questions", -3 },
    { u"question", -2 },
    { u"way", -3 },
    { u"thing", -3 },
    { u"day", -3 },
    { u"side", -3 },
    { u"wait", -2 },
};

// Letter sequences that give a word away when the word table does not know it: "^" marks the
// start and "$" the end of the word. Accented vowels, "ç", "nh" and "lh" and the Portuguese endings
// on one side; "th", "w", "k", "y", "-ing", "-ly", consonant endings and initial "s" clusters,
// which Portuguese does not write, on the other.
constexpr Weighted sequenceTable[] = {
    { u"ã", 2.5 },
    { u"õ", 2.5 },
    { u"ç", 2.5 },
    { u"á", 2 },
    { u"é", 2 },
    { u"í", 2 },
    { u"ó", 2 },
    { u"ú", 2 },
    { u"â", 2 },
    { u"ê", 2 },
    { u"ô", 2 },
    { u"à", 2 },
    { u"nh", 1.2 },
    { u"lh", 1.5 },
    { u"ade$", 0.5 },
    { u"nte$", 0.8 },
    { u"ar$", 0.5 },
    { u"ir$", 0.6 },
    { u"ado$", 1 },
    { u"ada$", 1 },
    { u"ido$", 1 },
    { u"ida$", 0.8 },
    { u"ndo$", 1.2 },
    { u"os$", 0.8 },
    { u"as$", 0.3 },
    { u"a$", 0.6 },
    { u"o$", 0.6 },
    { u"em$", 0.3 },
    { u"im$", 0.3 },
    { u"ei$", 1 },
    { u"ou$", 0.5 },
    { u"am$", 0.3 },
    { u"eu$", 1.2 },
    { u"iu$", 1.5 },
    { u"ui$", 1 },
    { u"z$", 0.8 },
    { u"zer$", 0.8 },
    { u"ei", 0.5 },
    { u"qu", 0.2 },
    { u"^es", 0.5 },
    { u"ção", 1 },
    { u"ões", 1 },
    { u"eiro", 1 },
    { u"eira", 1 },
    { u"oes$", 1.5 },
    { u"cao$", 1.5 },
    { u"th", -1.5 },
    { u"wh", -1.5 },
    { u"sh", -1.2 },
    { u"w", -1 },
    { u"k", -0.8 },
    { u"y", -0.8 },
    { u"ck", -1 },
    { u"ee", -1 },
    { u"oo", -1 },
    { u"ea", -0.6 },
    { u"ght", -1.5 },
    { u"ing$", -1.5 },
    { u"ed$", -1 },
    { u"ly$", -1.2 },
    { u"tion", -1.5 },
    { u"ss$", -1 },
    { u"ll", -0.8 },
    { u"nd$", -1 },
    { u"nt$", -1 },
    { u"st$", -1 },
    { u"rd$", -1 },
    { u"ct$", -1 },
    { u"ft$", -1 },
    { u"ld$", -1 },
    { u"lt$", -1 },
    { u"b$", -0.8 },
    { u"c$", -0.8 },
    { u"d$", -0.8 },
    { u"f$", -0.8 },
    { u"g$", -0.8 },
    { u"h$", -0.8 },
    { u"k$", -0.8 },
    { u"p$", -0.8 },
    { u"t$", -0.8 },
    { u"v$", -0.8 },
    { u"dge", -1 },
    { u"ph", -0.8 },
    { u"^sc", -1 },
    { u"^sp", -1 },
    { u"^st", -1 },
    { u"^sk", -1 },
    { u"^sm", -1 },
    { u"^sn", -1 },
    { u"^sl", -1 },
    { u"^sw", -1 },
    { u"'s$", -2 },
    { u"'t$", -2 },
    { u"'m$", -2 },
    { u"'ll", -2 },
    { u"'re", -2 },
    { u"'ve", -2 },
    { u"'d$", -2 },
};

// What letter sequences may say about one word, so that one long unknown word cannot outweigh
// the known words around it.
constexpr double maxSequenceEvidence = 2.5;
// A capitalised word inside a sentence that the table does not know is most likely a name, and a
// name says little about the language around it.
constexpr double nameFactor = 0.25;
constexpr qsizetype longestSequence = 4;

// Up to four UTF-16 units in one number, for the sequence lookups.
constexpr std::uint64_t sequenceKey(std::u16string_view text)
{
    std::uint64_t key = 0;
    for (const char16_t unit : text) {
        key = (key << 16) | unit;
    }
    return key;
}

struct Tables {
    std::unordered_map<std::u16string_view, double> words;
    std::unordered_map<std::uint64_t, double> sequences;

    Tables()
    {
        for (const Weighted& entry : wordTable) {
            words.emplace(entry.text, entry.weight);
        }
        for (const Weighted& entry : sequenceTable) {
            sequences.emplace(sequenceKey(entry.text), entry.weight);
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
        // Nothing to weigh: the Part's "no hypothesis", whatever came before.
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
    if (total == 0) {
        return std::nullopt;
    }
    return total > 0 ? ReplyLanguage::portuguese : ReplyLanguage::english;
}

} // namespace languageIdentifier
