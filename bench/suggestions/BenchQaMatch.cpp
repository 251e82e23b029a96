// Matching a line of the other person against a Q&A bank of 500 items, one figure a line as
// "name value unit". The bank is the labelled one of tests/data/qa, filled up to 500 with questions
// made from everyday templates; the lines are the labelled questions.

#include "BenchFigures.h"
#include "suggestions/QaMatch.h"

#include <QFile>

#include <vector>

namespace {

QList<QStringList> tsvRows(const QString& name)
{
    QFile file(QStringLiteral(QUILLORA_TEST_DATA "/qa/") + name);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    QList<QStringList> rows;
    for (const QString& line : QString::fromUtf8(file.readAll()).split(u'\n')) {
        if (!line.isEmpty() && !line.startsWith(u'#')) {
            rows.append(line.split(u'\t'));
        }
    }
    return rows;
}

std::vector<QAItem> bankOf500()
{
    std::vector<QAItem> bank;
    for (const QStringList& row : tsvRows(QStringLiteral("bank.tsv"))) {
        bank.push_back(QAItem::make(row[2], row[3], row[1] == u"any" ? QString() : row[1], QStringLiteral("manual")));
    }
    const QStringList templates { QStringLiteral("What is your experience with %1?"),
        QStringLiteral("How do you handle %1 in a project?"), QStringLiteral("Como você lida com %1 no dia a dia?"),
        QStringLiteral("Qual é a sua opinião sobre %1?"), QStringLiteral("Can you give an example of %1?") };
    const QStringList topics { QStringLiteral("code reviews"), QStringLiteral("tight deadlines"),
        QStringLiteral("legacy systems"), QStringLiteral("remote teams"), QStringLiteral("incident response"),
        QStringLiteral("hiring"), QStringLiteral("mentoring"), QStringLiteral("performance tuning"),
        QStringLiteral("data migrations"), QStringLiteral("customer complaints"), QStringLiteral("pricing changes"),
        QStringLiteral("contract renewals"), QStringLiteral("security audits"), QStringLiteral("accessibility"),
        QStringLiteral("feature flags"), QStringLiteral("technical debt"), QStringLiteral("stakeholder updates"),
        QStringLiteral("estimations"), QStringLiteral("A/B tests"), QStringLiteral("on-call rotations") };
    for (int round = 0; bank.size() < 500; ++round) {
        for (const QString& topic : topics) {
            for (const QString& form : templates) {
                if (bank.size() < 500) {
                    const QString question = form.arg(topic) + (round ? QStringLiteral(" (%1)").arg(round) : QString());
                    bank.push_back(
                        QAItem::make(question, QStringLiteral("An answer."), QString(), QStringLiteral("m")));
                }
            }
        }
    }
    return bank;
}

} // namespace

int main()
{
    const std::vector<QAItem> bank = bankOf500();
    QStringList lines;
    for (const QStringList& row : tsvRows(QStringLiteral("questions.tsv"))) {
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
