#pragma once

#include "llm/LLMClient.h"
#include "records/Suggestion.h"
#include "settings/LanguageModelSettings.h"
#include "transcription/Transcript.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QUuid>

#include <QCoroTask>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class Clock;
class Settings;
class StoreContext;
class SuggestionRequestHandle;

struct SuggestionServiceOptions {
    // Wait between a trigger and the request; a newer trigger within it replaces the older.
    std::chrono::milliseconds pause { 300 };
    // Where cloud keys come from; without one every cloud request lacks its key.
    languageModelSettings::KeyReader readKey;
    // Times the pause and dates the replies; the system clock when null.
    Clock* clock = nullptr;
};

// Decides when to ask for a reply and keeps the replies of the current call. It watches the
// finished transcript lines: when the other person's newest line looks like a question (or the
// user asks with `suggestNow`), it waits a short pause, then streams a reply from the selected
// language model into `history`. At most one request is pending; a newer trigger cancels it,
// and a cancelled request's entry is removed. Lives on the main thread.
class SuggestionService : public QObject {
    Q_OBJECT

public:
    using ContextFunction = std::function<StoreContext&()>;

    SuggestionService(Transcript* transcript, ContextFunction context, LLMClient client, Settings* settings,
        QObject* parent, SuggestionServiceOptions options = SuggestionServiceOptions());
    ~SuggestionService() override;

    static QString oversizeMessage();

    const QList<Suggestion>& history() const { return m_history; }
    bool isWaiting() const { return m_isWaiting; }

    // Cancels the pending request and forgets the replies and the size warning.
    void clear();
    // At the start of listening: fills Claude's prompt cache with the current system prompt.
    QCoro::Task<> warmUp();
    // Asks for a reply to the transcript as it is, whoever spoke last.
    void suggestNow();

    static bool looksLikeQuestion(const QString& text);
    // The prompt is built from `context` before the first suspension; only the key is waited for.
    QCoro::Task<SuggestionSettings> readSettings(StoreContext& context) const;

Q_SIGNALS:
    void historyChanged();
    void isWaitingChanged(bool waiting);

private:
    void transcriptChanged(const QList<TranscriptLine>& lines);
    // Shows the Q&A bank's answer to the other person's last line at once, when it has one.
    void offerPreparedAnswer(const QList<TranscriptLine>& lines);
    void schedule(const QList<TranscriptLine>& snapshot);
    QCoro::Task<> request(QList<TranscriptLine> snapshot, std::shared_ptr<SuggestionRequestHandle> handle);
    void put(const Suggestion& entry);
    void removeEntries(const QUuid& id);
    void setWaiting(bool waiting);
    QDateTime now() const;

    QList<Suggestion> m_history;
    bool m_isWaiting = false;
    std::shared_ptr<SuggestionRequestHandle> m_pending;
    std::optional<QUuid> m_lastTriggered;
    std::optional<QString> m_oversizeWarned;
    QPointer<Transcript> m_transcript;
    ContextFunction m_context;
    LLMClient m_client;
    QPointer<Settings> m_settings;
    SuggestionServiceOptions m_options;
};
