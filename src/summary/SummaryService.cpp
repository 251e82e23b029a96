#include "summary/SummaryService.h"

#include "common/Log.h"
#include "common/Text.h"
#include "common/Uuid.h"
#include "records/Records.h"
#include "selection/Selection.h"
#include "settings/Settings.h"
#include "store/StoreContext.h"
#include "summary/CallArchive.h"
#include "transcription/TranscriptionService.h"

#include <QCoroSignal>
#include <QScopeGuard>

// The handle of the one running summary, shared by the service and the summary's task.
struct SummaryTask {
    Recording recording;
    bool cancelled = false;
    // The service is being destroyed: the task must neither publish nor store anything more, even
    // if it wakes before the service is gone.
    bool abandoned = false;
    QPointer<LLMStream> stream;

    void cancel()
    {
        cancelled = true;
        if (stream) {
            stream->cancel(); // aborts the request; its `finished` wakes the task
        }
    }
};

namespace {

// A stream is ended by its own `finished`, so it is deleted only once that signal has returned.
struct DeleteLater {
    void operator()(QObject* object) const { object->deleteLater(); }
};

QString ownerName(const auto& owner)
{
    return owner ? owner->name : QStringLiteral("None");
}

// Stores `call`, in place of `before` when the store has it already; on failure the context is left as
// before the call was put in, and the store's error is returned.
Result<void> putCall(StoreContext& store, const Call& call, const std::optional<Call>& before)
{
    if (before) {
        store.update(call);
    } else {
        store.insert(call);
    }
    Result<void> saved = store.save();
    if (!saved) {
        if (before) {
            store.update(*before);
        } else {
            store.remove<Call>(call.id);
        }
    }
    return saved;
}

} // namespace

const QString& SummaryService::systemPrompt()
{
    static const QString prompt = QStringLiteral(
        "You summarize video calls for the user. You get the automatic transcript of the call: \"You:\" is the user "
        "and \"Other:\" is the other person. The transcript can have errors and bits of room noise; ignore what is "
        "not part of the conversation.\n"
        "\n"
        "Write the headings in English and the content in the main language of the call, as plain text without "
        "markdown, in this order:\n"
        "Summary: 2 or 3 sentences about the topic and the outcome of the call.\n"
        "Decisions: what was decided, one item per line starting with \"- \".\n"
        "Next steps: what each person will do, with the owner (You or Other) and the deadline, if one was said.\n"
        "Open: questions and pending items left without an answer.\n"
        "\n"
        "Include only what was said in the call. Do not make up names, numbers, deadlines or decisions. If a section "
        "has nothing, write \"- Nothing noted.\"");
    return prompt;
}

SummaryService::SummaryService(TranscriptionService* transcription, HistoryFunction suggestions,
    ContextFunction context, LLMClient client, Settings* settings, QObject* parent, SummaryServiceOptions options)
    : QObject(parent)
    , m_transcription(transcription)
    , m_suggestions(std::move(suggestions))
    , m_context(std::move(context))
    , m_client(std::move(client))
    , m_settings(settings)
    , m_options(std::move(options))
    , m_journal(m_options.journal)
{
    if (m_transcription) {
        connect(&m_transcription->transcript(), &Transcript::lineAppended, this, [this](const TranscriptLine& line) {
            if (m_callID && m_journal) {
                m_journal->addLine(*m_callID, line);
            }
        });
        connect(m_transcription, &TranscriptionService::runningChanged, this, &SummaryService::handleRunningFlag);
        handleRunningFlag(m_transcription->isRunning());
    }
}

SummaryService::~SummaryService()
{
    if (m_task) {
        m_task->abandoned = true;
        m_task->cancel();
    }
    for (auto& [id, stored] : m_stored) {
        if (stored.task) {
            stored.task->abandoned = true;
            stored.task->cancel();
        }
    }
}

void SummaryService::handleRunningFlag(bool running)
{
    if (running) {
        reset();
        beginCall();
    } else if (m_wasRunning && m_transcription) {
        summarise(m_transcription->lines());
    }
    m_wasRunning = running;
}

void SummaryService::reset()
{
    cancelTask();
    setText(std::nullopt);
    setIsError(false);
    setGenerating(false);
    setSavedFile(std::nullopt);
    setSaveError(std::nullopt);
    setSavedCallID(std::nullopt);
}

void SummaryService::interrupt()
{
    cancelTask();
    setGenerating(false);
}

void SummaryService::cancelTask()
{
    if (m_task) {
        // The cancelled summary still stores its call when it wakes, without publishing anything.
        const std::shared_ptr<SummaryTask> task = std::exchange(m_task, nullptr);
        task->cancel();
    }
}

void SummaryService::beginCall()
{
    m_callID = uuid::create();
    if (m_journal) {
        const Selection chosen = m_settings ? selection::resolveSelection(m_context(), *m_settings) : Selection {};
        m_journal->begin(*m_callID, chosen.assistant ? std::optional(chosen.assistant->id) : std::nullopt,
            chosen.context ? std::optional(chosen.context->id) : std::nullopt);
    }
}

void SummaryService::suggestionsChanged()
{
    if (m_callID && m_journal && m_suggestions) {
        QList<Suggestion> shown = m_suggestions();
        shown.removeIf([](const Suggestion& suggestion) { return suggestion.isError; });
        m_journal->showSuggestions(*m_callID, shown);
    }
}

bool SummaryService::isShortCall(const QList<TranscriptLine>& lines)
{
    // Counting stops at the threshold: a long call's every word need not be split.
    qsizetype words = 0;
    for (const TranscriptLine& line : lines) {
        words += text::normalizedWords(line.text).size();
        if (words >= minimumWords) {
            return false;
        }
    }
    return true;
}

QString SummaryService::transcriptText(const QList<TranscriptLine>& lines)
{
    QString out;
    for (const TranscriptLine& line : lines) {
        if (!out.isEmpty()) {
            out += u'\n';
        }
        out += speaker::label(line.speaker);
        out += QLatin1String(": ");
        out += line.text;
    }
    return out;
}

QString SummaryService::userMessage(const QList<TranscriptLine>& lines, LLMProvider provider)
{
    const QString transcript = transcriptText(lines);
    if (provider == LLMProvider::onDevice) {
        const QString end = text::graphemeSuffix(transcript, onDeviceCharacterLimit);
        if (end.size() < transcript.size()) {
            return truncationMarker + end;
        }
    }
    return transcript;
}

Recording SummaryService::snapshot(const QUuid& callID, const QList<TranscriptLine>& lines)
{
    Recording recording;
    recording.id = callID;
    recording.lines = lines;
    if (m_suggestions) {
        for (const Suggestion& suggestion : m_suggestions()) {
            if (!suggestion.isError) {
                recording.suggestions.append(suggestion);
            }
        }
    }
    const Selection chosen = m_settings ? selection::resolveSelection(m_context(), *m_settings) : Selection {};
    if (chosen.assistant) {
        recording.assistantID = chosen.assistant->id;
        if (chosen.context) {
            recording.contextID = chosen.context->id;
        }
    }
    return recording;
}

void SummaryService::summarise(const QList<TranscriptLine>& lines)
{
    const QUuid callID = std::exchange(m_callID, std::nullopt).value_or(uuid::create());
    if (lines.isEmpty()) {
        if (m_journal) {
            m_journal->forget(callID);
        }
        return; // nothing to summarise, write or store; the state stays as the start left it
    }
    Recording recording = snapshot(callID, lines);

    if (isShortCall(lines)) {
        saveCall(recording, shortCallSummary, Publish::on);
        return;
    }

    cancelTask();
    setText(std::nullopt);
    setIsError(false);
    setSavedFile(std::nullopt);
    setSaveError(std::nullopt);
    setSavedCallID(std::nullopt);
    setGenerating(true);
    m_task = std::make_shared<SummaryTask>();
    m_task->recording = recording;
    run(std::move(recording), m_task); // runs on by itself; the handle is how it is stopped
}

QCoro::Task<SuggestionSettings> SummaryService::loadSettings() const
{
    if (m_options.loadSettings) {
        return m_options.loadSettings();
    }
    // The provider, model and key for a summary, read as for a suggestion (without its prompt).
    if (!m_settings) {
        return []() -> QCoro::Task<SuggestionSettings> { co_return SuggestionSettings {}; }();
    }
    return languageModelSettings::loadSuggestionSettings(*m_settings, {}, m_options.readKey);
}

QCoro::Task<> SummaryService::run(Recording recording, std::shared_ptr<SummaryTask> task)
{
    const QPointer<SummaryService> self(this);
    ++m_runningTasks;
    const auto ended = qScopeGuard([self] {
        if (self && --self->m_runningTasks == 0) {
            Q_EMIT self->idle();
        }
    });
    const SuggestionSettings settings = co_await loadSettings();
    if (!self || task->abandoned) {
        co_return;
    }

    std::optional<QString> reply;
    if (!task->cancelled) {
        const Result<QString> answer =
            co_await askModel(settings, recording.lines, task, [this](const QString& text) { setText(text); });
        if (!self || task->abandoned) {
            co_return;
        }
        if (!task->cancelled) {
            if (!answer) {
                setText(answer.error().message);
                setIsError(true);
            }
            setGenerating(false);
        }
        if (answer) {
            reply = *answer;
        }
    }

    if (task->cancelled) {
        saveCall(recording, interruptedSummary, Publish::off);
    } else {
        saveCall(recording, reply && !reply->isEmpty() ? *reply : failedSummary, Publish::on);
    }
}

QCoro::Task<Result<QString>> SummaryService::askModel(SuggestionSettings settings, QList<TranscriptLine> lines,
    std::shared_ptr<SummaryTask> task, std::function<void(const QString&)> received)
{
    LLMRequest ask;
    ask.provider = settings.provider;
    ask.model = settings.model;
    ask.apiKey = settings.apiKey;
    ask.system = systemPrompt();
    ask.user = userMessage(lines, settings.provider);
    ask.effort = QStringLiteral("medium");
    ask.cacheSystem = false;
    const std::unique_ptr<LLMStream, DeleteLater> stream(m_client.stream(ask).release());
    task->stream = stream.get();

    QString reply;
    connect(stream.get(), &LLMStream::received, this, [&reply, task, &received](const QString& text) {
        if (!task->cancelled) {
            reply = text;
            if (received) {
                received(text);
            }
        }
    });
    std::optional<Error> failure;
    connect(
        stream.get(), &LLMStream::finished, this, [&failure](const std::optional<Error>& error) { failure = error; });

    const QPointer<SummaryService> self(this);
    co_await qCoro(stream.get(), &LLMStream::finished);
    if (self) {
        disconnect(stream.get(), nullptr, this, nullptr);
    }
    if (failure) {
        co_return std::unexpected(*failure);
    }
    co_return reply;
}

void SummaryService::summariseStored(const QUuid& callID)
{
    if (isSummarising(callID)) {
        return;
    }
    m_stored[callID] = StoredSummary { std::make_shared<SummaryTask>(), std::nullopt };
    Q_EMIT storedSummaryChanged(callID);
    runStored(callID, m_stored[callID].task);
}

bool SummaryService::isSummarising(const QUuid& callID) const
{
    const auto found = m_stored.find(callID);
    return found != m_stored.end() && found->second.task;
}

std::optional<QString> SummaryService::storedSummaryError(const QUuid& callID) const
{
    const auto found = m_stored.find(callID);
    return found != m_stored.end() ? found->second.error : std::nullopt;
}

QCoro::Task<> SummaryService::runStored(QUuid callID, std::shared_ptr<SummaryTask> task)
{
    const QPointer<SummaryService> self(this);
    const auto finish = [this, callID](std::optional<QString> error) {
        if (error) {
            qCCritical(lcSummary, "%s", qUtf8Printable(*error));
        }
        m_stored[callID] = StoredSummary { nullptr, std::move(error) };
        Q_EMIT storedSummaryChanged(callID);
    };
    auto found = m_context().fetchOne<Call>(callID);
    if (!found || !*found) {
        finish(tr("Could not write the summary: the call is not in the store."));
        co_return;
    }
    QList<TranscriptLine> lines;
    for (const CallLine& line : (*found)->lines()) {
        lines.append(
            TranscriptLine { uuid::create(), line.fromMe ? Speaker::me : Speaker::them, line.text, line.date });
    }
    QString summary = shortCallSummary;
    if (lines.isEmpty()) {
        finish(tr("Could not write the summary: the call has no lines."));
        co_return;
    }
    if (!isShortCall(lines)) {
        const SuggestionSettings settings = co_await loadSettings();
        if (!self || task->abandoned) {
            co_return;
        }
        const Result<QString> answer = co_await askModel(settings, lines, task, {});
        if (!self || task->abandoned) {
            co_return;
        }
        if (!answer || answer->isEmpty()) {
            finish(answer ? failedSummary : answer.error().message);
            co_return;
        }
        summary = *answer;
    }

    // Read again: the store may have been reopened, or the call changed, while the model wrote.
    StoreContext& store = m_context();
    auto current = store.fetchOne<Call>(callID);
    if (!current || !*current) {
        finish(tr("Could not write the summary: the call is not in the store."));
        co_return;
    }
    const Call before = **current;
    Call call = before;
    QList<Suggestion> suggestions;
    for (const CallSuggestion& suggestion : call.suggestions()) {
        suggestions.append(Suggestion { uuid::create(), suggestion.date, QString(), suggestion.text, false });
    }
    const Selection owners = selection::lookupSelection(call.assistant, call.context, store);
    std::optional<QString> problem;
    if (auto written = writeCallArchive(lines, suggestions, notesText(store, owners), summary)) {
        call.archiveFile = *written;
    } else {
        problem = tr("Could not save the call: %1").arg(written.error().message);
    }
    call.summary = summary;
    if (auto saved = putCall(store, call, before); !saved) {
        finish(tr("Could not save the call to the store: %1").arg(saved.error().message));
        co_return;
    }
    finish(problem);
}

QString SummaryService::notesText(StoreContext& store, const Selection& owners) const
{
    QStringList files;
    const auto addNames = [&](const Query& query) {
        auto found = store.fetch<KnowledgeFile>(query);
        if (!found) {
            qCCritical(lcSummary, "Could not fetch the knowledge files: %s", qUtf8Printable(found.error().message));
            return;
        }
        for (const KnowledgeFile& file : *found) {
            files.append(file.name);
        }
    };
    if (owners.assistant) {
        addNames(Query::ofAssistant(owners.assistant->id));
        if (owners.context) {
            addNames(Query::ofContext(owners.context->id));
        }
    }
    return QStringLiteral("Assistant: ") + ownerName(owners.assistant) + QStringLiteral("\nContext: ")
        + ownerName(owners.context) + QStringLiteral("\nFiles: ")
        + (files.isEmpty() ? QStringLiteral("None") : files.join(QStringLiteral(", ")));
}

void SummaryService::saveCall(const Recording& recording, const QString& summary, Publish publish, Journal journal)
{
    StoreContext& store = m_context();
    const Selection owners = selection::lookupSelection(recording.assistantID, recording.contextID, store);
    const QString notes = notesText(store, owners);

    QString archiveFile;
    if (summary.isEmpty()) {
        // Stored before its end, without a summary: the file is written with the summary.
    } else if (auto written = writeCallArchive(recording.lines, recording.suggestions, notes, summary)) {
        archiveFile = *written;
        if (publish == Publish::on) {
            setSavedFile(archiveFile);
        }
    } else {
        report(tr("Could not save the call: %1").arg(written.error().message), publish);
    }

    QList<CallLine> lines;
    lines.reserve(recording.lines.size());
    for (const TranscriptLine& line : recording.lines) {
        lines.append(CallLine { line.speaker == Speaker::me, line.text, line.date });
    }
    QList<CallSuggestion> suggestions;
    suggestions.reserve(recording.suggestions.size());
    for (const Suggestion& suggestion : recording.suggestions) {
        suggestions.append(CallSuggestion { suggestion.response, suggestion.timestamp });
    }
    // The call may be in the store already, stored as it was when the session asked to end.
    auto stored = store.fetchOne<Call>(recording.id);
    const std::optional<Call> before = stored ? *stored : std::nullopt;
    Call call = before.value_or(Call {});
    call.id = recording.id;
    call.startedAt = recording.lines.first().date;
    call.endedAt = recording.lines.last().date;
    call.linesData = blob::encodeLines(lines);
    call.suggestionsData = blob::encodeSuggestions(suggestions);
    call.summary = summary;
    call.archiveFile = archiveFile;
    call.assistant = owners.assistant ? std::optional(owners.assistant->id) : std::nullopt;
    call.context = owners.context ? std::optional(owners.context->id) : std::nullopt;
    if (auto saved = putCall(store, call, before); !saved) {
        report(tr("Could not save the call to the store: %1").arg(saved.error().message), publish);
        if (m_journal) {
            m_journal->keep(call.id, summary, archiveFile); // the next start stores it
        }
        return;
    }
    if (publish == Publish::on) {
        setSavedCallID(call.id);
    }
    if (!m_options.unstoredReason.isEmpty()) {
        // The store lives in memory: the journal keeps the call for the next start that opens the file.
        if (m_journal) {
            m_journal->keep(call.id, summary, archiveFile);
        }
        report(m_journal && !m_journal->error()
                ? tr("Not stored: the store could not be opened (%1). The call is kept and will be stored at the "
                     "next start that can open it.")
                      .arg(m_options.unstoredReason)
                : tr("Not stored: the store could not be opened (%1), and the call could not be kept for later "
                     "either.")
                      .arg(m_options.unstoredReason),
            publish);
    } else if (m_journal && journal == Journal::forget) {
        m_journal->forget(call.id);
    }
}

void SummaryService::storeNow()
{
    if (m_task) {
        // Its summary will not be finished: its call is stored here, and the task stores nothing more.
        const std::shared_ptr<SummaryTask> task = std::exchange(m_task, nullptr);
        task->abandoned = true;
        task->cancel();
        setGenerating(false);
        saveCall(task->recording, interruptedSummary, Publish::on);
    }
    if (m_callID && m_transcription && !m_transcription->lines().isEmpty()) {
        saveCall(snapshot(*m_callID, m_transcription->lines()), QString(), Publish::off, Journal::keep);
    }
    if (m_journal) {
        m_journal->flush();
    }
}

int SummaryService::recoverJournal()
{
    if (!m_journal || !m_options.unstoredReason.isEmpty()) {
        return 0;
    }
    StoreContext& store = m_context();
    int recovered = 0;
    for (const JournaledCall& kept : m_journal->leftBehind()) {
        if (kept.lines.isEmpty()) {
            m_journal->forget(kept.id); // nothing was heard
            continue;
        }
        auto found = store.fetchOne<Call>(kept.id);
        if (!found) {
            qCCritical(lcSummary, "Could not recover a call: %s", qUtf8Printable(found.error().message));
            continue;
        }
        const std::optional<Call> before = *found;
        if (before && before->lines().size() >= kept.lines.size()) {
            m_journal->forget(kept.id); // the store has all of it
            continue;
        }
        Call call = before.value_or(Call {});
        call.id = kept.id;
        call.startedAt = kept.lines.first().date;
        call.endedAt = kept.lines.last().date;
        call.linesData = blob::encodeLines(kept.lines);
        call.suggestionsData = blob::encodeSuggestions(kept.suggestions);
        if (!before) {
            const Selection owners = selection::lookupSelection(kept.assistant, kept.context, store);
            call.assistant = owners.assistant ? std::optional(owners.assistant->id) : std::nullopt;
            call.context = owners.context ? std::optional(owners.context->id) : std::nullopt;
            call.summary = kept.summary;
            call.archiveFile = kept.archiveFile;
            call.outcomeNote = recoveredNote;
        }
        if (auto saved = putCall(store, call, before); !saved) {
            qCCritical(lcSummary, "Could not store a recovered call: %s", qUtf8Printable(saved.error().message));
            continue; // it stays in the journal for the next start
        }
        m_journal->forget(kept.id);
        ++recovered;
        qCInfo(lcSummary, "Recovered call %s with %lld lines", qUtf8Printable(uuid::toText(call.id)),
            static_cast<long long>(kept.lines.size()));
    }
    return recovered;
}

QString SummaryService::shownSummary(const QString& stored)
{
    if (stored == shortCallSummary) {
        return tr("Short call: no summary.");
    }
    if (stored == failedSummary) {
        return tr("No summary: it could not be generated. The full transcript is below.");
    }
    if (stored == interruptedSummary) {
        return tr("No summary: the summary was interrupted.");
    }
    return stored;
}

void SummaryService::report(const QString& message, Publish publish)
{
    qCCritical(lcSummary, "%s", qUtf8Printable(message));
    if (publish == Publish::on) {
        appendSaveError(message);
    }
}

void SummaryService::appendSaveError(const QString& message)
{
    setSaveError(m_saveError ? *m_saveError + u'\n' + message : message);
}

void SummaryService::setOutcome(const QUuid& callID, CallOutcome outcome)
{
    saveRating(callID, { .outcome = outcome, .note = std::nullopt });
}

void SummaryService::setNote(const QUuid& callID, const QString& note)
{
    saveRating(callID, { .outcome = std::nullopt, .note = note });
}

void SummaryService::saveRating(const QUuid& callID, const callRating::Change& change)
{
    StoreContext& store = m_context();
    auto found = store.fetchOne<Call>(callID);
    if (!found || !*found) {
        qCCritical(lcSummary, "Call %s not found", qUtf8Printable(uuid::toText(callID)));
        appendSaveError(change.outcome ? tr("Could not save the outcome: the call is not in the store.")
                                       : tr("Could not save the note: the call is not in the store."));
        return;
    }
    if (auto written = callRating::write(store, **found, change); !written) {
        qCCritical(lcSummary, "Could not save outcome: %s", qUtf8Printable(written.error().message));
        appendSaveError((change.outcome ? tr("Could not save the outcome: %1") : tr("Could not save the note: %1"))
                            .arg(written.error().message));
    }
}

CallRating SummaryService::outcomeOf(const QUuid& callID)
{
    return callRating::read(m_context(), callID).value_or(CallRating());
}

void SummaryService::setText(std::optional<QString> text)
{
    if (m_text != text) {
        m_text = std::move(text);
        Q_EMIT textChanged();
    }
}

void SummaryService::setIsError(bool isError)
{
    if (m_isError != isError) {
        m_isError = isError;
        Q_EMIT isErrorChanged(isError);
    }
}

void SummaryService::setGenerating(bool generating)
{
    if (m_isGenerating != generating) {
        m_isGenerating = generating;
        Q_EMIT isGeneratingChanged(generating);
    }
}

void SummaryService::setSavedFile(std::optional<QString> path)
{
    if (m_savedFile != path) {
        m_savedFile = std::move(path);
        Q_EMIT savedFileChanged();
    }
}

void SummaryService::setSaveError(std::optional<QString> message)
{
    if (m_saveError != message) {
        m_saveError = std::move(message);
        Q_EMIT saveErrorChanged();
    }
}

void SummaryService::setSavedCallID(std::optional<QUuid> id)
{
    if (m_savedCallID != id) {
        m_savedCallID = std::move(id);
        Q_EMIT savedCallIDChanged();
    }
}
