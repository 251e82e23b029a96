#pragma once

#include "improvement/Improvement.h"
#include "llm/LLMClient.h"
#include "settings/LanguageModelSettings.h"
#include "store/StoreHolder.h"

#include <QCoroTask>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>

class Settings;
struct ImprovementRun;

struct ImprovementServiceOptions {
    // Where cloud keys come from; without one every cloud request lacks its key.
    languageModelSettings::KeyReader readKey;
    // The provider, model and key, read afresh for every run; from the settings and `readKey` when
    // empty. Nothing means no cloud provider is chosen.
    std::function<QCoro::Task<std::optional<ImprovementSettings>>()> loadSettings;
};

// Improves an assistant from its recorded calls. A run asks the language model about each new call
// in turn, keeps the proposals whose quotes were really said, merges them in one more request,
// and stores the survivors as pending proposals while marking the calls reviewed, in one save or
// none. One run at a time in the whole app; a second request while one runs is dropped. Every
// outcome ends in `message`. Lives on the main thread.
//
// A run holds no record and no store context across a wait: after each request it reads what it
// needs again by id through the holder, so a reopened store is simply read anew.
class ImprovementService : public QObject {
    Q_OBJECT

public:
    static QString chooseProviderMessage();
    static QString noNewCallsMessage();
    static QString mergingProgress();
    static QString nothingNewMessage();
    // Completes "Improvement failed: …".
    static QString assistantDeleted();

    ImprovementService(LLMClient client, Settings* settings, QObject* parent, ImprovementServiceOptions options = {});
    ~ImprovementService() override;

    // The assistant whose run is in progress; none when idle.
    const std::optional<QUuid>& runningAssistant() const { return m_runningAssistant; }
    // What the run is doing; empty when idle.
    const QString& progress() const { return m_progress; }
    // The outcome of the last run, or why a run did not start; cleared when a run starts.
    const std::optional<QString>& message() const { return m_message; }
    // A run was asked for and has not ended yet (its start checks included).
    bool isBusy() const { return m_run != nullptr; }

    // Starts a run for the assistant on the holder's store and returns at once.
    void run(const QUuid& assistantID, StoreHolder* store);

    static QString analyzingProgress(qsizetype call, qsizetype calls);
    static QString failureMessage(const QString& description);
    // "1 new proposal.", "<n> new proposals." or the nothing-new text.
    static QString outcomeMessage(qsizetype stored);
    // A call failed this many runs in a row for the same reason of its own is marked reviewed with
    // the reason kept, so that it is not billed on every run; the user can ask for it again.
    static constexpr qint64 givenUpAfterFailures = 2;
    // What the run's message says about a call it skipped, or gave up on.
    static QString skippedCallNote(const QString& date, const QString& reason, bool givenUp);

Q_SIGNALS:
    void runningAssistantChanged();
    void progressChanged();
    void messageChanged();
    // A run (or a start that failed its checks) has ended and `message` holds its outcome.
    void ended();

private:
    struct Skipped;

    QCoro::Task<> execute(QUuid assistantID, QPointer<StoreHolder> store, std::shared_ptr<ImprovementRun> run);
    QCoro::Task<std::optional<ImprovementSettings>> loadSettings() const;
    // One request; the reply text or the request's error.
    QCoro::Task<Result<QString>> ask(ImprovementSettings settings, QString system, QString user, QJsonObject schema,
        std::shared_ptr<ImprovementRun> run);
    // Stores the drafts, marks the analysed calls and keeps the failures of the skipped ones, in one
    // save; the number of proposals stored.
    Result<qsizetype> store(StoreHolder* holder, const QUuid& assistantID, const QList<ProposalDraft>& drafts,
        const QList<QUuid>& calls, const QList<Skipped>& skipped);
    void end(const QString& message);

    void setRunningAssistant(std::optional<QUuid> id);
    void setProgress(const QString& progress);
    void setMessage(std::optional<QString> message);

    std::optional<QUuid> m_runningAssistant;
    QString m_progress;
    std::optional<QString> m_message;
    LLMClient m_client;
    QPointer<Settings> m_settings;
    ImprovementServiceOptions m_options;
    std::shared_ptr<ImprovementRun> m_run;
};
