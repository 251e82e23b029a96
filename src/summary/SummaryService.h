#pragma once

#include "llm/LLMClient.h"
#include "records/Enums.h"
#include "records/Suggestion.h"
#include "settings/LanguageModelSettings.h"
#include "store/CallRating.h"
#include "summary/CallJournal.h"
#include "transcription/Transcript.h"

#include <QCoroTask>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUuid>

#include <functional>
#include <map>
#include <memory>
#include <optional>

class CallJournal;
class Settings;
class StoreContext;
class TranscriptionService;
struct Call;
struct Selection;
struct SummaryTask;

// The snapshot of one finished call: what is summarised, written and stored.
struct Recording {
    QUuid id; // the call's, from the start of listening: the journal's and the stored Call's
    QList<TranscriptLine> lines;
    QList<Suggestion> suggestions; // the history without its error entries
    std::optional<QUuid> assistantID; // selected when the call stopped
    std::optional<QUuid> contextID; // absent whenever assistantID is
};

struct SummaryServiceOptions {
    // Where cloud keys come from; without one every cloud request lacks its key.
    languageModelSettings::KeyReader readKey;
    // The provider, model and key, read afresh for every summary; from the settings and `readKey`
    // when empty.
    std::function<QCoro::Task<SuggestionSettings>()> loadSettings;
    // Where the call in progress is kept line by line until the store has it; none keeps nothing.
    CallJournal* journal = nullptr;
    // Why the store keeps nothing beyond this run (it lives only in memory); empty when it does.
    QString unstoredReason;
};

// Closes every call. When listening stops it takes the finished lines and the suggestions shown,
// asks the language model for a short structured summary (unless the call is too short for one),
// writes the call's Markdown file and stores the Call. It publishes the summary while it streams,
// where the file went, which Call was stored and every saving problem, and writes the outcome and
// note the user gives a stored call. At most one summary runs; a newer stop, a start or a clear
// cancels it, and the cancelled call is still stored, silently. Lives on the main thread.
class SummaryService : public QObject {
    Q_OBJECT

public:
    using ContextFunction = std::function<StoreContext&()>;
    // The suggestions shown in the current call, errors included.
    using HistoryFunction = std::function<QList<Suggestion>()>;

    // Fewest words (both speakers together) for which a summary is asked.
    static constexpr qsizetype minimumWords = 20;
    // Most transcript characters (user-perceived) sent to the on-device model.
    static constexpr qsizetype onDeviceCharacterLimit = 8000;

    static inline const QString shortCallSummary = QStringLiteral("Short call: no summary.");
    static inline const QString failedSummary =
        QStringLiteral("No summary: it could not be generated. The full transcript is below.");
    static inline const QString interruptedSummary = QStringLiteral("No summary: the summary was interrupted.");
    // A stored summary as a window shows it: the texts stored in place of a summary above read in the user's
    // language; a summary itself is shown as it was written.
    static QString shownSummary(const QString& stored);
    static inline const QString truncationMarker = QStringLiteral("[Start of the call left out]\n");
    // The note of a call stored from the journal of a run that ended before it could store it.
    static inline const QString recoveredNote = QStringLiteral("Recovered call");
    static const QString& systemPrompt();

    SummaryService(TranscriptionService* transcription, HistoryFunction suggestions, ContextFunction context,
        LLMClient client, Settings* settings, QObject* parent, SummaryServiceOptions options = {});
    ~SummaryService() override;

    // The summary so far, or the error message of a failed one.
    const std::optional<QString>& text() const { return m_text; }
    bool isError() const { return m_isError; }
    bool isGenerating() const { return m_isGenerating; }
    // The file written for the last call.
    const std::optional<QString>& savedFile() const { return m_savedFile; }
    // Saving problems of the last call, one per line.
    const std::optional<QString>& saveError() const { return m_saveError; }
    const std::optional<QUuid>& savedCallID() const { return m_savedCallID; }

    // Cancels the running summary and empties everything shown. Called when listening starts and
    // when the user clears the transcript.
    void reset();

    // A summary task is still running (cancelled ones included, until they have stored their call).
    bool isBusy() const { return m_runningTasks > 0; }
    // Cancels the running summary, as before the app ends: its call is stored with the interrupted
    // text; `idle` follows once it is.
    void interrupt();

    // Before the session ends (logging out, shutting down), at once: the call in progress is stored as
    // heard so far, without a summary, and listening goes on (the session may yet stay); a summary
    // still being written is given up and its call stored with the interrupted text.
    void storeNow();
    // Stores the calls that the journal kept for runs that have ended (a crash, a store that could not
    // take them): each with its lines and suggestions as heard and the note "Recovered call". A call
    // the store already has (stored at logout) only gains the lines heard after. Returns how many calls
    // it stored or completed; a call the store refuses stays in the journal for the next start.
    int recoverJournal();

    // Writes the summary of a stored call that has none (one recovered from the journal, or stored as
    // the session ended) and its call file, into the stored call, as at the end of a call. One at a
    // time per call; `storedSummaryChanged` follows each change of its state.
    void summariseStored(const QUuid& callID);
    bool isSummarising(const QUuid& callID) const;
    // Why the last summary asked for this call could not be written (or its file); none when it was.
    std::optional<QString> storedSummaryError(const QUuid& callID) const;

    void setOutcome(const QUuid& callID, CallOutcome outcome);
    void setNote(const QUuid& callID, const QString& note);
    // The stored values, or none and an empty note when the call is not in the store.
    CallRating outcomeOf(const QUuid& callID);

    // The suggestions shown changed: the journal takes the new list. Connected by whoever owns both services.
    void suggestionsChanged();

    // Each value of the transcription service's running flag: a start resets, a stop after
    // listening summarises the finished lines. Connected at construction; public so that a
    // caller without a live transcription can drive it.
    void handleRunningFlag(bool running);

    // Fewer than `minimumWords` words in all lines, under the shared word normalisation.
    static bool isShortCall(const QList<TranscriptLine>& lines);
    // Every line as "You: ..." or "Other: ...", joined by line breaks.
    static QString transcriptText(const QList<TranscriptLine>& lines);
    // The transcript as the provider receives it: the on-device model gets only the end of a
    // long call, behind the marker line.
    static QString userMessage(const QList<TranscriptLine>& lines, LLMProvider provider);

Q_SIGNALS:
    void textChanged();
    void isErrorChanged(bool isError);
    void isGeneratingChanged(bool isGenerating);
    void savedFileChanged();
    void saveErrorChanged();
    void savedCallIDChanged();
    // The last running summary task has ended and stored its call.
    void idle();
    // A summary asked for a stored call started, or ended (written or not).
    void storedSummaryChanged(const QUuid& callID);

private:
    enum class Publish { off, on };
    // What the journal does once the store took the call: drops it, or keeps it for a later save of
    // the same call (stored at logout while listening goes on).
    enum class Journal { forget, keep };

    void beginCall();
    // The lines with the suggestions shown and the assistant and context selected now.
    Recording snapshot(const QUuid& callID, const QList<TranscriptLine>& lines);
    void summarise(const QList<TranscriptLine>& lines);
    QCoro::Task<> run(Recording recording, std::shared_ptr<SummaryTask> task);
    // The model's summary of the lines, each text so far also handed to `received`; or its failure.
    QCoro::Task<Result<QString>> askModel(SuggestionSettings settings, QList<TranscriptLine> lines,
        std::shared_ptr<SummaryTask> task, std::function<void(const QString&)> received);
    QCoro::Task<> runStored(QUuid callID, std::shared_ptr<SummaryTask> task);
    QCoro::Task<SuggestionSettings> loadSettings() const;
    void saveCall(
        const Recording& recording, const QString& summary, Publish publish, Journal journal = Journal::forget);
    QString notesText(StoreContext& store, const Selection& owners) const;
    // Logs a saving problem and, when publishing, adds it to `saveError`.
    void report(const QString& message, Publish publish);
    void appendSaveError(const QString& message);
    void saveRating(const QUuid& callID, const callRating::Change& change);
    void cancelTask();

    void setText(std::optional<QString> text);
    void setIsError(bool isError);
    void setGenerating(bool generating);
    void setSavedFile(std::optional<QString> path);
    void setSaveError(std::optional<QString> message);
    void setSavedCallID(std::optional<QUuid> id);

    std::optional<QString> m_text;
    bool m_isError = false;
    bool m_isGenerating = false;
    std::optional<QString> m_savedFile;
    std::optional<QString> m_saveError;
    std::optional<QUuid> m_savedCallID;
    std::shared_ptr<SummaryTask> m_task;
    int m_runningTasks = 0;
    // The call being listened to; none between calls.
    std::optional<QUuid> m_callID;
    // Summaries asked for stored calls: the running one's task, or how the last one ended.
    struct StoredSummary {
        std::shared_ptr<SummaryTask> task;
        std::optional<QString> error;
    };
    std::map<QUuid, StoredSummary> m_stored;
    bool m_wasRunning = false;
    QPointer<TranscriptionService> m_transcription;
    HistoryFunction m_suggestions;
    ContextFunction m_context;
    LLMClient m_client;
    QPointer<Settings> m_settings;
    SummaryServiceOptions m_options;
    QPointer<CallJournal> m_journal;
};
