// Figures for improvement from history, one per line as "name value unit": the quote check of 100
// quotes against a two-hour call, and a whole run over 50 such calls with a model that answers at
// once: the main thread's processor time and its longest stretch without returning to wait.

#include "BenchFigures.h"
#include "ModelThread.h"
#include "common/Uuid.h"
#include "fakes/FakeHttpServer.h"
#include "fakes/UserFolders.h"
#include "improvement/ImprovementService.h"
#include "improvement/QuoteCheck.h"
#include "settings/Settings.h"
#include "store/Store.h"
#include "store/StoreContext.h"
#include "store/StoreHolder.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <optional>
#include <vector>

using namespace std::chrono_literals;

namespace {

using bench::median;
using bench::millisecondsSince;
using bench::print;

using Steady = bench::Steady;

constexpr int callLines = 2000; // a two-hour call, a line every 3.6 s
constexpr int runCalls = 50;
constexpr int quoteCount = 100;

const QDateTime firstCall(QDate(2026, 3, 2), QTime(9, 0), Qt::UTC);

QString lineText(int index)
{
    return index % 2 == 0
        ? QStringLiteral("Line %1: could you walk me through the release schedule for the spring quarter?").arg(index)
        : QStringLiteral("Reply %1: our team ships small updates every second week after a careful review.").arg(index);
}

QList<CallLine> callLinesOf(const QDateTime& start)
{
    QList<CallLine> lines;
    lines.reserve(callLines);
    for (int i = 0; i < callLines; ++i) {
        lines.append(CallLine { i % 2 == 1, lineText(i), start.addMSecs(qint64(i) * 3600) });
    }
    return lines;
}

QJsonObject draft(const QString& kind, const QString& question, const QString& text, const QString& callID, int line)
{
    return QJsonObject {
        { QStringLiteral("kind"), kind },
        { QStringLiteral("question"), question },
        { QStringLiteral("answer"), question.isEmpty() ? QString() : QStringLiteral("Every second week.") },
        { QStringLiteral("language"), QStringLiteral("en") },
        { QStringLiteral("targetQA"), QString() },
        { QStringLiteral("text"), text },
        { QStringLiteral("reason"), QStringLiteral("It keeps coming up.") },
        { QStringLiteral("quotes"),
            QJsonArray { QJsonObject { { QStringLiteral("callID"), callID },
                { QStringLiteral("text"), lineText(line).section(u':', 1).trimmed() } } } },
    };
}

// Each analysis proposes three things quoting the call it was given; the merge keeps three
// proposals, each drawn from every call's candidates.
FakeHttpServer::Response answer(const FakeHttpServer::Request& request)
{
    const QJsonObject body = request.json();
    const QString user =
        body.value(QLatin1String("messages")).toArray().first().toObject().value(QLatin1String("content")).toString();
    QJsonArray proposals;
    if (body.value(QLatin1String("system")).toString() == improvement::mergeSystemPrompt()) {
        const auto merged = [](const QString& kind, const QString& question, const QString& text, int first) {
            QJsonArray sources;
            for (int call = 0; call < runCalls; ++call) {
                sources.append(call * 3 + first);
            }
            return QJsonObject { { QStringLiteral("kind"), kind }, { QStringLiteral("question"), question },
                { QStringLiteral("answer"), question.isEmpty() ? QString() : QStringLiteral("Every second week.") },
                { QStringLiteral("language"), QStringLiteral("en") }, { QStringLiteral("targetQA"), QString() },
                { QStringLiteral("text"), text }, { QStringLiteral("reason"), QStringLiteral("Asked in every call.") },
                { QStringLiteral("sources"), sources } };
        };
        proposals = QJsonArray { merged(QStringLiteral("newQA"), QStringLiteral("How often do you ship?"), {}, 0),
            merged(QStringLiteral("style"), {}, QStringLiteral("Short, concrete answers."), 1),
            merged(QStringLiteral("instruction"), {}, QStringLiteral("Mention the review step."), 2) };
    } else {
        static const QRegularExpression callLine(QStringLiteral("^Call ([0-9A-F-]{36}), on "));
        const QString callID = callLine.match(user).captured(1);
        proposals = QJsonArray {
            draft(QStringLiteral("newQA"), QStringLiteral("How often do you ship?"), {}, callID, 41),
            draft(QStringLiteral("style"), {}, QStringLiteral("Short, concrete answers."), callID, 1203),
            draft(QStringLiteral("instruction"), {}, QStringLiteral("Mention the review step."), callID, 1999),
        };
    }
    FakeHttpServer::Response response;
    response.chunks = { fakeEvents::claudeText(QString::fromUtf8(
        QJsonDocument(QJsonObject { { QStringLiteral("proposals"), proposals } }).toJson(QJsonDocument::Compact))) };
    return response;
}

void benchVerifyQuote()
{
    const QList<improvement::Line> lines = improvement::prepareLines(callLinesOf(firstCall));
    // Half the quotes were said (a few of them in two fragments); half miss by one word, so every
    // line is searched for them.
    QStringList quotes;
    for (int i = 0; i < quoteCount; ++i) {
        const int line = (i * 37) % callLines;
        QString quote = lineText(line).section(u':', 1).trimmed();
        if (i % 2 == 1) {
            quote.replace(QStringLiteral("team"), QStringLiteral("crew"))
                .replace(QStringLiteral("schedule"), QStringLiteral("plan"));
        } else if (i % 10 == 0) {
            quote.replace(QStringLiteral(" for the "), QStringLiteral("\u2026 "));
            quote.replace(QStringLiteral(" every "), QStringLiteral("... "));
        }
        quotes.append(quote);
    }
    std::vector<double> times;
    int passed = 0;
    for (int run = 0; run < 21; ++run) {
        passed = 0;
        const auto started = Steady::now();
        for (const QString& quote : quotes) {
            passed += improvement::verifyQuote(quote, lines) ? 1 : 0;
        }
        times.push_back(millisecondsSince(started));
    }
    // Half miss by one word; of the other half, the ten cut at " for the " leave a fragment of one or
    // two words, which must match a whole line, so they fail too.
    if (passed != quoteCount / 2 - quoteCount / 10) {
        std::fprintf(stderr, "bench: %d of %d quotes passed, expected %d\n", passed, quoteCount,
            quoteCount / 2 - quoteCount / 10);
    }
    print("improvement.verify_100_quotes_ms", median(times), "ms");

    std::vector<double> prepare;
    const QList<CallLine> raw = callLinesOf(firstCall);
    for (int run = 0; run < 11; ++run) {
        const auto started = Steady::now();
        const auto prepared = improvement::prepareLines(raw);
        prepare.push_back(millisecondsSince(started));
        if (prepared.size() != callLines) {
            return;
        }
    }
    print("improvement.prepare_2000_lines_ms", median(prepare), "ms");
}

// The longest time between two turns of the main thread's event loop: a timer asks for a turn
// every millisecond, and the longest wait between two of its ticks is how long the thread was
// held up (the tick itself included).
class LoopGaps {
public:
    LoopGaps()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] {
            const auto now = Steady::now();
            m_longest = std::max(m_longest, std::chrono::duration<double, std::milli>(now - m_last).count());
            m_last = now;
        });
        m_timer.start();
    }

    double longestMs() const { return m_longest; }

private:
    QTimer m_timer;
    Steady::time_point m_last = Steady::now();
    double m_longest = 0;
};

void benchRun()
{
    QTemporaryDir directory;
    const bench::ModelThread model([](FakeHttpServer& server) {
        server.handle("/v1/messages", [](const FakeHttpServer::Request& request) { return answer(request); });
    });
    QNetworkAccessManager network;
    const QString path = directory.filePath(QStringLiteral("Assistants.store"));
    auto opened = Store::open(path);
    if (!opened) {
        std::fprintf(stderr, "bench: %s\n", qPrintable(opened.error().message));
        return;
    }
    StoreHolder holder(
        *opened, false, [path] { return Store::open(path); }, nullptr);
    Assistant assistant = Assistant::make(QStringLiteral("Sales"), AssistantTemplate::prospecting);
    holder.context().insert(assistant);
    for (int i = 0; i < 20; ++i) {
        QAItem item = QAItem::make(QStringLiteral("Prepared question %1?").arg(i),
            QStringLiteral("A prepared answer of a sentence or two, number %1.").arg(i), QStringLiteral("en"),
            QStringLiteral("manual"));
        item.assistant = assistant.id;
        holder.context().insert(item);
    }
    QList<QUuid> callIDs;
    for (int i = 0; i < runCalls; ++i) {
        Call call;
        call.id = uuid::create();
        call.startedAt = firstCall.addDays(i);
        call.endedAt = call.startedAt.addSecs(7200);
        call.assistant = assistant.id;
        call.linesData = blob::encodeLines(callLinesOf(call.startedAt));
        call.suggestionsData =
            blob::encodeSuggestions({ { QStringLiteral("Mention the review step."), call.startedAt } });
        holder.context().insert(call);
        callIDs.append(call.id);
    }
    if (!holder.context().save()) {
        std::fprintf(stderr, "bench: could not seed the store\n");
        return;
    }

    Settings settings(directory.filePath(QStringLiteral("Quillora.conf")), nullptr);
    settings.setText(SettingKey::llmProvider, QStringLiteral("claude"));
    settings.setText(SettingKey::anthropicBaseURL, model.baseURL());
    ImprovementServiceOptions options;
    options.readKey = [](const QString&) -> QCoro::Task<std::optional<QString>> {
        co_return std::optional<QString>(QStringLiteral("sk-bench"));
    };
    ImprovementService service(LLMClient(&network, LLMEndpoints::sourceFor(&settings)), &settings, nullptr, options);

    std::vector<double> wall;
    std::vector<double> cpu;
    std::vector<double> gaps;
    // Five runs for the time, then three with the ticking timer for the gaps, whose own work would
    // count in the time.
    for (int run = 0; run < 8; ++run) {
        // Every run starts from the same store: no proposals, all calls new.
        {
            StoreContext& context = holder.context();
            const std::vector<Proposal> proposals = context.fetch<Proposal>().value();
            for (const Proposal& proposal : proposals) {
                context.remove<Proposal>(proposal.id);
            }
            for (const QUuid& id : callIDs) {
                Call call = *context.fetchOne<Call>(id).value();
                call.reviewedForImprovement = false;
                context.update(call);
            }
            if (!context.save()) {
                return;
            }
        }
        QEventLoop loop;
        QObject::connect(&service, &ImprovementService::ended, &loop, &QEventLoop::quit);
        QTimer::singleShot(60s, &loop, &QEventLoop::quit);
        std::optional<LoopGaps> ticks;
        if (run >= 5) {
            ticks.emplace();
        }
        const auto started = Steady::now();
        const double cpuStarted = bench::threadCpuMilliseconds();
        service.run(assistant.id, &holder);
        if (service.isBusy()) {
            loop.exec();
        }
        if (ticks) {
            gaps.push_back(ticks->longestMs());
        } else {
            cpu.push_back(bench::threadCpuMilliseconds() - cpuStarted);
            wall.push_back(millisecondsSince(started));
        }
        if (service.message() != QStringLiteral("3 new proposals.")) {
            std::fprintf(stderr, "bench: %s\n", qPrintable(service.message().value_or(QStringLiteral("no outcome"))));
            return;
        }
    }
    print("improvement.run_50_calls_cpu_ms", median(cpu), "ms");
    print("improvement.run_50_calls_wall_ms", median(wall), "ms");
    print("improvement.run_longest_loop_gap_ms", median(gaps), "ms");
}

} // namespace

int main(int argc, char** argv)
{
    // Settings of its own, never the user's.
    const UserFolders folders;
    QCoreApplication app(argc, argv);
    const QString part = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (part.isEmpty() || part == QLatin1String("verify")) {
        benchVerifyQuote();
    }
    if (part.isEmpty() || part == QLatin1String("run")) {
        benchRun();
    }
    return 0;
}
