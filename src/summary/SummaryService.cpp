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
{
    if (m_transcription) {
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
}

void SummaryService::handleRunningFlag(bool running)
{
    if (running) {
        reset();
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

void SummaryService::summarise(const QList<TranscriptLine>& lines)
{
    if (lines.isEmpty()) {
        return; // nothing to summarise, write or store; the state stays as the start left it
    }
    Recording recording;
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
        LLMRequest ask;
        ask.provider = settings.provider;
        ask.model = settings.model;
        ask.apiKey = settings.apiKey;
        ask.system = systemPrompt();
        ask.user = userMessage(recording.lines, settings.provider);
        ask.effort = QStringLiteral("medium");
        ask.cacheSystem = false;
        const std::unique_ptr<LLMStream, DeleteLater> stream(m_client.stream(ask).release());
        task->stream = stream.get();

        connect(stream.get(), &LLMStream::received, this, [&reply, task, this](const QString& text) {
            if (!task->cancelled) {
                reply = text;
                setText(text);
            }
        });
        std::optional<Error> failure;
        connect(stream.get(), &LLMStream::finished, this,
            [&failure](const std::optional<Error>& error) { failure = error; });

        co_await qCoro(stream.get(), &LLMStream::finished);
        if (self) {
            disconnect(stream.get(), nullptr, this, nullptr);
        }
        if (!self || task->abandoned) {
            co_return;
        }
        if (!task->cancelled) {
            if (failure) {
                setText(failure->message);
                setIsError(true);
            }
            setGenerating(false);
        }
        if (failure) {
            reply.reset();
        }
    }

    if (task->cancelled) {
        saveCall(recording, interruptedSummary, Publish::off);
    } else {
        saveCall(recording, reply && !reply->isEmpty() ? *reply : failedSummary, Publish::on);
    }
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

void SummaryService::saveCall(const Recording& recording, const QString& summary, Publish publish)
{
    StoreContext& store = m_context();
    const Selection owners = selection::lookupSelection(recording.assistantID, recording.contextID, store);
    const QString notes = notesText(store, owners);

    QString archiveFile;
    if (auto written = writeCallArchive(recording.lines, recording.suggestions, notes, summary)) {
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
    Call call;
    call.id = uuid::create();
    call.startedAt = recording.lines.first().date;
    call.endedAt = recording.lines.last().date;
    call.linesData = blob::encodeLines(lines);
    call.suggestionsData = blob::encodeSuggestions(suggestions);
    call.summary = summary;
    call.archiveFile = archiveFile;
    call.assistant = owners.assistant ? std::optional(owners.assistant->id) : std::nullopt;
    call.context = owners.context ? std::optional(owners.context->id) : std::nullopt;
    store.insert(call);

    if (auto saved = store.save(); !saved) {
        store.remove<Call>(call.id);
        report(tr("Could not save the call to the store: %1").arg(saved.error().message), publish);
        return;
    }
    if (publish == Publish::on) {
        setSavedCallID(call.id);
    }
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
