// Figures for the journal of the call in progress, one per line as "name value unit": what a finished
// line costs the main thread at line 2,000 of a call, how soon it is on disk, and how many lines a
// `kill -9` at a random moment loses (none may be older than one second).

#include "BenchFigures.h"
#include "fakes/ManualClock.h"
#include "fakes/UserFolders.h"
#include "settings/Settings.h"
#include "store/Store.h"
#include "store/StoreContext.h"
#include "summary/CallJournal.h"
#include "summary/SummaryService.h"
#include "transcription/TranscriptionService.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

using namespace std::chrono_literals;

namespace {

using bench::median;
using bench::print;
using bench::spinUntil;
using bench::threadCpuMilliseconds;

constexpr int callLines = 2000;
constexpr int measuredLines = 41; // around line 2,000
constexpr int kills = 50;
constexpr int childLineGapMs = 20; // far faster than speech, so every moment of a call is covered

double monotonicMilliseconds()
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

QString lineText(int index)
{
    // The two speakers say different things, so neither is taken for an echo of the other.
    return index % 2 == 0
        ? QStringLiteral("Line %1: the customer talked about the release schedule for the spring quarter.").arg(index)
        : QStringLiteral("Reply %1: our team ships small updates every second week after a careful review.").arg(index);
}

// The services of a call as the app wires them, on a store of their own, with or without a journal.
struct CallRig {
    CallRig(const QString& folder, bool journaled)
        : settings(folder + QStringLiteral("/Quillora.conf"), nullptr)
        , store(*Store::open(folder + QStringLiteral("/Assistants.store")))
        , context(store->newContext())
        , clock(QDateTime(QDate(2026, 3, 4), QTime(9, 0), Qt::UTC))
        , journal(journaled ? std::make_unique<CallJournal>(CallJournal::pathBeside(store->path()), nullptr) : nullptr)
        , transcription(nullptr, TranscriptionService::Options { &settings, {}, &clock })
    {
        SummaryServiceOptions options;
        options.journal = journal.get();
        service = std::make_unique<SummaryService>(
            &transcription, [] { return QList<Suggestion>(); }, [this]() -> StoreContext& { return *context; },
            LLMClient(&network, [] { return LLMEndpoints {}; }), &settings, nullptr, options);
        service->handleRunningFlag(true);
    }

    void say(int index)
    {
        clock.advance(3600ms);
        transcription.transcript().handleText(lineText(index), true, index % 2 == 0 ? Speaker::them : Speaker::me);
    }

    Settings settings;
    QNetworkAccessManager network;
    std::shared_ptr<Store> store;
    std::unique_ptr<StoreContext> context;
    ManualClock clock;
    std::unique_ptr<CallJournal> journal;
    TranscriptionService transcription;
    std::unique_ptr<SummaryService> service;
};

// The main thread's processor time for each finished line around line 2,000.
std::vector<double> lineCosts(bool journaled)
{
    QTemporaryDir folder;
    CallRig call(folder.path(), journaled);
    std::vector<double> costs;
    for (int i = 0; i < callLines + measuredLines / 2 + 1; ++i) {
        const double started = threadCpuMilliseconds();
        call.say(i);
        if (i >= callLines - measuredLines / 2 && costs.size() < measuredLines) {
            costs.push_back(threadCpuMilliseconds() - started);
        }
        if (i % 100 == 0 && call.journal) {
            call.journal->flush(); // a real call is slow enough for the writer to keep up
        }
    }
    return costs;
}

void benchMainThread()
{
    const std::vector<double> with = lineCosts(true);
    const std::vector<double> without = lineCosts(false);
    print("journal.line_main_thread_at_2000_ms", median(with), "ms");
    print("journal.line_main_thread_at_2000_without_journal_ms", median(without), "ms");
    print("journal.main_thread_cost_per_line_at_2000_ms", std::max(0.0, median(with) - median(without)), "ms");

    // From the hand-over to the line committed on the journal's thread.
    QTemporaryDir folder;
    CallRig call(folder.path(), true);
    std::vector<double> onDisk;
    for (int i = 0; i < 200; ++i) {
        const double started = monotonicMilliseconds();
        call.say(i);
        call.journal->flush();
        onDisk.push_back(monotonicMilliseconds() - started);
    }
    print("journal.line_on_disk_ms", median(onDisk), "ms");
}

// The child of benchKills: a call whose lines come every 20 ms, each printed with its time once handed
// over, until it is killed.
int runChild(const QString& folder)
{
    auto call = std::make_unique<CallRig>(folder, true);
    int index = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, &timer, [&] {
        call->say(index);
        std::printf("%d %.3f\n", index, monotonicMilliseconds());
        std::fflush(stdout);
        ++index;
    });
    timer.start(childLineGapMs);
    return QCoreApplication::exec();
}

void benchKills(const QString& self)
{
    std::vector<double> lost;
    int lostOlderThanASecond = 0;
    for (int run = 0; run < kills; ++run) {
        QTemporaryDir folder;
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(self, { QStringLiteral("--child"), folder.path() });
        if (!child.waitForStarted() || !child.waitForReadyRead(20000)) {
            std::fprintf(stderr, "bench: the child did not start\n");
            return;
        }
        const int delayMs = QRandomGenerator::global()->bounded(200, 2500);
        spinUntil([] { return false; }, std::chrono::milliseconds(delayMs));
        ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
        const double killedAt = monotonicMilliseconds();
        child.waitForFinished(10000);
        std::vector<double> shownAt;
        for (const QByteArray& line : child.readAllStandardOutput().split('\n')) {
            const QList<QByteArray> fields = line.split(' ');
            if (fields.size() == 2) {
                shownAt.push_back(fields.at(1).toDouble());
            }
        }
        CallJournal journal(CallJournal::pathBeside(folder.filePath(QStringLiteral("Assistants.store"))), nullptr);
        const QList<JournaledCall> left = journal.leftBehind();
        const qsizetype kept = left.isEmpty() ? 0 : left.first().lines.size();
        lost.push_back(static_cast<double>(std::max<qsizetype>(0, qsizetype(shownAt.size()) - kept)));
        for (size_t i = size_t(kept); i < shownAt.size(); ++i) {
            if (killedAt - shownAt[i] > 1000.0) {
                ++lostOlderThanASecond;
            }
        }
    }
    print("journal.kill9_runs", kills, "kills");
    print(
        "journal.kill9_lines_lost_mean",
        [&] {
            double sum = 0;
            for (double value : lost) {
                sum += value;
            }
            return lost.empty() ? 0.0 : sum / static_cast<double>(lost.size());
        }(),
        "lines");
    print("journal.kill9_lines_lost_max", lost.empty() ? 0.0 : *std::max_element(lost.begin(), lost.end()), "lines");
    print("journal.kill9_lost_older_than_1s", lostOlderThanASecond, "lines");
}

} // namespace

int main(int argc, char** argv)
{
    // Settings and call files of its own, never the user's.
    const UserFolders folders;
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("Vessaro.Quillora.*.debug=false\nVessaro.Quillora.*.info=false"));
    if (argc == 3 && qstrcmp(argv[1], "--child") == 0) {
        return runChild(QString::fromLocal8Bit(argv[2]));
    }
    // An optional argument picks one part: line or kill.
    const QString only = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (only.isEmpty() || only == QLatin1String("line")) {
        benchMainThread();
    }
    if (only.isEmpty() || only == QLatin1String("kill")) {
        benchKills(QCoreApplication::applicationFilePath());
    }
    return 0;
}
