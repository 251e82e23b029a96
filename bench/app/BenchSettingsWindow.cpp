// Figures for the settings window, one per line as "name value unit". Needs a display and the secret
// service (scripts/bench runs it inside scripts/with-services), since the window reads the keys as
// it opens, as the app's does.
//   - opening the window: constructed, shown and painted for the first time, the first time in the
//     process (after another window has been shown, as the call window is in the app) and the median
//     of later openings.

#include "BenchFigures.h"
#include "PaintWatch.h"
#include "app/settings/SettingsWindow.h"
#include "settings/Keychain.h"
#include "settings/Settings.h"

#include <QApplication>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

using bench::median;
using bench::millisecondsSince;
using bench::PaintWatch;
using bench::print;
using bench::Steady;

constexpr int rounds = 15;

// One opening as the app's menu does it: made, shown and painted; the milliseconds it took.
double openOnce(Settings& settings, Keychain& keychain, const QString& folder)
{
    const auto started = Steady::now();
    auto window = std::make_unique<SettingsWindow>(settings, keychain, nullptr,
        SettingsWindowOptions {
            folder + QStringLiteral("/autostart/quillora.desktop"), QStringLiteral("/usr/bin/quillora") });
    PaintWatch watch([shown = window.get()](QObject* watched) { return watched == shown; });
    window->present();
    if (!bench::spinUntil([&] { return watch.painted; })) {
        std::fprintf(stderr, "bench_app_settings: the window was not painted\n");
        std::exit(1);
    }
    const double elapsed = millisecondsSince(started);
    window->close();
    // The key reads the window started finish before it goes, as they would in the app.
    bench::spinUntil([] { return false; }, std::chrono::milliseconds(200));
    return elapsed;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QTemporaryDir directory;
    Settings settings(directory.filePath(QStringLiteral("Quillora.conf")), nullptr);
    Keychain keychain;

    // The app shows its call window before the settings can be opened: platform, style and fonts are loaded.
    QWidget first;
    first.resize(200, 200);
    PaintWatch shown([&first](QObject* watched) { return watched == &first; });
    first.show();
    bench::spinUntil([&] { return shown.painted; });

    print("app.settings_open_first_ms", openOnce(settings, keychain, directory.path()), "ms");
    std::vector<double> times;
    for (int round = 0; round < rounds; ++round) {
        times.push_back(openOnce(settings, keychain, directory.path()));
    }
    print("app.settings_open_ms", median(times), "ms");
    return 0;
}
