// Full-text search over 1,000 calls of 1,000 lines each, one figure a line as "name value unit".
// The store is generated in a temporary folder: lines of everyday call words with a long tail of
// rarer ones (names, products, places), as a year of calls holds.

#include "BenchFigures.h"
#include "common/Dates.h"
#include "common/Uuid.h"
#include "store/CallSearch.h"
#include "store/Store.h"
#include "store/StoreContext.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include <QFileInfo>
#include <QTemporaryDir>

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

constexpr int callCount = 1000;
constexpr int linesPerCall = 1000;
constexpr int callsPerSave = 50;

// A fixed sequence, so every run searches the same store.
class Random {
public:
    std::uint32_t next()
    {
        m_state = m_state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<std::uint32_t>(m_state >> 33);
    }
    double unit() { return next() / 2147483648.0; }

private:
    std::uint64_t m_state = 42;
};

const QStringList common = QStringLiteral(
    "the a to and of we you i it that is for on in this with so be can have about what our do will just yeah "
    "ok right think team project next week time really like know going would make sure also then there more")
                               .split(u' ');

// Pronounceable words; the tail is drawn by rank, so a few are frequent and most are rare.
QStringList tailWords(Random& random, int count)
{
    const QStringList syllables = QStringLiteral("ka lo mi ne ru sa te vo bri dan fel gor hal jin kos lum mar "
                                                 "nol pen qua ros sil tor ul ven wix yor zan")
                                      .split(u' ');
    QStringList words;
    for (int i = 0; i < count; ++i) {
        QString word;
        const int parts = 2 + static_cast<int>(random.next() % 3);
        for (int p = 0; p < parts; ++p) {
            word += syllables[static_cast<int>(random.next() % syllables.size())];
        }
        words.append(word + QString::number(i % 7));
    }
    return words;
}

QString lineText(Random& random, const QStringList& tail)
{
    const int length = 6 + static_cast<int>(random.next() % 10);
    QStringList words;
    for (int i = 0; i < length; ++i) {
        if (random.unit() < 0.7) {
            words.append(common[static_cast<int>(random.next() % common.size())]);
        } else {
            // Zipf-like: rank r with probability about 1/r.
            const double rank = std::exp(random.unit() * std::log(static_cast<double>(tail.size())));
            words.append(tail[std::min(static_cast<int>(rank) - 1, static_cast<int>(tail.size()) - 1)]);
        }
    }
    return words.join(u' ');
}

qint64 bytesOf(SQLite::Database& db, const char* like)
{
    SQLite::Statement statement(db, "SELECT coalesce(sum(pgsize), 0) FROM dbstat WHERE name LIKE ?");
    statement.bind(1, like);
    statement.executeStep();
    return statement.getColumn(0).getInt64();
}

} // namespace

int main()
{
    QTemporaryDir folder;
    auto opened = Store::open(folder.filePath(QStringLiteral("Assistants.store")));
    if (!folder.isValid() || !opened) {
        std::fprintf(stderr, "bench_call_search: could not make the store\n");
        return 1;
    }
    std::shared_ptr<Store> store = *opened;
    auto context = store->newContext();
    Assistant assistant = Assistant::make(QStringLiteral("Bench"), AssistantTemplate::interview);
    context->insert(assistant);
    if (!context->save()) {
        return 1;
    }

    Random random;
    const QStringList tail = tailWords(random, 20000);
    std::vector<double> saveMs;
    const double firstSeconds = 760000000.0;
    for (int c = 0; c < callCount; ++c) {
        QList<CallLine> lines;
        lines.reserve(linesPerCall);
        const double start = firstSeconds + c * 86400.0;
        for (int l = 0; l < linesPerCall; ++l) {
            lines.append({ l % 2 == 0, lineText(random, tail), dates::fromReferenceSeconds(start + l * 3) });
        }
        Call call;
        call.id = uuid::create();
        call.startedAt = dates::fromReferenceSeconds(start);
        call.endedAt = dates::fromReferenceSeconds(start + linesPerCall * 3);
        call.assistant = assistant.id;
        call.linesData = blob::encodeLines(lines);
        call.summary = lineText(random, tail);
        context->insert(call);
        if ((c + 1) % callsPerSave == 0) {
            const auto started = bench::Steady::now();
            if (auto saved = context->save(); !saved) {
                std::fprintf(stderr, "bench_call_search: %s\n", qPrintable(saved.error().message));
                return 1;
            }
            saveMs.push_back(bench::millisecondsSince(started) / callsPerSave);
        }
    }

    // Words of every frequency: everyday ones, the frequent and the rare end of the tail, two words of
    // one line, and a beginning being typed.
    const QStringList queries { QStringLiteral("project"), tail[0], tail[3], tail[40], tail[400], tail[4000],
        tail[15000], tail[19999], tail[10] + u' ' + tail[20], QStringLiteral("next week ") + tail[100], tail[7].left(4),
        tail[700].left(5), QStringLiteral("team ") + tail[2000], tail[12345], tail[50] };
    std::vector<double> times;
    std::size_t hits = 0;
    for (int round = 0; round < 3; ++round) {
        for (const QString& text : queries) {
            const auto started = bench::Steady::now();
            const auto found = callSearch::find(*context, { text, std::nullopt, std::nullopt, 20 });
            times.push_back(bench::millisecondsSince(started));
            if (!found) {
                std::fprintf(stderr, "bench_call_search: %s\n", qPrintable(found.error().message));
                return 1;
            }
            hits += found->size();
        }
    }
    SQLite::Database& db = store->database();
    const double lineCount = static_cast<double>(callCount) * (linesPerCall + 1);
    const qint64 indexBytes = bytesOf(db, "CallKey%") + bytesOf(db, "CallSearch%");
    bench::print("call_search.lines", lineCount, "lines");
    bench::print("call_search.query_median_ms", bench::median(times), "ms");
    bench::print("call_search.query_worst_ms", *std::max_element(times.begin(), times.end()), "ms");
    bench::print("call_search.index_kib_per_1000_lines", indexBytes / 1024.0 / (lineCount / 1000.0), "KiB");
    bench::print(
        "call_search.transcript_kib_per_1000_lines", bytesOf(db, "Call") / 1024.0 / (lineCount / 1000.0), "KiB");
    bench::print("call_search.save_1000_line_call_ms", bench::median(saveMs), "ms");
    return hits > 0 ? 0 : 1;
}
