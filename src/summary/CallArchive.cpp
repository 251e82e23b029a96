#include "summary/CallArchive.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <system_error>

namespace {

bool setsApart(QChar c)
{
    return c.isSpace() || c == u'(' || c == u')' || c == u'[' || c == u']' || c == u',';
}

// Drops the time-zone fields (runs of 't' outside quotes) with the spaces, brackets and commas
// that set each apart from the rest of the format.
QString withoutTimeZone(const QString& format)
{
    QString out;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c == u'\'') {
            quoted = !quoted;
        } else if (!quoted && c == u't') {
            while (!out.isEmpty() && setsApart(out.back())) {
                out.chop(1);
            }
            while (i + 1 < format.size() && (format.at(i + 1) == u't' || setsApart(format.at(i + 1)))) {
                ++i;
            }
            if (!out.isEmpty() && i + 1 < format.size()) {
                out += u' ';
            }
            continue;
        }
        out += c;
    }
    return out;
}

// Shows instants in the user's time zone. Each conversion asks the system for the zone (a file
// check every time), so when the zone's offset is the same at both ends of a call that lasts less
// than a day, and the clocks therefore did not change in between, one offset serves every instant.
class LocalTimes {
public:
    LocalTimes(const QDateTime& earliest, const QDateTime& latest)
    {
        const int offset = earliest.toLocalTime().offsetFromUtc();
        if (earliest.secsTo(latest) < 24 * 3600 && latest.toLocalTime().offsetFromUtc() == offset) {
            m_offset = offset;
        }
    }

    QDateTime of(const QDateTime& when) const
    {
        return m_offset ? when.toOffsetFromUtc(*m_offset) : when.toLocalTime();
    }

private:
    std::optional<int> m_offset;
};

LocalTimes localTimesFor(const QList<TranscriptLine>& lines, const QList<Suggestion>& suggestions)
{
    QDateTime earliest = lines.first().date;
    QDateTime latest = earliest;
    const auto widen = [&](const QDateTime& when) {
        earliest = std::min(earliest, when);
        latest = std::max(latest, when);
    };
    for (const TranscriptLine& line : lines) {
        widen(line.date);
    }
    for (const Suggestion& suggestion : suggestions) {
        if (!suggestion.isError) {
            widen(suggestion.timestamp);
        }
    }
    return LocalTimes(earliest, latest);
}

void appendSuggestion(QString& out, const QString& time, const QString& reply)
{
    out += QLatin1String("> **");
    out += time;
    out += QLatin1String(" Suggestion:** ");
    if (reply.contains(u'\n') || reply.contains(u'\r')) {
        // Every line of a reply that spans several stays inside the quote, or the rest of it
        // would read as a line of the transcript.
        QString quoted = reply;
        quoted.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        quoted.replace(u'\r', u'\n');
        quoted.replace(QLatin1String("\n"), QLatin1String("\n> "));
        out += quoted;
    } else {
        out += reply;
    }
    out += QLatin1String("\n\n");
}

} // namespace

namespace callArchive {

QString folder()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
        .filePath(QStringLiteral("Quillora"));
}

QString baseName(const QDateTime& start)
{
    return QLocale::c().toString(start.toLocalTime(), QStringLiteral("yyyy-MM-dd HH.mm.ss"));
}

QString headingDateFormat(const QLocale& locale)
{
    static const QRegularExpression twoDigitYear(QStringLiteral("(?<!y)yy(?!y)"));
    QString format = locale.dateFormat(QLocale::ShortFormat);
    format.replace(twoDigitYear, QStringLiteral("yyyy"));
    return format;
}

QString timeWithSecondsFormat(const QLocale& locale)
{
    QString format = withoutTimeZone(locale.timeFormat(QLocale::LongFormat));
    if (!format.contains(u's')) {
        // A locale whose long time has no seconds: its short time with the seconds added.
        format = locale.timeFormat(QLocale::ShortFormat);
        format.replace(QLatin1String("mm"), QLatin1String("mm:ss"));
    }
    return format;
}

QString content(const QList<TranscriptLine>& lines, const QList<Suggestion>& suggestions, const QString& notes,
    const QString& summary, const QLocale& locale)
{
    if (lines.isEmpty()) {
        return {};
    }
    const LocalTimes local = localTimesFor(lines, suggestions);
    const QDateTime start = local.of(lines.first().date);
    const qint64 minutes = std::max<qint64>(1, lines.first().date.msecsTo(lines.last().date) / 60000);
    const QString timeFormat = timeWithSecondsFormat(locale);
    const auto timeOf = [&](const QDateTime& when) { return locale.toString(local.of(when).time(), timeFormat); };

    QString out;
    out.reserve(512 + notes.size() + summary.size() + lines.size() * 96 + suggestions.size() * 192);
    out += QLatin1String("# Call on ");
    out += locale.toString(start.date(), headingDateFormat(locale));
    out += QLatin1String(", ");
    out += locale.toString(start.time(), QLocale::ShortFormat);
    out += QLatin1String("\n\nDuration: about ");
    out += QString::number(minutes);
    out += QLatin1String(" min\n\n## Notes\n\n");
    out += notes.isEmpty() ? QStringLiteral("No notes") : notes;
    out += QLatin1String("\n\n## Summary\n\n");
    out += summary;
    out += QLatin1String("\n\n## Transcript and suggestions\n\n");

    // The suggestions that are not errors form a queue; each is written before the first line
    // spoken after it was complete.
    qsizetype next = 0;
    const auto writeSuggestionsUntil = [&](const QDateTime* until) {
        for (; next < suggestions.size(); ++next) {
            const Suggestion& suggestion = suggestions.at(next);
            if (suggestion.isError) {
                continue;
            }
            if (until && suggestion.timestamp > *until) {
                break;
            }
            appendSuggestion(out, timeOf(suggestion.timestamp), suggestion.response);
        }
    };
    for (const TranscriptLine& line : lines) {
        writeSuggestionsUntil(&line.date);
        out += QLatin1String("**");
        out += timeOf(line.date);
        out += u' ';
        out += speaker::label(line.speaker);
        out += QLatin1String(":** ");
        out += line.text;
        out += QLatin1String("\n\n");
    }
    writeSuggestionsUntil(nullptr);
    return out;
}

} // namespace callArchive

Result<QString> writeCallArchive(const QList<TranscriptLine>& lines, const QList<Suggestion>& suggestions,
    const QString& notes, const QString& summary)
{
    if (lines.isEmpty()) {
        return fail(QCoreApplication::translate("CallArchive", "The file could not be saved."));
    }
    const QByteArray bytes = callArchive::content(lines, suggestions, notes, summary).toUtf8();

    const QString folder = callArchive::folder();
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(QFile::encodeName(folder).toStdString()), error);
    if (error) {
        return fail(folder + QStringLiteral(": ") + QString::fromLocal8Bit(error.message().c_str()));
    }

    const QString base = QDir(folder).filePath(callArchive::baseName(lines.first().date));
    QString path = base + QStringLiteral(".md");
    const auto taken = [](const QString& candidate) {
        const QFileInfo info(candidate);
        return info.exists() || info.isSymLink();
    };
    for (int number = 2; taken(path); ++number) {
        path = base + u' ' + QString::number(number) + QStringLiteral(".md");
    }
    // Written to a temporary file that then takes the name, so no partial file is ever left.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return fail(path + QStringLiteral(": ") + file.errorString());
    }
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        return fail(path + QStringLiteral(": ") + file.errorString());
    }
    return path;
}
