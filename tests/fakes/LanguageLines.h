#pragma once

#include <QFile>
#include <QList>
#include <QString>

// The labelled lines of tests/data/language/reply-language.tsv (its header gives the labelling
// rule), for the language identifier's test and benchmark; empty when the file cannot be read.
struct LabelledLine {
    QString label; // "pt", "en" or "none"
    QString text;
};

inline QList<LabelledLine> labelledLanguageLines(const QString& dataFolder)
{
    QFile file(dataFolder + QStringLiteral("/language/reply-language.tsv"));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    QList<LabelledLine> lines;
    for (const QString& row : QString::fromUtf8(file.readAll()).split(u'\n')) {
        if (!row.isEmpty() && !row.startsWith(u'#')) {
            const qsizetype tab = row.indexOf(u'\t');
            lines.append({ row.left(tab), row.mid(tab + 1) });
        }
    }
    return lines;
}
