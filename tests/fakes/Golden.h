#pragma once

#include <QFile>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <algorithm>

// Expected texts kept whole in a file under tests/data, so a test compares against them instead of
// restating them inline. A missing or unreadable file reads as empty, which fails the comparison.
inline QByteArray goldenBytes(const QString& name)
{
    QFile file(QStringLiteral(QUILLORA_TEST_DATA "/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline QString goldenText(const QString& name)
{
    return QString::fromUtf8(goldenBytes(name));
}

inline QJsonObject goldenJson(const QString& name)
{
    return QJsonDocument::fromJson(goldenBytes(name)).object();
}

// The sections of a golden text file, by name: each starts with a line "@@@ <name>" and runs to the
// line break before the next such line, so a section can end in blank lines of its own.
inline QHash<QString, QString> goldenSections(const QString& name)
{
    QHash<QString, QString> sections;
    const QString text = goldenText(name);
    const QString marker = QStringLiteral("\n@@@ ");
    const qsizetype first = (u'\n' + text).indexOf(marker);
    for (qsizetype at = first; at >= 0;) { // `at` is the start of a "@@@ " line
        const qsizetype nameEnd = text.indexOf(u'\n', at);
        const qsizetype next = nameEnd < 0 ? -1 : text.indexOf(marker, nameEnd - 1);
        const qsizetype end = next >= 0 ? next : text.size() - (text.endsWith(u'\n') ? 1 : 0);
        sections.insert(text.mid(at + 4, nameEnd - at - 4),
            nameEnd < 0 ? QString() : text.mid(nameEnd + 1, std::max<qsizetype>(0, end - nameEnd - 1)));
        at = next < 0 ? -1 : next + 1;
    }
    return sections;
}
