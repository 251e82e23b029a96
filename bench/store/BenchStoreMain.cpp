// Store figures on a large store: opening it, one assistant's calls sorted by start, and one
// durable insert-and-save. Prints "name value unit" lines.
#include "BenchStore.h"

#include "common/Uuid.h"
#include "store/Store.h"
#include "store/StoreContext.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double elapsedMs(const QElapsedTimer& timer)
{
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

void print(const char* name, double value, const char* unit)
{
    std::printf("%s %.3f %s\n", name, value, unit);
    std::fflush(stdout);
}

int giveUp(const QString& message)
{
    std::fprintf(stderr, "bench_store: %s\n", qPrintable(message));
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QElapsedTimer generation;
    generation.start();
    const auto path = benchStore::ensureBenchStore();
    if (!path) {
        return giveUp(path.error().message);
    }
    print("store.prepare_s", elapsedMs(generation) / 1000.0, "s");

    // Opening: the app at start and after every external write, the tool server at start.
    std::vector<double> openMs;
    for (int run = 0; run < 21; ++run) {
        QElapsedTimer timer;
        timer.start();
        auto store = Store::open(*path);
        if (!store) {
            return giveUp(store.error().message);
        }
        (*store)->newContext()->count<Assistant>();
        openMs.push_back(elapsedMs(timer));
    }
    print("store.open_ms", median(openMs), "ms");

    auto store = Store::open(*path);
    if (!store) {
        return giveUp(store.error().message);
    }
    auto context = (*store)->newContext();
    const auto assistants = context->fetch<Assistant>(Query::all());
    if (!assistants || assistants->empty()) {
        return giveUp(QStringLiteral("no assistants"));
    }

    // One assistant's calls, oldest first (the assistants window's call list).
    std::vector<double> fetchMs;
    size_t fetchedCalls = 0;
    for (int run = 0; run < 21; ++run) {
        const Assistant& assistant = (*assistants)[static_cast<size_t>(run * 7) % assistants->size()];
        QElapsedTimer timer;
        timer.start();
        const auto calls = context->fetch<Call>(Query::ofAssistant(assistant.id, Order::oldestFirst));
        fetchMs.push_back(elapsedMs(timer));
        if (!calls) {
            return giveUp(calls.error().message);
        }
        fetchedCalls = calls->size();
    }
    print("store.fetch_assistant_calls_ms", median(fetchMs), "ms");
    print("store.fetch_assistant_calls_count", static_cast<double>(fetchedCalls), "calls");

    // One finished call stored, committed durably (WAL, synchronous=FULL).
    const Assistant& owner = assistants->front();
    std::vector<double> saveMs;
    std::vector<QUuid> added;
    for (int run = 0; run < 31; ++run) {
        Call call = benchStore::makeBenchCall(owner.id, std::nullopt, 800000000.0 + run * 3600);
        added.push_back(call.id);
        QElapsedTimer timer;
        timer.start();
        context->insert(call);
        const auto saved = context->save();
        saveMs.push_back(elapsedMs(timer));
        if (!saved) {
            return giveUp(saved.error().message);
        }
    }
    print("store.insert_save_call_ms", median(saveMs), "ms");

    // Leave the cached store as it was generated.
    for (const QUuid& id : added) {
        context->remove<Call>(id);
    }
    if (auto saved = context->save(); !saved) {
        return giveUp(saved.error().message);
    }
    return 0;
}
