// Figures for the call window's timeline as a long call grows, one per line as "name value unit":
// the main thread's processor time for one more line (the transcript, the timeline model, the rows'
// layout and the window painted) at 100, 1,000 and 2,000 lines, the memory 1,000 lines take, and how
// late the window answers while lines arrive at 25 a second for a minute. Needs a display (scripts/bench
// runs it on Xvfb).

#include "BenchFigures.h"
#include "app/callwindow/TimelineList.h"
#include "app/callwindow/TimelineModel.h"
#include "app/callwindow/TimelineView.h"
#include "common/Uuid.h"
#include "fakes/ManualClock.h"
#include "settings/Settings.h"
#include "transcription/TranscriptionService.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <malloc.h>

namespace {

using namespace std::chrono_literals;
using bench::median;
using bench::print;

constexpr int linesPerSuggestion = 20;

double heapMb()
{
    return double(mallinfo2().uordblks) / (1024.0 * 1024.0);
}

// Runs the layout passes the change asked for, then paints the window, as the event loop would.
void settleAndPaint(QWidget& window)
{
    for (int pass = 0; pass < 4; ++pass) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    }
    window.repaint();
}

// The two speakers share no words, so that no line of the user is taken for an echo of the other's.
QString lineText(int index)
{
    return index % 2
        ? QStringLiteral("Right, %1 people in my team moved over to the new system last spring").arg(index)
        : QStringLiteral("Okay, so tell us about line %1 of the plan and which parts still wait").arg(index);
}

// A call window's column on its own: the transcript of a real transcription service feeds it, and a
// suggestion comes every 20 lines as the suggestion service would add it.
struct Call {
    explicit Call(Settings& settings)
        : transcription(nullptr, TranscriptionService::Options { &settings, {}, &clock })
        , view(&transcription, nullptr, nullptr, nullptr, &settings, clock, &window)
    {
        auto* layout = new QVBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(&view);
        window.resize(400, 480);
        window.show();
        bench::spinUntil([this] { return window.isVisible(); });
        QCoreApplication::processEvents();
    }

    // A line every 3.6 seconds, as in a two-hour call of 2,000 lines.
    void addLine()
    {
        clock.advance(3600ms);
        transcription.transcript().handleText(lineText(lines), true, lines % 2 ? Speaker::me : Speaker::them);
        ++lines;
        if (lines % linesPerSuggestion == 0) {
            history.append(Suggestion { uuid::create(), clock.now(), QStringLiteral("q"),
                QStringLiteral("You could say that the move took three months and nobody lost a day of work."),
                false });
            view.model()->setHistory(history);
        }
    }

    ManualClock clock;
    TranscriptionService transcription;
    QWidget window;
    TimelineView view;
    QList<Suggestion> history;
    int lines = 0;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("Vessaro.Quillora.*.debug=false"));
    QTemporaryDir directory;
    Settings settings(directory.filePath(QStringLiteral("Quillora.conf")), nullptr);
    settings.setBoolean(SettingKey::autoScroll, true);

    {
        // One line more, at each length of the call; the figure at N lines is the median of the 20
        // lines up to N.
        Call call(settings);
        std::vector<double> times;
        double heapAtThousand = 0;
        for (int line = 1; line <= 2000; ++line) {
            const double before = bench::threadCpuMilliseconds();
            call.addLine();
            settleAndPaint(call.window);
            times.push_back(bench::threadCpuMilliseconds() - before);
            QCoreApplication::processEvents(); // what else the event loop has, outside the figure
            if (line == 1000) {
                heapAtThousand = heapMb();
            }
        }
        const double heapPerThousand = heapMb() - heapAtThousand;
        if (call.view.model()->rowCount() != 2000 + 2000 / linesPerSuggestion || call.view.list()->height() <= 0) {
            std::fprintf(stderr, "bench_app: the rows were not laid out\n");
            return 1;
        }
        for (const int at : { 100, 1000, 2000 }) {
            const std::vector<double> window(times.begin() + at - 20, times.begin() + at);
            const QByteArray name = "app.timeline_add_line_at_" + QByteArray::number(at) + "_ms";
            print(name.constData(), median(window), "ms");
        }
        print("app.timeline_add_line_max_ms", *std::max_element(times.begin(), times.end()), "ms");
        print("app.timeline_memory_per_1000_lines_mb", heapPerThousand, "MB");
    }

    {
        // Lines at 25 a second for a minute; a timer every 10 ms notes how late the window gets to it.
        Call call(settings);
        QTimer lines;
        lines.setTimerType(Qt::PreciseTimer);
        QObject::connect(&lines, &QTimer::timeout, &call.view, [&call] { call.addLine(); });
        QElapsedTimer clock;
        clock.start();
        qint64 expected = 10;
        qint64 latest = 0;
        QTimer probe;
        probe.setTimerType(Qt::PreciseTimer);
        QObject::connect(&probe, &QTimer::timeout, &call.view, [&] {
            const qint64 now = clock.elapsed();
            latest = std::max(latest, now - expected);
            expected = now + 10;
        });
        lines.start(40);
        probe.start(10);
        bench::spinUntil([] { return false; }, 60s);
        lines.stop();
        probe.stop();
        print("app.timeline_burst_lines", call.lines, "lines");
        print("app.timeline_burst_max_answer_ms", double(latest), "ms");
    }
    return 0;
}
