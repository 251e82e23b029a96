// Figures for the call window, one per line as "name value unit". Needs a display (scripts/bench runs
// it on Xvfb).

#include "BenchFigures.h"
#include "app/callwindow/CallTimeline.h"
#include "app/callwindow/LineRow.h"
#include "app/callwindow/TimelineView.h"
#include "common/Clock.h"
#include "common/Uuid.h"

#include <QApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using bench::median;
using bench::print;

constexpr int startLines = 2000;
constexpr int linesPerSuggestion = 20; // 100 suggestions among the 2,000 lines
constexpr int rounds = 40;

// Runs the layout passes that the changes asked for, as the event loop would before painting.
void settle()
{
    for (int pass = 0; pass < 4; ++pass) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    }
}

TranscriptLine line(int index, const QDateTime& start)
{
    return TranscriptLine { uuid::create(), index % 2 ? Speaker::me : Speaker::them,
        QStringLiteral("Line %1: and then we moved the whole team over to the new system last spring").arg(index),
        start.addSecs(index) };
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    TimelineView view(nullptr, nullptr, nullptr, nullptr, nullptr, Clock::system(), nullptr);
    view.resize(388, 480);
    view.show();
    QCoreApplication::processEvents();

    const QDateTime start = QDateTime::currentDateTimeUtc();
    QList<TranscriptLine> lines;
    QList<Suggestion> history;
    for (int i = 0; i < startLines; ++i) {
        lines.append(line(i, start));
        if (i % linesPerSuggestion == linesPerSuggestion - 1) {
            history.append(Suggestion { uuid::create(), start.addSecs(i).addMSecs(500), QStringLiteral("q"),
                QStringLiteral("You could say that the move took three months and nobody lost a day of work."),
                false });
        }
    }
    view.present(CallTimeline::build(lines, history, {}, false));
    settle();
    QCoreApplication::processEvents();

    // Each round: one more line, from the rebuilt timeline to the laid-out row.
    std::vector<double> times;
    for (int round = 0; round < rounds; ++round) {
        lines.append(line(startLines + round, start));
        QElapsedTimer timer;
        timer.start();
        view.present(CallTimeline::build(lines, history, {}, false));
        settle();
        times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        QCoreApplication::processEvents(); // paint, outside the measured time
    }
    const auto rows = view.widget()->findChildren<LineRow*>();
    if (rows.size() != startLines + rounds || rows.constLast()->height() <= 0) {
        std::fprintf(stderr, "bench_app: the new rows were not laid out\n");
        return 1;
    }
    print("app.timeline_add_line_ms", median(times), "ms");
    print("app.timeline_add_line_max_ms", *std::max_element(times.begin(), times.end()), "ms");
    return 0;
}
