#include "suggestions/SuggestionService.h"

#include "common/Clock.h"
#include "common/Log.h"
#include "common/Text.h"
#include "common/Uuid.h"
#include "selection/Selection.h"
#include "settings/Settings.h"
#include "store/StoreContext.h"
#include "suggestions/LanguageIdentifier.h"
#include "suggestions/QaMatch.h"
#include "suggestions/SuggestionPrompt.h"

#include <QCoroSignal>
#include <QSet>

// The handle of one scheduled or running request. Cancelling it ends the request's pause early
// and stops its stream; the request task and the service share it.
class SuggestionRequestHandle : public QObject {
    Q_OBJECT

public:
    explicit SuggestionRequestHandle(Clock& clock)
        : m_pause(clock.createTimer(this, [this] { Q_EMIT pauseEnded(); }))
    {
    }

    bool isCancelled() const { return m_cancelled; }
    void startPause(std::chrono::milliseconds pause) { m_pause->start(pause); }
    void cancel()
    {
        if (!m_cancelled) {
            m_cancelled = true;
            m_pause->stop();
            Q_EMIT pauseEnded();
            Q_EMIT cancelRequested();
        }
    }

Q_SIGNALS:
    void pauseEnded();
    void cancelRequested();

private:
    std::unique_ptr<ClockTimer> m_pause;
    bool m_cancelled = false;
};

namespace {

// Question word tables: lower case, without accents.
const QStringList phrases {
    QStringLiteral("me fala"),
    QStringLiteral("me conta"),
    QStringLiteral("me diz"),
    QStringLiteral("me diga"),
    QStringLiteral("me explica"),
    QStringLiteral("me explique"),
    QStringLiteral("fala sobre"),
    QStringLiteral("fale sobre"),
    QStringLiteral("conta sobre"),
    QStringLiteral("conte sobre"),
    QStringLiteral("conta um pouco"),
    QStringLiteral("conte um pouco"),
    QStringLiteral("fala um pouco"),
    QStringLiteral("fale um pouco"),
    QStringLiteral("explica"),
    QStringLiteral("explique"),
    QStringLiteral("descreva"),
    QStringLiteral("descreve"),
    QStringLiteral("gostaria de saber"),
    QStringLiteral("queria saber"),
    QStringLiteral("quero saber"),
    QStringLiteral("voce pode"),
    QStringLiteral("voce poderia"),
    QStringLiteral("voce consegue"),
    QStringLiteral("voce acha"),
    QStringLiteral("voce sabe"),
    QStringLiteral("voce tem"),
    QStringLiteral("voce ja"),
    QStringLiteral("tell me"),
    QStringLiteral("walk me through"),
    QStringLiteral("describe"),
    QStringLiteral("explain"),
    QStringLiteral("talk about"),
    QStringLiteral("talk me through"),
    QStringLiteral("can you"),
    QStringLiteral("could you"),
    QStringLiteral("would you"),
    QStringLiteral("do you"),
    QStringLiteral("did you"),
    QStringLiteral("have you"),
    QStringLiteral("are you"),
    QStringLiteral("i'd like to know"),
    QStringLiteral("i would like to know"),
    QStringLiteral("i wonder"),
};
const QSet<QString> questionWords {
    QStringLiteral("qual"),
    QStringLiteral("quais"),
    QStringLiteral("quando"),
    QStringLiteral("onde"),
    QStringLiteral("como"),
    QStringLiteral("quanto"),
    QStringLiteral("quanta"),
    QStringLiteral("quantos"),
    QStringLiteral("quantas"),
    QStringLiteral("quem"),
    QStringLiteral("porque"),
    QStringLiteral("what"),
    QStringLiteral("when"),
    QStringLiteral("where"),
    QStringLiteral("why"),
    QStringLiteral("how"),
    QStringLiteral("which"),
    QStringLiteral("who"),
};
const QSet<QString> twoWordOpenings { QStringLiteral("por que"), QStringLiteral("o que") };
const QSet<QString> fillers {
    QStringLiteral("and"),
    QStringLiteral("so"),
    QStringLiteral("ok"),
    QStringLiteral("okay"),
    QStringLiteral("now"),
    QStringLiteral("e"),
    QStringLiteral("entao"),
    QStringLiteral("ta"),
    QStringLiteral("bom"),
    QStringLiteral("agora"),
};

// The phrases as matched: apostrophes removed, one space on each side.
const QStringList& paddedPhrases()
{
    static const QStringList padded = [] {
        QStringList out;
        for (QString phrase : phrases) {
            out.append(u' ' + phrase.remove(u'\'') + u' ');
        }
        return out;
    }();
    return padded;
}

bool isSentenceBreak(QChar c)
{
    return c == u'.' || c == u'!' || c == u';' || c == u'\n' || c == u'\r';
}

bool opensWithQuestion(const QString& sentence)
{
    const QStringList words = text::normalizedWords(sentence);
    qsizetype first = 0;
    while (first < words.size() && fillers.contains(words.at(first))) {
        ++first;
    }
    if (first == words.size()) {
        return false;
    }
    if (questionWords.contains(words.at(first))) {
        return true;
    }
    return first + 1 < words.size() && twoWordOpenings.contains(words.at(first) + u' ' + words.at(first + 1));
}

// More than `limit` user-perceived characters; counts no further than needed.
bool exceedsCharacters(const QString& text, qsizetype limit)
{
    if (text.size() <= limit) {
        return false; // a character is at least one UTF-16 unit
    }
    return text::graphemePrefix(text, limit).size() < text.size();
}

} // namespace

SuggestionService::SuggestionService(Transcript* transcript, ContextFunction context, LLMClient client,
    Settings* settings, QObject* parent, SuggestionServiceOptions options)
    : QObject(parent)
    , m_transcript(transcript)
    , m_context(std::move(context))
    , m_client(std::move(client))
    , m_settings(settings)
    , m_options(std::move(options))
{
    if (m_transcript) {
        connect(m_transcript, &Transcript::linesChanged, this, [this] {
            if (m_transcript) {
                transcriptChanged(m_transcript->lines());
            }
        });
    }
}

SuggestionService::~SuggestionService()
{
    if (m_pending) {
        m_pending->cancel(); // the task wakes later, finds the service gone and ends
    }
}

QString SuggestionService::oversizeMessage()
{
    return tr("This assistant is too large for the on-device model. Use Claude or OpenAI in Settings.");
}

bool SuggestionService::looksLikeQuestion(const QString& text)
{
    if (text.contains(u'?')) {
        return true;
    }
    QString withoutApostrophes = text;
    withoutApostrophes.remove(u'\'');
    const QString padded = u' ' + text::normalizedWords(withoutApostrophes).join(u' ') + u' ';
    for (const QString& phrase : paddedPhrases()) {
        if (padded.contains(phrase)) {
            return true;
        }
    }
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i == text.size() || isSentenceBreak(text.at(i))) {
            if (i > start && opensWithQuestion(text.mid(start, i - start))) {
                return true;
            }
            start = i + 1;
        }
    }
    return false;
}

QCoro::Task<SuggestionSettings> SuggestionService::readSettings(StoreContext& context) const
{
    if (!m_settings) {
        co_return SuggestionSettings {};
    }
    const Settings& settings = *m_settings;
    const auto buildPrompt = [&] {
        const Selection chosen = selection::resolveSelection(context, settings);
        return chosen.assistant ? suggestionPrompt::systemPrompt(context, *chosen.assistant, chosen.context)
                                : suggestionPrompt::basePrompt();
    };
    // Awaited into a local first: g++ 12 mishandles `co_return co_await`.
    SuggestionSettings loaded =
        co_await languageModelSettings::loadSuggestionSettings(settings, buildPrompt, m_options.readKey);
    co_return loaded;
}

void SuggestionService::transcriptChanged(const QList<TranscriptLine>& lines)
{
    if (lines.isEmpty()) {
        return;
    }
    const TranscriptLine& last = lines.last();
    if (last.speaker != Speaker::them || m_lastTriggered == last.id) {
        return;
    }
    m_lastTriggered = last.id; // examined once, question or not
    if (looksLikeQuestion(last.text)) {
        offerPreparedAnswer(lines);
        schedule(lines);
    }
}

void SuggestionService::offerPreparedAnswer(const QList<TranscriptLine>& lines)
{
    if (!m_settings || !m_context) {
        return;
    }
    StoreContext& context = m_context();
    const Selection chosen = selection::resolveSelection(context, *m_settings);
    if (!chosen.assistant) {
        return;
    }
    const auto items = context.fetch<QAItem>(Query::ofAssistant(chosen.assistant->id));
    if (!items || items->empty()) {
        return;
    }
    // The line's language as the reply's is told: from the line, else the other person's lines before it.
    QStringList earlier;
    for (qsizetype i = lines.size() - 2; i >= 0 && earlier.size() < languageIdentifier::maxEarlierLines; --i) {
        if (lines.at(i).speaker == Speaker::them) {
            earlier.prepend(lines.at(i).text);
        }
    }
    const QString& line = lines.last().text;
    const auto match = qaMatch::best(line, *items, languageIdentifier::identify(line, earlier));
    if (!match) {
        return;
    }
    Suggestion prepared { uuid::create(), now(), line, match->item.answer, false };
    prepared.preparedQuestion = match->item.question;
    m_history.append(prepared);
    Q_EMIT historyChanged();
}

void SuggestionService::suggestNow()
{
    if (m_transcript && !m_transcript->lines().isEmpty()) {
        schedule(m_transcript->lines());
    }
}

void SuggestionService::schedule(const QList<TranscriptLine>& snapshot)
{
    if (m_pending) {
        m_pending->cancel();
    }
    m_pending = std::make_shared<SuggestionRequestHandle>(Clock::orSystem(m_options.clock));
    request(snapshot, m_pending); // runs on by itself; the handle is how it is stopped
}

QCoro::Task<> SuggestionService::request(
    QList<TranscriptLine> snapshot, std::shared_ptr<SuggestionRequestHandle> handle)
{
    const QPointer<SuggestionService> self(this);
    handle->startPause(m_options.pause);
    co_await qCoro(handle.get(), &SuggestionRequestHandle::pauseEnded);
    if (!self || handle->isCancelled()) {
        co_return;
    }

    const SuggestionSettings settings = co_await readSettings(m_context());
    if (!self || handle->isCancelled()) {
        co_return;
    }
    const QString user = suggestionPrompt::userMessage(snapshot);
    const QString question = snapshot.isEmpty() ? QString() : snapshot.last().text;
    const QUuid id = uuid::create();
    setWaiting(true);

    if (settings.provider == LLMProvider::onDevice
        && exceedsCharacters(settings.prompt, suggestionPrompt::onDeviceLimit)) {
        if (m_oversizeWarned != settings.prompt) {
            m_oversizeWarned = settings.prompt;
            put(Suggestion { id, now(), question, oversizeMessage(), true });
        }
        setWaiting(false);
        co_return;
    }

    LLMRequest ask;
    ask.provider = settings.provider;
    ask.model = settings.model;
    ask.apiKey = settings.apiKey;
    ask.system = settings.prompt;
    ask.user = user;
    ask.effort = QStringLiteral("low");
    ask.cacheSystem = true;
    const std::unique_ptr<LLMStream> stream = m_client.stream(ask);
    // Counted while the request travels, not when the first words are waited for.
    const qsizetype promptCharacters = text::graphemeCount(settings.prompt);

    const std::optional<QDateTime> triggeredAt =
        snapshot.isEmpty() ? std::nullopt : std::optional(snapshot.last().date);
    bool firstText = true;
    connect(stream.get(), &LLMStream::received, this, [&, this](const QString& text) {
        if (handle->isCancelled()) {
            return;
        }
        if (firstText && triggeredAt) {
            qCInfo(lcLatency, "first-token %lld system-chars %lld", static_cast<long long>(triggeredAt->msecsTo(now())),
                static_cast<long long>(promptCharacters));
        }
        firstText = false;
        put(Suggestion { id, now(), question, text, false });
    });
    // What ended the stream, and whether this request was cancelled by then.
    std::optional<Error> failure;
    bool cancelled = false;
    connect(stream.get(), &LLMStream::finished, this, [&](const std::optional<Error>& error) {
        failure = error;
        cancelled = handle->isCancelled() || stream->wasCancelled();
    });
    connect(handle.get(), &SuggestionRequestHandle::cancelRequested, stream.get(), &LLMStream::cancel);

    co_await qCoro(stream.get(), &LLMStream::finished);
    if (!self) {
        co_return;
    }
    if (failure && !cancelled) {
        put(Suggestion { id, now(), question, failure->message, true });
    }
    if (cancelled) {
        removeEntries(id); // a reply cut off by a newer trigger disappears; that one sets isWaiting
    } else {
        setWaiting(false);
    }
}

void SuggestionService::put(const Suggestion& entry)
{
    setWaiting(false);
    for (Suggestion& existing : m_history) {
        if (existing.id == entry.id) {
            existing = entry;
            Q_EMIT historyChanged();
            return;
        }
    }
    m_history.append(entry);
    Q_EMIT historyChanged();
}

void SuggestionService::removeEntries(const QUuid& id)
{
    if (m_history.removeIf([&](const Suggestion& entry) { return entry.id == id; }) > 0) {
        Q_EMIT historyChanged();
    }
}

void SuggestionService::clear()
{
    if (m_pending) {
        m_pending->cancel();
        m_pending.reset();
    }
    const bool hadHistory = !m_history.isEmpty();
    m_history.clear();
    setWaiting(false);
    m_oversizeWarned.reset();
    if (hadHistory) {
        Q_EMIT historyChanged();
    }
}

QCoro::Task<> SuggestionService::warmUp()
{
    const QPointer<SuggestionService> self(this);
    const SuggestionSettings settings = co_await readSettings(m_context());
    if (!self) {
        co_return;
    }
    if (settings.provider == LLMProvider::claude && settings.apiKey && !settings.apiKey->isEmpty()) {
        m_client.warmUp(settings.model, *settings.apiKey, settings.prompt, QStringLiteral("low"));
    }
}

void SuggestionService::setWaiting(bool waiting)
{
    if (m_isWaiting != waiting) {
        m_isWaiting = waiting;
        Q_EMIT isWaitingChanged(waiting);
    }
}

QDateTime SuggestionService::now() const
{
    return Clock::orSystem(m_options.clock).now();
}

#include "SuggestionService.moc"
