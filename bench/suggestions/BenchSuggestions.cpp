// Figures for the suggestion path, one per line as "name value unit".

#include "BenchFigures.h"
#include "common/Text.h"
#include "common/Uuid.h"
#include "fakes/FakeHttpServer.h"
#include "fakes/LanguageLines.h"
#include "llm/EventReader.h"
#include "llm/ProviderProtocol.h"
#include "settings/Keychain.h"
#include "settings/Settings.h"
#include "store/Store.h"
#include "store/StoreContext.h"
#include "suggestions/LanguageIdentifier.h"
#include "suggestions/SuggestionPrompt.h"
#include "suggestions/SuggestionService.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <malloc.h>
#include <memory>
#include <vector>

#include <textcat.h>

using namespace std::chrono_literals;

namespace {

using bench::median;
using bench::millisecondsSince;
using bench::print;
using bench::spinUntil;

using Steady = bench::Steady;

double threadCpuSeconds()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

QString filler(qsizetype bytes, QChar letter)
{
    QString text;
    text.reserve(bytes);
    while (text.size() < bytes) {
        text += letter;
        text += QStringLiteral(" lorem ipsum dolor sit amet, consectetur adipiscing elit.\n");
    }
    text.truncate(bytes);
    return text;
}

void benchSystemPrompt()
{
    const QDateTime base(QDate(2026, 3, 4), QTime(9, 0), Qt::UTC);
    Assistant assistant = Assistant::make(QStringLiteral("Large"), AssistantTemplate::interview);
    assistant.styleNotes = QStringLiteral("Short and friendly.");
    CallContext context = CallContext::make(QStringLiteral("Acme"), assistant);
    context.stage = QStringLiteral("Final round");
    std::vector<KnowledgeFile> files;
    for (int i = 0; i < 10; ++i) {
        KnowledgeFile file = KnowledgeFile::make(QStringLiteral("file%1.md").arg(i), filler(1000000, QChar(u'a' + i)));
        file.importedAt = base.addSecs(10 - i);
        file.assistant = assistant.id;
        files.push_back(file);
    }
    std::vector<KnowledgeFile> contextFiles;
    for (int i = 0; i < 5; ++i) {
        KnowledgeFile file = KnowledgeFile::make(QStringLiteral("lead%1.md").arg(i), filler(1000000, QChar(u'k' + i)));
        file.importedAt = base.addSecs(i);
        file.context = context.id;
        contextFiles.push_back(file);
    }
    std::vector<QAItem> prepared;
    for (int i = 0; i < 200; ++i) {
        QAItem item = QAItem::make(QStringLiteral("Question number %1 about the role?").arg(i),
            QStringLiteral("A prepared answer of a few sentences, number %1.").arg(i), QStringLiteral("en"),
            QStringLiteral("manual"));
        item.createdAt = base.addSecs(200 - i);
        item.assistant = assistant.id;
        prepared.push_back(item);
    }
    const suggestionPrompt::ContextMaterial material { context, contextFiles };

    std::vector<double> pure;
    qsizetype size = 0;
    for (int run = 0; run < 15; ++run) {
        const auto started = Steady::now();
        size = suggestionPrompt::systemPrompt(assistant, files, prepared, material).size();
        pure.push_back(millisecondsSince(started));
    }
    print("suggestions.system_prompt_ms", median(pure), "ms");

    // The same prompt as the service builds it: read from the store, then assembled.
    auto store = Store::openInMemory();
    auto unit = (*store)->newContext();
    unit->insert(assistant);
    unit->insert(context);
    for (const auto& file : files) {
        unit->insert(file);
    }
    for (const auto& file : contextFiles) {
        unit->insert(file);
    }
    for (const auto& item : prepared) {
        unit->insert(item);
    }
    if (!unit->save()) {
        std::fprintf(stderr, "bench: could not save the store\n");
        return;
    }
    std::vector<double> stored;
    for (int run = 0; run < 10; ++run) {
        const auto started = Steady::now();
        const QString prompt = suggestionPrompt::systemPrompt(*unit, assistant, context);
        stored.push_back(millisecondsSince(started));
        if (prompt.size() != size) {
            std::fprintf(stderr, "bench: store prompt differs\n");
        }
    }
    print("suggestions.system_prompt_with_store_read_ms", median(stored), "ms");

    // The desktop app keeps large blocks on the heap (see runDesktopApp); the same read there.
    mallopt(M_MMAP_THRESHOLD, 64 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 128 * 1024 * 1024);
    stored.clear();
    for (int run = 0; run < 10; ++run) {
        const auto started = Steady::now();
        const QString prompt = suggestionPrompt::systemPrompt(*unit, assistant, context);
        stored.push_back(millisecondsSince(started));
    }
    print("suggestions.system_prompt_with_store_read_app_heap_ms", median(stored), "ms");
    print("suggestions.system_prompt_chars", static_cast<double>(size), "chars");
}

void benchEventReader()
{
    QByteArray body;
    int index = 0;
    while (body.size() < 64 * 1024 * 1024) {
        body += fakeEvents::claudeText(QStringLiteral("word%1 and some more text ").arg(index++ % 1000));
        if (index % 50 == 0) {
            body += "event: ping\ndata: {\"type\": \"ping\"}\n\n";
        }
    }
    std::vector<double> rates;
    std::vector<double> wallRates;
    for (int run = 0; run < 5; ++run) {
        qsizetype characters = 0;
        EventReader reader(
            [&](const QJsonObject& event) { characters += claudeProtocol::readEvent(event, false).append.size(); });
        const auto started = Steady::now();
        const double cpuStarted = threadCpuSeconds();
        for (qsizetype at = 0; at < body.size(); at += 16 * 1024) {
            reader.feed(QByteArrayView(body).sliced(at, std::min<qsizetype>(16 * 1024, body.size() - at)));
        }
        reader.finish();
        const double megabytes = static_cast<double>(body.size()) / (1024.0 * 1024.0);
        rates.push_back(megabytes / (threadCpuSeconds() - cpuStarted));
        wallRates.push_back(megabytes / (millisecondsSince(started) / 1000.0));
        if (characters == 0) {
            std::fprintf(stderr, "bench: no text read\n");
        }
    }
    // On a shared machine the processor time is the fair measure; the wall-clock rate follows.
    print("suggestions.event_reader_mb_per_s", median(rates), "MB/s");
    print("suggestions.event_reader_wall_mb_per_s", median(wallRates), "MB/s");
}

void benchLivePath()
{
    QTemporaryDir directory;
    Settings settings(directory.filePath(QStringLiteral("Quillora.conf")), nullptr);
    FakeHttpServer server;
    settings.setText(SettingKey::llmProvider, QStringLiteral("claude"));
    settings.setText(SettingKey::anthropicBaseURL, server.baseURL());
    QNetworkAccessManager network;
    auto store = *Store::openInMemory();
    auto context = store->newContext();
    Transcript transcript(nullptr);
    LLMClient client(&network, LLMEndpoints::sourceFor(&settings));
    SuggestionServiceOptions options; // the real 0.3 s pause
    options.readKey = [](const QString&) -> QCoro::Task<std::optional<QString>> {
        co_return std::optional<QString>(QStringLiteral("sk-bench"));
    };
    SuggestionService service(
        &transcript, [&]() -> StoreContext& { return *context; }, client, &settings, nullptr, options);
    FakeHttpServer::Response held;
    held.ending = FakeHttpServer::Ending::hang;
    server.respond("/v1/messages", held);

    // Question line entering the transcript -> request at the server.
    std::vector<double> triggers;
    std::vector<double> waits;
    std::vector<double> deltas;
    Steady::time_point questionAt;
    QObject::connect(&service, &SuggestionService::isWaitingChanged, &service, [&](bool waiting) {
        if (waiting) {
            waits.push_back(millisecondsSince(questionAt));
        }
    });
    for (int run = 0; run < 8; ++run) {
        const qsizetype before = server.requests().size();
        const auto started = Steady::now();
        questionAt = started;
        transcript.handleText(QStringLiteral("Question %1: can you tell me about it").arg(run), true, Speaker::them);
        if (!spinUntil([&] { return server.requests().size() > before; })) {
            std::fprintf(stderr, "bench: no request arrived\n");
            return;
        }
        triggers.push_back(millisecondsSince(started));

        // Text delta written by the server -> history holding it.
        for (int piece = 0; piece < 40; ++piece) {
            const QString word = QStringLiteral(" w%1").arg(piece);
            const auto written = Steady::now();
            server.push(fakeEvents::claudeText(word));
            if (!spinUntil(
                    [&] { return !service.history().isEmpty() && service.history().last().response.endsWith(word); })) {
                std::fprintf(stderr, "bench: a delta did not arrive\n");
                return;
            }
            deltas.push_back(millisecondsSince(written));
        }
    }
    print("suggestions.question_to_request_ms", median(triggers), "ms");
    print("suggestions.question_to_waiting_ms", median(waits), "ms");
    print("suggestions.question_to_request_max_ms", *std::max_element(triggers.begin(), triggers.end()), "ms");
    print("suggestions.delta_to_history_median_ms", median(deltas), "ms");
    service.clear();
}

// A suggestion asked while the secret service does not answer (the daemon is stopped for a
// second): the longest time the main thread went without turning its event loop.
void benchStoppedKeyring()
{
    const auto pid = QDBusConnection::sessionBus().interface()->servicePid(QStringLiteral("org.freedesktop.secrets"));
    if (!pid.isValid()) {
        std::fprintf(stderr, "bench: no secret service on the session bus; keyring figure skipped\n");
        return;
    }
    QTemporaryDir directory;
    Settings settings(directory.filePath(QStringLiteral("Quillora.conf")), nullptr);
    FakeHttpServer server;
    settings.setText(SettingKey::llmProvider, QStringLiteral("claude"));
    settings.setText(SettingKey::anthropicBaseURL, server.baseURL());
    QNetworkAccessManager network;
    auto store = *Store::openInMemory();
    auto context = store->newContext();
    Transcript transcript(nullptr);
    Keychain keychain;
    SuggestionServiceOptions options;
    options.pause = 0ms;
    options.readKey = languageModelSettings::keychainReader(&keychain);
    SuggestionService service(
        &transcript, [&]() -> StoreContext& { return *context; },
        LLMClient(&network, LLMEndpoints::sourceFor(&settings)), &settings, nullptr, options);
    server.respond("/v1/messages", FakeHttpServer::Response {});

    ::kill(static_cast<pid_t>(pid.value()), SIGSTOP);
    const auto stoppedAt = Steady::now();
    transcript.handleText(QStringLiteral("Can you tell me about it?"), true, Speaker::them);
    double longestMs = 0;
    auto last = Steady::now();
    bool resumed = false;
    spinUntil(
        [&] {
            const auto now = Steady::now();
            longestMs = std::max(longestMs, std::chrono::duration<double, std::milli>(now - last).count());
            last = now;
            if (!resumed && now - stoppedAt > 1s) {
                ::kill(static_cast<pid_t>(pid.value()), SIGCONT);
                resumed = true;
            }
            return resumed && !service.history().isEmpty();
        },
        60s);
    if (!resumed) {
        ::kill(static_cast<pid_t>(pid.value()), SIGCONT);
    }
    print("suggestions.keyring_stopped_max_main_stall_ms", longestMs, "ms");
}

void benchQuestionHeuristic()
{
    const QStringList lines {
        QStringLiteral("Então, me fala um pouco sobre o último projeto em que você trabalhou"),
        QStringLiteral("I know what you mean, that happened to us as well last year"),
        QStringLiteral("Okay. What about pricing for the enterprise plan"),
        QStringLiteral("Because I said so, and that is the end of it; we move on now"),
        QStringLiteral("E aí, tudo bem com você? Faz tempo que a gente não conversa"),
        QStringLiteral("The quarterly numbers look good and the team is growing steadily"),
    };
    int questions = 0;
    const int rounds = 20000;
    const auto started = Steady::now();
    const double cpuStarted = threadCpuSeconds();
    for (int i = 0; i < rounds; ++i) {
        questions += SuggestionService::looksLikeQuestion(lines.at(i % lines.size())) ? 1 : 0;
    }
    print("suggestions.looks_like_question_us", (threadCpuSeconds() - cpuStarted) * 1e6 / rounds, "us");
    print("suggestions.looks_like_question_wall_us", millisecondsSince(started) * 1000.0 / rounds, "us");
    if (questions == 0) {
        std::fprintf(stderr, "bench: no question found\n");
    }
}

struct TextcatDeleter {
    void operator()(void* handle) const { textcat_Done(handle); }
};

// libexttextcat restricted to the Portuguese and English fingerprints, the comparison figure.
std::unique_ptr<void, TextcatDeleter> makeTextcat()
{
    QTemporaryDir folder;
    QFile configuration(folder.filePath(QStringLiteral("textcat.conf")));
    if (!folder.isValid() || !configuration.open(QIODevice::WriteOnly)) {
        return {};
    }
    configuration.write("pt.lm pt\nen.lm en\n");
    configuration.close();
    std::unique_ptr<void, TextcatDeleter> classifier(
        special_textcat_Init(configuration.fileName().toLocal8Bit().constData(), "/usr/share/libexttextcat/"));
    if (classifier) {
        textcat_SetProperty(classifier.get(), TCPROP_UTF8AWARE, TC_TRUE);
    }
    return classifier;
}

QString textcatLabel(void* classifier, const QString& text)
{
    QByteArray utf8 = text.toUtf8();
    const char* result = textcat_Classify(classifier, utf8.data(), static_cast<size_t>(utf8.size()));
    const QByteArray answer(result ? result : "");
    return answer.startsWith("[en]") ? QStringLiteral("en")
        : answer.startsWith("[pt]")  ? QStringLiteral("pt")
                                     : QStringLiteral("none");
}

QString identifiedLabel(const QString& text)
{
    const auto language = languageIdentifier::identify(text);
    return !language                             ? QStringLiteral("none")
        : *language == ReplyLanguage::portuguese ? QStringLiteral("pt")
                                                 : QStringLiteral("en");
}

// Accuracy on the labelled lines of tests/data/language, beside libexttextcat's, and the time
// the identifier takes for one line.
void benchLanguage()
{
    const QList<LabelledLine> lines = labelledLanguageLines(QStringLiteral(QUILLORA_TEST_DATA));
    if (lines.isEmpty()) {
        std::fprintf(stderr, "bench: the labelled language lines are missing\n");
        return;
    }
    const auto percentRight = [&](auto label) {
        qsizetype right = 0;
        for (const LabelledLine& line : lines) {
            right += label(line.text) == line.label ? 1 : 0;
        }
        return 100.0 * static_cast<double>(right) / static_cast<double>(lines.size());
    };
    print("suggestions.language_accuracy_pct", percentRight(identifiedLabel), "%");
    const auto textcat = makeTextcat();
    if (textcat) {
        // Lines without a letter or digit get no hypothesis before the classifier is asked, as the
        // app did with it.
        print("suggestions.language_accuracy_exttextcat_pct", percentRight([&](const QString& text) {
            return text::hasLetterOrDigit(text) ? textcatLabel(textcat.get(), text) : QStringLiteral("none");
        }),
            "%");
    } else {
        std::fprintf(stderr, "bench: libexttextcat's fingerprints were not found\n");
    }

    const int rounds = 200;
    int portuguese = 0;
    const double cpuStarted = threadCpuSeconds();
    for (int round = 0; round < rounds; ++round) {
        for (const LabelledLine& line : lines) {
            portuguese += languageIdentifier::identify(line.text) == ReplyLanguage::portuguese ? 1 : 0;
        }
    }
    const double perLine = static_cast<double>(rounds) * static_cast<double>(lines.size());
    print("suggestions.language_us_per_line", (threadCpuSeconds() - cpuStarted) * 1e6 / perLine, "us");
    if (portuguese == 0) {
        std::fprintf(stderr, "bench: no Portuguese line found\n");
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // An optional argument picks one part: question, language, events, prompt, live or keyring.
    const QString only = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    const auto wanted = [&](const char* part) { return only.isEmpty() || only == QLatin1String(part); };
    if (wanted("question")) {
        benchQuestionHeuristic();
    }
    if (wanted("language")) {
        benchLanguage();
    }
    if (wanted("events")) {
        benchEventReader();
    }
    if (wanted("prompt")) {
        benchSystemPrompt();
    }
    if (wanted("live")) {
        benchLivePath();
    }
    if (wanted("keyring")) {
        benchStoppedKeyring();
    }
    return 0;
}
