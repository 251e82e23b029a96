// Matching a line of the other person against a Q&A bank of 500 items, one figure a line as
// "name value unit". The bank is the labelled one of tests/data/qa, filled up to 500 with questions
// made from everyday templates; the lines are the labelled questions.

#include "BenchFigures.h"
#include "suggestions/QaBank.h"
#include "suggestions/QaMatch.h"

#include <vector>

int main()
{
    const std::vector<QAItem> bank = bench::qaBankOf500();
    QStringList lines;
    for (const QStringList& row : bench::qaRows(QStringLiteral("questions.tsv"))) {
        lines.append(row[1]);
    }
    if (lines.isEmpty()) {
        std::fprintf(stderr, "bench_qa_match: the labelled lines are missing\n");
        return 1;
    }
    std::vector<double> times;
    int found = 0;
    for (int round = 0; round < 3; ++round) {
        for (const QString& line : lines) {
            const auto start = bench::Steady::now();
            const auto match = qaMatch::best(line, bank, std::nullopt);
            times.push_back(bench::millisecondsSince(start));
            found += match ? 1 : 0;
        }
    }
    bench::print("qa_match.bank_items", static_cast<double>(bank.size()), "items");
    bench::print("qa_match.median_ms", bench::median(times), "ms");
    bench::print("qa_match.worst_ms", *std::max_element(times.begin(), times.end()), "ms");
    return found > 0 ? 0 : 1;
}
