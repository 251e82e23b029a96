// Figures for the end of a call, one per line as "name value unit": from the running flag falling
// to the Call stored and its file written, and the call file writer alone, for a two-hour call.

#include "BenchFigures.h"
#include "ModelThread.h"
#include "common/Uuid.h"
#include "fakes/FakeHttpServer.h"
#include "fakes/ManualClock.h"
#include "fakes/UserFolders.h"
#include "settings/Settings.h"
#include "store/Store.h"
#include "store/StoreContext.h"
#include "suggestions/SuggestionService.h"
#include "summary/CallArchive.h"
#include "summary/SummaryService.h"
#include "transcription/TranscriptionService.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using namespace std::chrono_literals;

namespace {

using bench::median;
using bench::millisecondsSince;
using bench::print;
using bench::spinUntil;

using Steady = bench::Steady;

constexpr int callLines = 2000;
constexpr int callSuggestions = 40;
constexpr int lineSpacingMs = 3600; // 2,000 lines over two hours

const QDateTime callStart(QDate(2026, 3, 4), QTime(9, 0), Qt::UTC);

QString lineText(int index)
{
    return index % 2 == 0
        ? QStringLiteral("Line %1: the customer talked about the release schedule for the spring quarter.").arg(index)
        : QStringLiteral("Reply %1: our team ships small updates every second week after a careful review.").arg(index);
}

void removeCallFiles()
{
    QDir(callArchive::folder()).removeRecursively();
}

// The model answers every summary and suggestion at once, in one piece.
void scriptModel(FakeHttpServer& server)
{
    FakeHttpServer::Response summary;
    summary.chunks = { fakeEvents::claudeText(
        QStringLiteral("Summary: The release plan was agreed.\nDecisions:\n- Ship every second week.")) };
    server.respond("/v1/messages", summary);
    FakeHttpServer::Response suggestion;
    // Text and end in one piece, so a reply is complete the moment it shows.
    suggestion.chunks = { fakeEvents::openAIText(QStringLiteral("Mention the review step.")) + fakeEvents::done() };
    server.respond("/v1/chat/completions", suggestion);
}

void benchArchive()
{
    QList<TranscriptLine> lines;
    QList<Suggestion> suggestions;
    for (int i = 0; i < callLines; ++i) {
        const QDateTime at = callStart.addMSecs(qint64(i) * lineSpacingMs);
        lines.append(TranscriptLine { uuid::create(), i % 2 == 0 ? Speaker::them : Speaker::me, lineText(i), at });
        if (i % (callLines / callSuggestions) == 0) {
            suggestions.append(Suggestion { uuid::create(), at.addSecs(1), lineText(i),
                QStringLiteral("Mention the review step and the two-week rhythm."), false });
        }
    }
    const QString notes = QStringLiteral("Assistant: Sales\nContext: Acme\nFiles: pricing.md, brief.md");
    std::vector<double> wall;
    std::vector<double> cpu;
    for (int run = 0; run < 15; ++run) {
        removeCallFiles();
        const auto started = Steady::now();
        const double cpuStarted = bench::threadCpuMilliseconds();
        const auto written = writeCallArchive(lines, suggestions, notes, QStringLiteral("Summary: agreed."));
        cpu.push_back(bench::threadCpuMilliseconds() - cpuStarted);
        wall.push_back(millisecondsSince(started));
        if (!written) {
            std::fprintf(stderr, "bench: %s\n", qPrintable(written.error().message));
            return;
        }
    }
    print("summary.write_call_archive_ms", median(cpu), "ms");
    print("summary.write_call_archive_wall_ms", median(wall), "ms");
}

void benchStopToSaved()
{
    QTemporaryDir directory;
    const bench::ModelThread model(scriptModel);
    QNetworkAccessManager network;
    auto opened = Store::open(directory.filePath(QStringLiteral("Assistants.store")));
    if (!opened) {
        std::fprintf(stderr, "bench: %s\n", qPrintable(opened.error().message));
        return;
    }
    std::shared_ptr<Store> store = *opened;
    auto context = store->newContext();

    // A selected assistant and context with a few knowledge files, as in a real call.
    Assistant assistant = Assistant::make(QStringLiteral("Sales"), AssistantTemplate::prospecting);
    CallContext lead = CallContext::make(QStringLiteral("Acme"), assistant);
    context->insert(assistant);
    context->insert(lead);
    for (const QString& name : { QStringLiteral("pricing.md"), QStringLiteral("brief.md") }) {
        KnowledgeFile file = KnowledgeFile::make(name, QString(20000, u'k'));
        file.assistant = assistant.id;
        context->insert(file);
    }
    if (!context->save()) {
        std::fprintf(stderr, "bench: could not seed the store\n");
        return;
    }
    Settings settings(directory.filePath(QStringLiteral("Quillora.conf")), nullptr);
    settings.setText(SettingKey::selectedAssistant, uuid::toText(assistant.id));
    settings.setText(SettingKey::selectedContext, uuid::toText(lead.id));
    settings.setText(SettingKey::llmProvider, QStringLiteral("openai"));

    ManualClock clock(callStart);
    const auto endpoints = [&] {
        LLMEndpoints where;
        where.anthropicBaseURL = model.baseURL();
        where.openaiBaseURL = model.baseURL();
        return where;
    };
    TranscriptionService transcription(nullptr, TranscriptionService::Options { &settings, {}, &clock });
    SuggestionServiceOptions suggestionOptions;
    suggestionOptions.pause = 0ms;
    suggestionOptions.readKey = [](const QString&) -> QCoro::Task<std::optional<QString>> {
        co_return std::optional<QString>(QStringLiteral("sk-bench"));
    };
    SuggestionService suggestions(
        &transcription.transcript(), [&]() -> StoreContext& { return *context; }, LLMClient(&network, endpoints),
        &settings, nullptr, suggestionOptions);
    SummaryServiceOptions options;
    options.loadSettings = []() -> QCoro::Task<SuggestionSettings> {
        co_return SuggestionSettings { LLMProvider::claude, QStringLiteral("claude-bench"), QString(),
            QStringLiteral("sk-bench") };
    };
    SummaryService service(
        &transcription, [&] { return suggestions.history(); }, [&]() -> StoreContext& { return *context; },
        LLMClient(&network, endpoints), &settings, nullptr, options);

    for (int i = 0; i < callLines; ++i) {
        clock.advance(std::chrono::milliseconds(i == 0 ? 0 : lineSpacingMs));
        transcription.transcript().handleText(lineText(i), true, i % 2 == 0 ? Speaker::them : Speaker::me);
        if (i % (callLines / callSuggestions) == 0) {
            const qsizetype before = suggestions.history().size();
            suggestions.suggestNow();
            if (!spinUntil([&] { return suggestions.history().size() > before && !suggestions.isWaiting(); })) {
                std::fprintf(stderr, "bench: a suggestion did not arrive (%lld %d %s)\n",
                    static_cast<long long>(suggestions.history().size()), int(suggestions.isWaiting()),
                    qPrintable(suggestions.history().isEmpty() ? QString() : suggestions.history().last().response));
                return;
            }
        }
    }
    if (transcription.lines().size() != callLines || suggestions.history().size() != callSuggestions) {
        std::fprintf(stderr, "bench: the call has %lld lines and %lld suggestions\n",
            static_cast<long long>(transcription.lines().size()), static_cast<long long>(suggestions.history().size()));
        return;
    }
    // Lets the last suggestion's request end before anything is measured.
    spinUntil([] { return false; }, 200ms);

    std::vector<double> wall;
    std::vector<double> cpu;
    for (int run = 0; run < 12; ++run) {
        removeCallFiles();
        service.handleRunningFlag(true);
        const auto started = Steady::now();
        const double cpuStarted = bench::threadCpuMilliseconds();
        service.handleRunningFlag(false);
        // A blocking wait, so the main thread's processor time is the work alone.
        QEventLoop loop;
        QObject::connect(&service, &SummaryService::savedCallIDChanged, &loop, &QEventLoop::quit);
        QObject::connect(&service, &SummaryService::saveErrorChanged, &loop, &QEventLoop::quit);
        QTimer::singleShot(10s, &loop, &QEventLoop::quit);
        if (!service.savedCallID() && !service.saveError()) {
            loop.exec();
        }
        if (!service.savedCallID() && !service.saveError()) {
            std::fprintf(stderr, "bench: the call was not saved\n");
            return;
        }
        cpu.push_back(bench::threadCpuMilliseconds() - cpuStarted);
        wall.push_back(millisecondsSince(started));
        if (service.saveError() || !service.savedFile()) {
            std::fprintf(stderr, "bench: %s\n", qPrintable(service.saveError().value_or(QStringLiteral("no file"))));
            return;
        }
    }
    print("summary.stop_to_saved_ms", median(cpu), "ms");
    print("summary.stop_to_saved_wall_ms", median(wall), "ms");
}

} // namespace

int main(int argc, char** argv)
{
    // Settings and call files of its own, never the user's.
    const UserFolders folders;
    QCoreApplication app(argc, argv);
    // An optional argument picks one part: archive or stop.
    const QString only = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    const auto wanted = [&](const char* part) { return only.isEmpty() || only == QLatin1String(part); };
    if (wanted("archive")) {
        benchArchive();
    }
    if (wanted("stop")) {
        benchStopToSaved();
    }
    return 0;
}
