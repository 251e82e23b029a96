#include "suggestions/QaMatch.h"

#include <QFile>
#include <QTest>

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

QAItem item(const QString& question, const QString& answer, const QString& language = QString())
{
    return QAItem::make(question, answer, language, QStringLiteral("manual"));
}

} // namespace

class QaMatchTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void labelledSet()
    {
        std::vector<QAItem> bank;
        QStringList keys;
        for (const QStringList& row : tsvRows(QStringLiteral("bank.tsv"))) {
            QCOMPARE(row.size(), 4);
            keys.append(row[0]);
            bank.push_back(item(row[2], row[3], row[1] == u"any" ? QString() : row[1]));
        }
        const QList<QStringList> questions = tsvRows(QStringLiteral("questions.tsv"));
        QVERIFY(bank.size() >= 50 && questions.size() >= 150);

        struct Outcome {
            QString label;
            QString found;
            double score;
            QString line;
        };
        std::vector<Outcome> outcomes;
        for (const QStringList& row : questions) {
            const auto match = qaMatch::best(row[1], bank, languageIdentifier::identify(row[1]), 0.0);
            QString found = QStringLiteral("none");
            if (match) {
                const auto at = std::find_if(
                    bank.begin(), bank.end(), [&](const QAItem& candidate) { return candidate.id == match->item.id; });
                found = keys[at - bank.begin()];
            }
            outcomes.push_back({ row[0], found, match ? match->score : 0.0, row[1] });
        }
        const qsizetype answerable =
            std::count_if(outcomes.begin(), outcomes.end(), [](const Outcome& o) { return o.label != u"none"; });
        const auto measure = [&](double threshold, QStringList* wrong) {
            int right = 0;
            int shown = 0;
            for (const Outcome& o : outcomes) {
                if (o.score < threshold || o.found == u"none") {
                    continue;
                }
                ++shown;
                if (o.found == o.label) {
                    ++right;
                } else if (wrong) {
                    wrong->append(QStringLiteral("%1 as %2 (%3): %4").arg(o.label, o.found).arg(o.score).arg(o.line));
                }
            }
            return std::pair { shown ? double(right) / shown : 1.0, double(right) / answerable };
        };
        QStringList wrong;
        const auto [precision, recall] = measure(qaMatch::threshold, &wrong);
        qInfo("at the chosen threshold %.2f: precision %.3f recall %.3f; shown wrongly:\n%s", qaMatch::threshold,
            precision, recall, qUtf8Printable(wrong.join(u'\n')));
        QVERIFY2(precision >= 0.9, qUtf8Printable(wrong.join(u'\n')));
        QVERIFY(recall >= 0.7);
    }

    void rules_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("language"); // -1 unknown, else ReplyLanguage
        QTest::addColumn<QString>("expected"); // the answer, or empty for none
        QTest::newRow("twin in the line's language") << QStringLiteral("what about the salary expectation")
                                                     << int(ReplyLanguage::portuguese) << QStringLiteral("16 mil");
        QTest::newRow("twin in the line's language, English")
            << QStringLiteral("qual a expectativa de salário") << int(ReplyLanguage::english) << QStringLiteral("95k");
        QTest::newRow("an item without answer is left out")
            << QStringLiteral("Do you have a portfolio?") << -1 << QString();
        QTest::newRow("only function words") << QStringLiteral("and what about you?") << -1 << QString();
    }

    void rules()
    {
        QFETCH(QString, line);
        QFETCH(int, language);
        QFETCH(QString, expected);
        const std::vector<QAItem> bank {
            item(QStringLiteral("What are your salary expectations?"), QStringLiteral("95k"), QStringLiteral("en")),
            item(
                QStringLiteral("Qual é a sua expectativa de salário?"), QStringLiteral("16 mil"), QStringLiteral("pt")),
            item(QStringLiteral("Do you have a portfolio?"), QStringLiteral("  ")),
            item(QStringLiteral("What is your hourly rate?"), QStringLiteral("85 an hour.")),
        };
        const auto match = qaMatch::best(line, bank,
            language < 0 ? std::nullopt : std::optional<ReplyLanguage>(static_cast<ReplyLanguage>(language)));
        QCOMPARE(match ? match->item.answer : QString(), expected);
    }
};

QTEST_GUILESS_MAIN(QaMatchTest)
#include "QaMatchTest.moc"
