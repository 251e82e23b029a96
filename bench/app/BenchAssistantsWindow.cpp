// Figures for the assistants window, one per line as "name value unit". Needs a display (scripts/bench
// runs it on Xvfb).
//   - opening the window on a store of 50 assistants, 200 contexts, 1,000 calls and 10 MB of knowledge,
//     to its first paint, with the general, knowledge and calls tab open;
//   - opening a two-hour call (2,000 lines) in the calls list, to the paint that shows it;
//   - reading the store again after a save (an assistant renamed) with the calls tab open, to the
//     refreshed window.

#include "BenchFigures.h"
#include "PaintWatch.h"
#include "app/assistants/AssistantsWindow.h"
#include "app/assistants/CallRow.h"
#include "app/assistants/CallsTab.h"
#include "app/assistants/DetailView.h"
#include "app/assistants/ShownRecord.h"
#include "common/Dates.h"
#include "common/Uuid.h"
#include "settings/Settings.h"
#include "store/StoreHolder.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>
#include <vector>

namespace {

using bench::median;
using bench::millisecondsSince;
using bench::PaintWatch;
using bench::print;
using bench::Steady;

constexpr int assistants = 50;
constexpr int contextsPerAssistant = 4;
constexpr int callsPerAssistant = 20;
constexpr int filesPerAssistant = 2;
constexpr int bytesPerFile = 100 * 1024; // 100 files of 100 KB: 10 MB
constexpr int longCallLines = 2000;
constexpr int rounds = 9;

QString prose(int bytes)
{
    const QString sentence = QStringLiteral("Led the move of the billing system to the new platform in 2021. ");
    QString text;
    text.reserve(bytes);
    while (text.size() < bytes) {
        text += sentence;
    }
    text.truncate(bytes);
    return text;
}

Call call(const Assistant& owner, const std::optional<QUuid>& context, const QDateTime& start, int lines)
{
    QList<CallLine> transcript;
    QList<CallSuggestion> suggestions;
    for (int index = 0; index < lines; ++index) {
        transcript.append({ index % 2 == 1,
            QStringLiteral("Line %1: and then we moved the whole team over to the new system last spring").arg(index),
            start.addSecs(index * 3) });
        if (index % 20 == 19) {
            suggestions.append(
                { QStringLiteral("You could say that the move took three months."), start.addSecs(index * 3 + 1) });
        }
    }
    Call made;
    made.id = uuid::create();
    made.startedAt = start;
    made.endedAt = start.addSecs(qint64(lines) * 3 + 60);
    made.assistant = owner.id;
    made.context = context;
    made.linesData = blob::encodeLines(transcript);
    made.suggestionsData = blob::encodeSuggestions(suggestions);
    made.summary = QStringLiteral("The candidate described the billing move and agreed to a second interview.");
    return made;
}

// The seeded store; returns the first assistant and the id of its two-hour call.
std::pair<Assistant, QUuid> seed(StoreContext& context)
{
    const QString file = prose(bytesPerFile);
    const QDateTime start = dates::now().addDays(-400);
    std::optional<Assistant> first;
    QUuid longCall;
    for (int a = 0; a < assistants; ++a) {
        Assistant assistant = Assistant::make(QStringLiteral("Assistant %1").arg(a), AssistantTemplate::interview);
        assistant.createdAt = start.addSecs(a);
        context.insert(assistant);
        std::vector<QUuid> contexts;
        for (int c = 0; c < contextsPerAssistant; ++c) {
            CallContext made = CallContext::make(QStringLiteral("Company %1").arg(c), assistant);
            context.insert(made);
            contexts.push_back(made.id);
        }
        for (int f = 0; f < filesPerAssistant; ++f) {
            KnowledgeFile knowledge = KnowledgeFile::make(QStringLiteral("notes-%1.md").arg(f), file);
            knowledge.assistant = assistant.id;
            context.insert(knowledge);
        }
        for (int k = 0; k < callsPerAssistant; ++k) {
            // The first assistant's newest call is the long one.
            const bool isLong = a == 0 && k == callsPerAssistant - 1;
            const Call made = call(assistant, contexts[size_t(k) % contexts.size()], start.addDays(k).addSecs(a),
                isLong ? longCallLines : 60);
            if (isLong) {
                longCall = made.id;
            }
            context.insert(made);
        }
        if (!first) {
            first = assistant;
        }
    }
    return { *first, longCall };
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QTemporaryDir directory;
    auto store = Store::open(directory.filePath(QStringLiteral("Assistants.store")));
    if (!store) {
        std::fprintf(stderr, "bench_app_assistants: %s\n", qUtf8Printable(store.error().message));
        return 1;
    }
    auto [first, longCall] = [&] {
        auto context = (*store)->newContext();
        auto seeded = seed(*context);
        if (!context->save()) {
            std::fprintf(stderr, "bench_app_assistants: seeding failed\n");
            std::exit(1);
        }
        return seeded;
    }();
    Settings settings(directory.filePath(QStringLiteral("Quillora.conf")), nullptr);
    settings.setText(
        SettingKey::assistantsWindowSelection, ShownRecord { ShownRecord::Kind::assistant, first.id }.text());

    for (const QString& tab : { DetailView::general, DetailView::knowledge, DetailView::calls }) {
        settings.setText(SettingKey::assistantTab, tab);
        std::vector<double> times;
        for (int round = 0; round < rounds; ++round) {
            // A new holder each round, as the store is read afresh when the app opens the window.
            StoreHolder holder(
                *store, false, [&] { return Store::open((*store)->path()); }, nullptr);
            const auto started = Steady::now();
            AssistantsWindow window(&holder, &settings, nullptr);
            PaintWatch watch([&window](QObject* watched) { return watched == &window; });
            window.show();
            if (!bench::spinUntil([&] { return watch.painted; })) {
                std::fprintf(stderr, "bench_app_assistants: the window was not painted\n");
                return 1;
            }
            times.push_back(millisecondsSince(started));
        }
        print(qPrintable(QStringLiteral("app.assistants_window_first_paint_%1_ms").arg(tab)), median(times), "ms");
    }

    // The two-hour call: its row opened, laid out and painted.
    settings.setText(SettingKey::assistantTab, DetailView::calls);
    std::vector<double> times;
    for (int round = 0; round < rounds; ++round) {
        StoreHolder holder(
            *store, false, [&] { return Store::open((*store)->path()); }, nullptr);
        AssistantsWindow window(&holder, &settings, nullptr);
        PaintWatch shown([&window](QObject* watched) { return watched == &window; });
        window.show();
        bench::spinUntil([&] { return shown.painted; });
        auto* calls = qobject_cast<CallsTab*>(window.findChild<DetailView*>()->tab(DetailView::calls));
        CallRow* row = calls->rows().first();
        if (row->callID() != longCall) {
            std::fprintf(stderr, "bench_app_assistants: the long call is not the newest\n");
            return 1;
        }
        PaintWatch watch(
            [row](QObject* watched) { return row->transcript() && watched == row->transcript()->viewport(); });
        const auto started = Steady::now();
        row->setExpanded(true);
        if (!bench::spinUntil([&] { return watch.painted; })) {
            std::fprintf(stderr, "bench_app_assistants: the call was not painted\n");
            return 1;
        }
        times.push_back(millisecondsSince(started));
        if (row->transcript()->blockCount() < longCallLines) {
            std::fprintf(stderr, "bench_app_assistants: the transcript is incomplete\n");
            return 1;
        }
    }
    print("app.assistants_call_detail_2000_lines_ms", median(times), "ms");

    // A save while the window is open: the sidebar, the detail and the calls tab read the store again.
    times.clear();
    StoreHolder holder(
        *store, false, [&] { return Store::open((*store)->path()); }, nullptr);
    AssistantsWindow window(&holder, &settings, nullptr);
    window.show();
    for (int round = 0; round < rounds; ++round) {
        bool refreshed = false;
        const QMetaObject::Connection done =
            QObject::connect(&window, &AssistantsWindow::refreshed, &window, [&refreshed] { refreshed = true; });
        first.name = QStringLiteral("Assistant 0 (%1)").arg(round);
        holder.context().update(first);
        const auto started = Steady::now();
        if (!holder.context().save() || !bench::spinUntil([&] { return refreshed; })) {
            std::fprintf(stderr, "bench_app_assistants: the window did not refresh\n");
            return 1;
        }
        times.push_back(millisecondsSince(started));
        QObject::disconnect(done);
    }
    print("app.assistants_refresh_after_save_ms", median(times), "ms");
    return 0;
}
