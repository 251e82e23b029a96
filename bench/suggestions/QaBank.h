#pragma once

// The Q&A bank the matching benchmarks share: the labelled bank of tests/data/qa (QUILLORA_TEST_DATA),
// filled up to 500 items with questions made from everyday templates.

#include "records/Records.h"

#include <QFile>
#include <QStringList>

#include <vector>

namespace bench {

inline QList<QStringList> qaRows(const QString& name)
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

inline std::vector<QAItem> qaBankOf500()
{
    std::vector<QAItem> bank;
    for (const QStringList& row : qaRows(QStringLiteral("bank.tsv"))) {
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

} // namespace bench
