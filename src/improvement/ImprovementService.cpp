#include "improvement/ImprovementService.h"

#include "common/Log.h"
#include "improvement/QuoteCheck.h"
#include "settings/Settings.h"
#include "store/Store.h"
#include "store/StoreContext.h"
#include "store/StoreHolder.h"

#include <QCoroSignal>
#include <QLocale>

// The handle of the one run, shared by the service and the run's task.
struct ImprovementRun {
    // The service is being destroyed: the task must neither publish nor store anything more.
    bool abandoned = false;
    QPointer<LLMStream> stream;

    void abandon()
    {
        abandoned = true;
        if (stream) {
            stream->cancel(); // its `finished` wakes the task, which then stops
        }
    }
};

// A call whose analysis failed for a reason of its own; the run goes on without it. It stays new,
// unless the run before failed on it the same way: asking a third time would only bill it again.
struct ImprovementService::Skipped {
    QUuid id;
    QDateTime startedAt;
    QString reason;
    qint64 failures = 1; // runs in a row that failed on it for this reason, this one included

    bool givenUp() const { return failures >= givenUpAfterFailures; }
};

namespace {

// A stream is ended by its own `finished`, so it is deleted only once that signal has returned.
struct DeleteLater {
    void operator()(QObject* object) const { object->deleteLater(); }
};

QString storeClosed()
{
    return ImprovementService::tr("the store was closed", "completes \"Improvement failed: …\"");
}

// The run's notes: dropped quotes are user content and stay private.
void logNote(const QString& text)
{
    if (text.startsWith(QLatin1String("quote dropped"))) {
        qCDebug(lcImprovement, "quote dropped: <private>");
    } else {
        qCInfo(lcImprovement, "%s", qUtf8Printable(text));
    }
}

QString callDate(const QDateTime& startedAt)
{
    return QLocale().toString(startedAt.toLocalTime(), QLocale::ShortFormat);
}

// Whether two failures of a call's analysis are the same failure: a refusal, a reply cut off, a
// request too large for the model, or a reply that could not be read. Their texts may differ in
// details (a token count, a request id in the body) that say nothing about the call.
bool sameFailure(const QString& earlier, const QString& now)
{
    const auto kind = [](const QString& message) {
        if (message == llmMessage::refusal() || message == llmMessage::cutOff()) {
            return message;
        }
        return llmMessage::concernsTheRequest(message) ? QStringLiteral("too large") : QStringLiteral("unreadable");
    };
    return kind(earlier) == kind(now);
}

QString sentence(const QString& text)
{
    return text.endsWith(u'.') ? text : text + u'.';
}

// What a run reads between requests: a context of its own on the holder's current store, and the
// assistant with its bank. `missing` describes an assistant that is not there.
struct RunRead {
    std::unique_ptr<StoreContext> context;
    improvement::AssistantState state;
};

Result<RunRead> readRun(const QPointer<StoreHolder>& holder, const QUuid& assistantID, const QString& missing)
{
    if (!holder) {
        return fail(storeClosed());
    }
    RunRead read { holder->container()->newContext(), {} };
    auto state = improvement::readAssistant(*read.context, assistantID);
    if (!state) {
        return std::unexpected(state.error());
    }
    if (!*state) {
        return fail(missing);
    }
    read.state = std::move(**state);
    return read;
}

Result<bool> callExists(StoreContext& context, const QUuid& callID)
{
    Query query = Query::byId(callID);
    query.withoutBlobs = true;
    auto found = context.fetch<Call>(query);
    if (!found) {
        return std::unexpected(found.error());
    }
    return !found->empty();
}

} // namespace

ImprovementService::ImprovementService(
    LLMClient client, Settings* settings, QObject* parent, ImprovementServiceOptions options)
    : QObject(parent)
    , m_client(std::move(client))
    , m_settings(settings)
    , m_options(std::move(options))
{
}

ImprovementService::~ImprovementService()
{
    if (m_run) {
        m_run->abandon();
    }
}

QString ImprovementService::chooseProviderMessage()
{
    return tr("Choose Claude or OpenAI in Settings to use improvements.");
}

QString ImprovementService::noNewCallsMessage()
{
    return tr("No new calls to analyze.");
}

QString ImprovementService::mergingProgress()
{
    return tr("Merging the proposals…");
}

QString ImprovementService::nothingNewMessage()
{
    return tr("No new proposals: the calls brought nothing the assistant does not already have.");
}

QString ImprovementService::assistantDeleted()
{
    return tr("the assistant was deleted during the analysis", "completes \"Improvement failed: …\"");
}

QString ImprovementService::analyzingProgress(qsizetype call, qsizetype calls)
{
    return tr("Analyzing call %1 of %2…").arg(call).arg(calls);
}

QString ImprovementService::failureMessage(const QString& description)
{
    // Error texts that end a sentence of their own ("… (Ctrl+,).") are not given a second period.
    return description.endsWith(u'.') ? tr("Improvement failed: %1 Nothing was changed.").arg(description)
                                      : tr("Improvement failed: %1. Nothing was changed.").arg(description);
}

QString ImprovementService::outcomeMessage(qsizetype stored)
{
    if (stored == 0) {
        return nothingNewMessage();
    }
    if (stored == 1) {
        return tr("1 new proposal.");
    }
    return tr("%1 new proposals.").arg(stored);
}

void ImprovementService::run(const QUuid& assistantID, StoreHolder* store)
{
    if (m_run) {
        return; // one run in the whole app; the request is dropped
    }
    m_run = std::make_shared<ImprovementRun>();
    execute(assistantID, QPointer<StoreHolder>(store), m_run); // runs on by itself
}

QCoro::Task<std::optional<ImprovementSettings>> ImprovementService::loadSettings() const
{
    if (m_options.loadSettings) {
        return m_options.loadSettings();
    }
    if (!m_settings) {
        return []() -> QCoro::Task<std::optional<ImprovementSettings>> { co_return std::nullopt; }();
    }
    return languageModelSettings::loadImprovementSettings(*m_settings, m_options.readKey);
}

QCoro::Task<> ImprovementService::execute(
    QUuid assistantID, QPointer<StoreHolder> holder, std::shared_ptr<ImprovementRun> run)
{
    const QPointer<ImprovementService> self(this);
    const std::optional<ImprovementSettings> settings = co_await loadSettings();
    if (!self || run->abandoned) {
        co_return;
    }
    if (!settings) {
        end(chooseProviderMessage());
        co_return;
    }

    // The start checks read through a context of their own, dropped before the first request.
    QList<QUuid> callIDs;
    {
        const auto read = readRun(holder, assistantID, QStringLiteral("assistant not found"));
        if (!read) {
            end(failureMessage(read.error().message));
            co_return;
        }
        const auto calls = improvement::newCalls(*read->context, assistantID);
        if (!calls) {
            end(failureMessage(calls.error().message));
            co_return;
        }
        if (calls->empty()) {
            end(noNewCallsMessage());
            co_return;
        }
        for (const Call& call : *calls) {
            callIDs.append(call.id);
        }
    }
    const qsizetype count = callIDs.size();
    setRunningAssistant(assistantID);
    setMessage(std::nullopt);
    setProgress(analyzingProgress(1, count));
    qCInfo(lcImprovement, "start: %lld calls, %s %s", static_cast<long long>(count),
        qUtf8Printable(llmProvider::rawText(settings->provider)), qUtf8Printable(settings->model));

    const auto failRun = [this](const QString& description) {
        qCCritical(lcImprovement, "failed: %s", qUtf8Printable(description));
        end(failureMessage(description));
    };

    QList<ProposalDraft> candidates;
    // The prepared lines of each call that gave candidates. A call's lines never change once it is
    // stored, so those prepared for its analysis serve the merge's check too.
    improvement::CallLines candidateLines;
    QList<Skipped> skipped;
    QList<QUuid> analysed; // the calls to mark: the run's calls without those skipped
    for (qsizetype i = 0; i < count; ++i) {
        const QUuid callID = callIDs[i];
        std::optional<QString> user;
        QList<CallLine> callLines;
        QDateTime startedAt;
        Skipped earlier; // the failure the runs before left on the call
        {
            const auto read = readRun(holder, assistantID, assistantDeleted());
            if (!read) {
                failRun(read.error().message);
                co_return;
            }
            const auto call = read->context->fetchOne<Call>(callID);
            if (!call) {
                failRun(call.error().message);
                co_return;
            }
            if (*call) {
                callLines = (*call)->lines();
            }
            // A call deleted meanwhile, or one without lines, is passed over without a request.
            if (!callLines.isEmpty()) {
                std::optional<CallContext> callContext;
                if ((*call)->context) {
                    auto found = read->context->fetchOne<CallContext>(*(*call)->context);
                    if (found && *found) {
                        callContext = **found;
                    }
                }
                user = improvement::callMessage(**call, callLines, callContext, read->state);
                startedAt = (*call)->startedAt;
                earlier.reason = (*call)->improvementFailure;
                earlier.failures = (*call)->improvementFailures;
            }
        }
        if (user) {
            const Result<QString> reply =
                co_await ask(*settings, improvement::analysisSystemPrompt(), *user, improvement::analysisSchema(), run);
            if (!self || run->abandoned) {
                co_return;
            }
            // A reply without any text is as unreadable as one that is not JSON: a failure of this
            // call's own, which must not hold up the others.
            if (!reply && !llmMessage::concernsTheRequest(reply.error().message)
                && reply.error().message != llmMessage::noText()) {
                failRun(reply.error().message);
                co_return;
            }
            const Result<improvement::Reply> decoded =
                reply ? improvement::decodeReply(*reply) : std::unexpected(reply.error());
            if (!decoded) {
                // Asking again at once would fail the same way: the call waits for a later run
                // instead of blocking this one.
                const QString& reason = decoded.error().message;
                const bool again = !earlier.reason.isEmpty() && sameFailure(earlier.reason, reason);
                const Skipped call { callID, startedAt, reason, again ? earlier.failures + 1 : 1 };
                if (call.givenUp()) {
                    qCCritical(lcImprovement, "call %lld/%lld given up after %lld failures: %s",
                        static_cast<long long>(i + 1), static_cast<long long>(count),
                        static_cast<long long>(call.failures), qUtf8Printable(reason));
                } else {
                    qCCritical(lcImprovement, "call %lld/%lld skipped: %s", static_cast<long long>(i + 1),
                        static_cast<long long>(count), qUtf8Printable(reason));
                }
                skipped.append(call);
            } else {
                // The assistant and its bank are read again: the store may have changed or been
                // reopened meanwhile, and a call deleted meanwhile backs no quote.
                const auto read = readRun(holder, assistantID, assistantDeleted());
                if (!read) {
                    failRun(read.error().message);
                    co_return;
                }
                const auto present = callExists(*read->context, callID);
                if (!present) {
                    failRun(present.error().message);
                    co_return;
                }
                // Prepared only now, so that the turn before the request stays short.
                QList<improvement::Line> lines = improvement::prepareLines(std::exchange(callLines, {}));
                improvement::CallLines table;
                if (*present) {
                    table.insert(improvement::callKey(callID), lines);
                }
                const QList<ProposalDraft> valid =
                    improvement::validate(decoded->proposals, table, read->state.bank, logNote);
                logNote(QStringLiteral("call %1/%2: %3 drafts, %4 valid")
                            .arg(i + 1)
                            .arg(count)
                            .arg(decoded->proposals.size())
                            .arg(valid.size()));
                if (!valid.isEmpty()) {
                    candidates.append(valid);
                    candidateLines.insert(improvement::callKey(callID), std::move(lines));
                }
                analysed.append(callID);
            }
        } else {
            analysed.append(callID);
        }
        setProgress(i + 1 < count ? analyzingProgress(i + 2, count) : mergingProgress());
    }

    QList<ProposalDraft> result;
    if (!candidates.isEmpty()) {
        QString user;
        {
            const auto read = readRun(holder, assistantID, assistantDeleted());
            if (!read) {
                failRun(read.error().message);
                co_return;
            }
            user = improvement::mergeMessage(read->state, candidates);
        }
        const Result<QString> reply =
            co_await ask(*settings, improvement::mergeSystemPrompt(), user, improvement::mergeSchema(), run);
        if (!self || run->abandoned) {
            co_return;
        }
        if (!reply) {
            failRun(reply.error().message);
            co_return;
        }
        const Result<improvement::MergeReply> decoded = improvement::decodeMergeReply(*reply);
        if (!decoded) {
            failRun(decoded.error().message);
            co_return;
        }
        const QList<ProposalDraft> rebuilt = improvement::rebuild(*decoded, candidates);
        const auto read = readRun(holder, assistantID, assistantDeleted());
        if (!read) {
            failRun(read.error().message);
            co_return;
        }
        for (const QUuid& id : analysed) {
            const auto present = callExists(*read->context, id);
            if (!present) {
                failRun(present.error().message);
                co_return;
            }
            if (!*present) {
                candidateLines.remove(improvement::callKey(id));
            }
        }
        result = improvement::validate(rebuilt, candidateLines, read->state.bank, logNote);
        logNote(QStringLiteral("merge: %1 drafts, %2 valid").arg(rebuilt.size()).arg(result.size()));
    }

    // One sentence per skipped call, each after the run's outcome.
    QString skippedNote;
    bool gaveUp = false;
    for (const Skipped& call : skipped) {
        skippedNote += u' ' + skippedCallNote(callDate(call.startedAt), sentence(call.reason), call.givenUp());
        gaveUp = gaveUp || call.givenUp();
    }
    // The failures are kept even when no call could be analysed, so that the next run can tell a
    // call that fails every time.
    const Result<qsizetype> stored = store(holder, assistantID, result, analysed, skipped);
    if (!stored) {
        failRun(stored.error().message);
        co_return;
    }
    if (analysed.isEmpty()) {
        qCCritical(lcImprovement, "failed: no call could be analyzed");
        // A call given up on was changed; otherwise the store holds nothing new the user would see.
        end(gaveUp ? tr("Improvement failed: no call could be analyzed.%1").arg(skippedNote)
                   : tr("Improvement failed: no call could be analyzed.%1 Nothing was changed.").arg(skippedNote));
        co_return;
    }
    qCInfo(lcImprovement, "done: %lld proposals", static_cast<long long>(*stored));
    end(outcomeMessage(*stored) + skippedNote);
}

QString ImprovementService::skippedCallNote(const QString& date, const QString& reason, bool givenUp)
{
    if (givenUp) {
        return tr("Gave up on the call of %1 after the same failure twice: %2 To try it again, use \"Analyze "
                  "again\" in its row in the Calls tab.")
            .arg(date, reason);
    }
    return tr("Skipped the call of %1: %2").arg(date, reason);
}

QCoro::Task<Result<QString>> ImprovementService::ask(
    ImprovementSettings settings, QString system, QString user, QJsonObject schema, std::shared_ptr<ImprovementRun> run)
{
    LLMRequest request;
    request.provider = settings.provider;
    request.model = settings.model;
    request.apiKey = settings.apiKey;
    request.system = std::move(system);
    request.user = std::move(user);
    request.effort = QStringLiteral("high");
    request.cacheSystem = false;
    request.schema = std::move(schema);
    const std::unique_ptr<LLMStream, DeleteLater> stream(m_client.stream(request).release());
    run->stream = stream.get();
    std::optional<Error> failure;
    connect(
        stream.get(), &LLMStream::finished, this, [&failure](const std::optional<Error>& error) { failure = error; });
    co_await qCoro(stream.get(), &LLMStream::finished);
    if (failure) {
        co_return Result<QString>(std::unexpected(*failure));
    }
    co_return Result<QString>(stream->text());
}

Result<qsizetype> ImprovementService::store(StoreHolder* holder, const QUuid& assistantID,
    const QList<ProposalDraft>& drafts, const QList<QUuid>& calls, const QList<Skipped>& skipped)
{
    if (!holder) {
        return fail(storeClosed());
    }
    // A context of the run's own: a failed save is rolled back whole, and edits pending elsewhere in
    // the app are neither saved with the run nor able to make its save fail.
    const auto context = holder->container()->newContext();
    const auto assistant = context->fetchOne<Assistant>(assistantID);
    if (!assistant) {
        return std::unexpected(assistant.error());
    }
    if (!*assistant) {
        return fail(assistantDeleted());
    }
    for (const ProposalDraft& draft : drafts) {
        Proposal proposal = Proposal::make(draft);
        proposal.assistant = assistantID;
        context->insert(proposal);
    }
    for (const QUuid& id : calls) {
        auto call = context->fetchOne<Call>(id);
        if (!call) {
            return std::unexpected(call.error());
        }
        if (*call) { // calls deleted meanwhile are simply missing
            (*call)->reviewedForImprovement = true;
            (*call)->improvementFailure.clear();
            (*call)->improvementFailures = 0;
            context->update(**call);
        }
    }
    for (const Skipped& failed : skipped) {
        auto call = context->fetchOne<Call>(failed.id);
        if (!call) {
            return std::unexpected(call.error());
        }
        if (*call) {
            (*call)->improvementFailure = failed.reason;
            (*call)->improvementFailures = failed.failures;
            (*call)->reviewedForImprovement = failed.givenUp();
            context->update(**call);
        }
    }
    if (auto saved = context->save(); !saved) {
        context->rollback();
        return std::unexpected(saved.error());
    }
    return drafts.size();
}

void ImprovementService::end(const QString& message)
{
    m_run.reset();
    setMessage(message);
    setRunningAssistant(std::nullopt);
    setProgress(QString());
    Q_EMIT ended();
}

void ImprovementService::setRunningAssistant(std::optional<QUuid> id)
{
    if (m_runningAssistant != id) {
        m_runningAssistant = id;
        Q_EMIT runningAssistantChanged();
    }
}

void ImprovementService::setProgress(const QString& progress)
{
    if (m_progress != progress) {
        m_progress = progress;
        Q_EMIT progressChanged();
    }
}

void ImprovementService::setMessage(std::optional<QString> message)
{
    if (m_message != message) {
        m_message = std::move(message);
        Q_EMIT messageChanged();
    }
}
