#include "BenchStore.h"

#include "common/Dates.h"
#include "common/Uuid.h"
#include "store/Store.h"
#include "store/StoreContext.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace benchStore {

namespace {

constexpr double firstCallSeconds = 760000000.0;
const QString sentence = QStringLiteral("and then we talked about the project plan for the next quarter");

bool isComplete(const QString& path)
{
    if (!QFileInfo(path).isFile()) {
        return false;
    }
    auto store = Store::open(path);
    if (!store) {
        return false;
    }
    auto context = (*store)->newContext();
    const auto assistants = context->count<Assistant>();
    const auto contexts = context->count<CallContext>();
    const auto calls = context->count<Call>();
    return assistants && *assistants == assistantCount && contexts && *contexts == assistantCount * contextsPerAssistant
        && calls && *calls == assistantCount * callsPerAssistant;
}

} // namespace

QString defaultPath()
{
    return QStringLiteral(QUILLORA_BENCH_DATA_DIR "/Assistants.store");
}

Call makeBenchCall(const QUuid& assistant, const std::optional<QUuid>& context, double startSeconds, int lineCount)
{
    QList<CallLine> lines;
    lines.reserve(lineCount);
    for (int i = 0; i < lineCount; ++i) {
        lines.append(
            { i % 2 == 0, sentence.left(30 + (i * 7) % 34), dates::fromReferenceSeconds(startSeconds + i * 3) });
    }
    Call call;
    call.id = uuid::create();
    call.startedAt = dates::fromReferenceSeconds(startSeconds);
    call.endedAt = dates::fromReferenceSeconds(startSeconds + lineCount * 3);
    call.assistant = assistant;
    call.context = context;
    call.linesData = blob::encodeLines(lines);
    call.suggestionsData = blob::encodeSuggestions(
        { { QStringLiteral("Mention the timeline."), dates::fromReferenceSeconds(startSeconds + 30) } });
    call.summary = QStringLiteral("A call about the project plan.");
    return call;
}

Result<QString> ensureBenchStore(const QString& path)
{
    if (isComplete(path)) {
        return path;
    }
    // Written under another name and renamed at the end, so only a finished store is reused.
    const QString partial = path + QStringLiteral(".partial");
    for (const QString& stale : { path, partial }) {
        for (const QString& suffix : { QString(), QStringLiteral("-wal"), QStringLiteral("-shm") }) {
            QFile::remove(stale + suffix);
        }
    }
    {
        auto store = Store::open(partial);
        if (!store) {
            return std::unexpected(store.error());
        }
        auto context = (*store)->newContext();
        for (int a = 0; a < assistantCount; ++a) {
            Assistant assistant = Assistant::make(QStringLiteral("Assistant %1").arg(a), AssistantTemplate::interview);
            assistant.createdAt = dates::fromReferenceSeconds(firstCallSeconds - 100000 + a);
            context->insert(assistant);
            std::vector<QUuid> contexts;
            for (int c = 0; c < contextsPerAssistant; ++c) {
                CallContext callContext = CallContext::make(QStringLiteral("Context %1.%2").arg(a).arg(c), assistant);
                contexts.push_back(callContext.id);
                context->insert(callContext);
            }
            for (int n = 0; n < callsPerAssistant; ++n) {
                // Calls of all assistants interleave in time, as they would in real use.
                const double start = firstCallSeconds + (n * assistantCount + a) * 3600.0;
                context->insert(makeBenchCall(assistant.id, contexts[n % contextsPerAssistant], start));
            }
            if (auto saved = context->save(); !saved) {
                return std::unexpected(saved.error());
            }
        }
    }
    // The last connection closed: the log is checkpointed into the file and removed.
    if (!QFile::rename(partial, path)) {
        return fail(QStringLiteral("Could not rename %1").arg(partial));
    }
    return path;
}

} // namespace benchStore
