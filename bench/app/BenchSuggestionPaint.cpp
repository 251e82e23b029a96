// From a finished question of the other person to the first text of the suggestion painted in the
// call window, with the app's real services and a loopback Claude that answers at once. Prints one
// figure a line as "name value unit"; the suggestion pause (0.3 s) is inside the first figure and
// taken out of the second. Needs the keyring and display of scripts/with-services.

#include "BenchFigures.h"
#include "app/TimelinePaintWatch.h"
#include "app/callwindow/CallWindow.h"
#include "app/callwindow/TimelineList.h"
#include "app/callwindow/TimelineModel.h"
#include "app/callwindow/TimelineView.h"
#include "app/services/DesktopServices.h"
#include "fakes/FakeHttpServer.h"
#include "settings/Keychain.h"
#include "settings/Settings.h"
#include "store/Store.h"
#include "transcription/TranscriptionService.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QWindow>

#include <cstdio>
#include <optional>

namespace {

using bench::median;
using bench::print;
using bench::Steady;

constexpr int rounds = 15;
constexpr double pauseMs = 300;

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (!keychain::save(QStringLiteral("sk-ant-bench"), QStringLiteral("claude"))) {
        std::fprintf(stderr, "bench: no keyring (run under scripts/with-services)\n");
        return 1;
    }
    QTemporaryDir directory;
    Settings settings(directory.filePath(QStringLiteral("Quillora.conf")), nullptr);
    FakeHttpServer server;
    settings.setText(SettingKey::llmProvider, QStringLiteral("claude"));
    settings.setText(SettingKey::anthropicBaseURL, server.baseURL());
    server.handle("/v1/messages", [](const FakeHttpServer::Request&) {
        FakeHttpServer::Response response;
        response.chunks = { fakeEvents::claudeText(QStringLiteral("You could say that it took three months.")) };
        return response;
    });
    auto store = Store::openInMemory();
    if (!store) {
        return 1;
    }
    DesktopServices services(&settings, OpenedStore { *store, true, QString() }, nullptr, DesktopServices::Options {});
    CallWindow window(services, nullptr, CallWindowOptions {});
    window.show();
    if (!bench::spinUntil([&] { return window.isVisible() && window.windowHandle()->isExposed(); })) {
        return 1;
    }
    bench::TimelinePaintWatch watch(*window.findChild<TimelineView*>(), [](const TimelineModel& model, int row) {
        return model.kind(row) == TimelineModel::RowKind::suggestion && !model.index(row).data().toString().isEmpty();
    });
    Transcript& transcript = services.transcription().transcript();
    std::vector<double> times;
    for (int round = 0; round < rounds; ++round) {
        bench::spinUntil([] { return false; }, std::chrono::milliseconds(50));
        watch.painted.reset();
        watch.earlier = watch.counted();
        const auto asked = Steady::now();
        transcript.handleText(QStringLiteral("How long did the move take, round %1?").arg(round), true, Speaker::them);
        if (!bench::spinUntil([&] { return watch.painted.has_value(); })) {
            std::fprintf(stderr, "bench: no suggestion was painted\n");
            return 1;
        }
        times.push_back(std::chrono::duration<double, std::milli>(*watch.painted - asked).count());
        transcript.handleText(QStringLiteral("It took three months."), true, Speaker::me);
    }
    // The first round also reads the key from the keyring; the median is a call in full swing.
    print("app.question_to_suggestion_painted_ms", median(times), "ms");
    print("app.question_to_suggestion_after_pause_ms", median(times) - pauseMs, "ms");
    print("app.question_to_suggestion_first_ms", times.front(), "ms");
    return 0;
}
