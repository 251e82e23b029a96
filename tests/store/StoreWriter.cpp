// A second process for the store tests:
//   store_writer loop <store>          saves batches of five calls until killed, printing "saved N"
//   store_writer open <store>          opens (and on first use creates) the store, then ends
//   store_writer post <store> <name>   saves one assistant, then posts the store-changed signal
//   store_writer signal <count> <ms>   posts the signal <count> times, <ms> apart
#include "StoreTesting.h"

#include "store/Store.h"
#include "store/StoreContext.h"
#include "store/StoreSignal.h"

#include <QCoreApplication>
#include <QThread>

#include <cstdio>

namespace {

int giveUp(const QString& message)
{
    std::fprintf(stderr, "store_writer: %s\n", qPrintable(message));
    return 2;
}

int writeLoop(const QString& path)
{
    auto store = Store::open(path);
    if (!store) {
        return giveUp(store.error().message);
    }
    auto context = (*store)->newContext();
    Assistant writer = storeTesting::makeAssistant(QStringLiteral("writer"), 0);
    writer.instructions = QStringLiteral("0");
    context->insert(writer);
    if (auto saved = context->save(); !saved) {
        return giveUp(saved.error().message);
    }
    QList<CallLine> lines;
    for (int i = 0; i < 200; ++i) {
        lines.append(
            { i % 2 == 0, QStringLiteral("line %1 of a long enough call to make each save take a while").arg(i),
                storeTesting::instant(i) });
    }
    const QByteArray linesData = blob::encodeLines(lines);
    for (qint64 batch = 1;; ++batch) {
        for (int i = 0; i < 5; ++i) {
            Call call = storeTesting::makeCall(writer.id, double(batch));
            call.linesData = linesData;
            call.summary = QStringLiteral("batch %1").arg(batch);
            context->insert(call);
        }
        writer.instructions = QString::number(batch);
        context->update(writer);
        if (auto saved = context->save(); !saved) {
            return giveUp(saved.error().message);
        }
        std::printf("saved %lld\n", static_cast<long long>(batch));
        std::fflush(stdout);
    }
}

int postAfterSave(const QString& path, const QString& name)
{
    auto store = Store::open(path);
    if (!store) {
        return giveUp(store.error().message);
    }
    auto context = (*store)->newContext();
    context->insert(storeTesting::makeAssistant(name, 100));
    if (auto saved = context->save(); !saved) {
        return giveUp(saved.error().message);
    }
    storeSignal::postStoreChanged();
    return 0;
}

int postSignals(int count, int gapMs)
{
    for (int i = 0; i < count; ++i) {
        if (i > 0) {
            QThread::msleep(static_cast<unsigned long>(gapMs));
        }
        storeSignal::postStoreChanged();
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 3 && args[1] == QLatin1String("loop")) {
        return writeLoop(args[2]);
    }
    if (args.size() == 3 && args[1] == QLatin1String("open")) {
        auto store = Store::open(args[2]);
        return store ? 0 : giveUp(store.error().message);
    }
    if (args.size() == 4 && args[1] == QLatin1String("post")) {
        return postAfterSave(args[2], args[3]);
    }
    if (args.size() == 4 && args[1] == QLatin1String("signal")) {
        return postSignals(args[2].toInt(), args[3].toInt());
    }
    return giveUp(QStringLiteral("unknown arguments"));
}
