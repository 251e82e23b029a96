// The first-start guide's probes all together on the test session (scripts/bench runs it inside
// scripts/with-services): from the window opening until every row has its final state, with the
// microphone, the check tone heard on the output's monitor, the speech model, the documents folder and a
// loopback local model server. Prints one figure a line as "name value unit".

#include "BenchFigures.h"
#include "app/guide/GuideWindow.h"
#include "app/guide/StepRow.h"
#include "app/guide/SuggestionsStep.h"
#include "fakes/FakeHttpServer.h"
#include "settings/Keychain.h"
#include "settings/Settings.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int rounds = 5;

bool final(const StepRow* row)
{
    return row->state().kind != StepState::Kind::working && row->state().kind != StepState::Kind::pending;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QTemporaryDir directory;
    Settings settings(directory.filePath(QStringLiteral("Quillora.conf")), nullptr);
    Keychain keychain;
    FakeHttpServer server;
    server.setLowDelay(true);
    FakeHttpServer::Response models;
    models.contentType = "application/json";
    models.chunks = { R"({"data":[{"id":"llama3.2"}]})" };
    server.respond("/v1/models", models);
    settings.setText(SettingKey::localModelURL, server.baseURL() + QStringLiteral("/v1"));
    settings.setText(SettingKey::llmProvider, QStringLiteral("onDevice"));
    settings.setText(SettingKey::speechLocale, QStringLiteral("en-US"));
    GuideOptions options;
    options.autostartEntry = directory.filePath(QStringLiteral("autostart/quillora.desktop"));

    std::vector<double> times;
    for (int round = 0; round < rounds; ++round) {
        GuideWindow guide(settings, keychain, nullptr, options);
        const QList<StepRow*> rows = { guide.findChild<StepRow*>(QStringLiteral("microphone")),
            guide.findChild<StepRow*>(QStringLiteral("systemAudio")),
            guide.findChild<StepRow*>(QStringLiteral("speechModel")),
            guide.findChild<StepRow*>(QStringLiteral("documents")) };
        const auto* suggestions = guide.findChild<SuggestionsStep*>();
        const auto started = bench::Steady::now();
        guide.present();
        rows[1]->button()->click();
        rows[3]->button()->click();
        const bool done = bench::spinUntil(
            [&] { return guide.isSettled() && std::ranges::all_of(rows, final) && suggestions->isReady(); },
            std::chrono::seconds(30));
        if (!done) {
            std::fprintf(stderr, "bench_app_guide: the probes did not finish\n");
            return 1;
        }
        times.push_back(bench::millisecondsSince(started));
        for (const StepRow* row : rows) {
            if (row->state().kind != StepState::Kind::granted) {
                std::fprintf(stderr, "bench_app_guide: a step was not granted: %s\n",
                    qUtf8Printable(row->statusLabel()->text()));
                return 1;
            }
        }
    }
    bench::print("app.guide_probes_ms", bench::median(times), "ms");
    return 0;
}
