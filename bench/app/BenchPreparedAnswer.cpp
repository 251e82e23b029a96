// From a finished question of the other person to the prepared answer's card painted in the call
// window's timeline, with the app's real services and an assistant whose Q&A bank holds 500 items.
// Prints one figure a line as "name value unit". Needs the display of scripts/with-services.

#include "BenchFigures.h"
#include "app/TimelinePaintWatch.h"
#include "app/callwindow/CallWindow.h"
#include "app/callwindow/TimelineList.h"
#include "app/callwindow/TimelineModel.h"
#include "app/callwindow/TimelineView.h"
#include "app/services/DesktopServices.h"
#include "settings/Settings.h"
#include "store/Store.h"
#include "store/StoreContext.h"
#include "suggestions/QaBank.h"
#include "transcription/TranscriptionService.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QWindow>

#include <cstdio>
#include <optional>

namespace {

using bench::Steady;

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QTemporaryDir directory;
    Settings settings(directory.filePath(QStringLiteral("Quillora.conf")), nullptr);
    // The model is never reached: the on-device provider at an address where nothing listens.
    settings.setText(SettingKey::llmProvider, QStringLiteral("onDevice"));
    settings.setText(SettingKey::localModelURL, QStringLiteral("http://127.0.0.1:9/v1"));
    auto store = Store::openInMemory();
    if (!store) {
        return 1;
    }
    std::vector<QAItem> bank = bench::qaBankOf500();
    {
        auto context = (*store)->newContext();
        const Assistant assistant = Assistant::make(QStringLiteral("Bench"), AssistantTemplate::interview);
        context->insert(assistant);
        for (QAItem& item : bank) {
            item.assistant = assistant.id;
            context->insert(item);
        }
        if (!context->save()) {
            return 1;
        }
    }
    DesktopServices services(&settings, OpenedStore { *store, true, QString() }, nullptr, DesktopServices::Options {});
    CallWindow window(services, nullptr, CallWindowOptions {});
    window.show();
    if (!bench::spinUntil([&] { return window.isVisible() && window.windowHandle()->isExposed(); })) {
        return 1;
    }
    bench::TimelinePaintWatch watch(*window.findChild<TimelineView*>(), [](const TimelineModel& model, int row) {
        return !model.index(row).data(TimelineModel::PreparedQuestionRole).toString().isEmpty();
    });
    Transcript& transcript = services.transcription().transcript();
    std::vector<double> times;
    // The bank's own questions, as the other person would open them.
    for (size_t round = 0; round < 40; ++round) {
        bench::spinUntil([] { return false; }, std::chrono::milliseconds(30));
        watch.painted.reset();
        watch.earlier = watch.counted();
        const auto asked = Steady::now();
        transcript.handleText(QStringLiteral("So, ") + bank[round].question, true, Speaker::them);
        if (!bench::spinUntil([&] { return watch.painted.has_value(); }, std::chrono::seconds(5))) {
            std::fprintf(stderr, "bench: no prepared answer was painted for: %s\n", qPrintable(bank[round].question));
            return 1;
        }
        times.push_back(std::chrono::duration<double, std::milli>(*watch.painted - asked).count());
        transcript.handleText(QStringLiteral("Right."), true, Speaker::me);
    }
    bench::print("app.prepared_answer_bank_items", static_cast<double>(bank.size()), "items");
    bench::print("app.line_to_prepared_answer_painted_median_ms", bench::median(times), "ms");
    bench::print("app.line_to_prepared_answer_painted_worst_ms", *std::max_element(times.begin(), times.end()), "ms");
    return 0;
}
