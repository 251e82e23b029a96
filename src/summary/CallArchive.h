#pragma once

#include "common/Error.h"
#include "records/Suggestion.h"
#include "transcription/Transcript.h"

#include <QDateTime>
#include <QList>
#include <QLocale>
#include <QString>

// The human-readable copy of a finished call: one Markdown file per call in Documents/Quillora,
// named by the call's start, holding the notes, the summary and the transcript with the
// suggestions placed among the lines at the moment they were given.
namespace callArchive {

// Documents/Quillora in the user's documents folder.
QString folder();

// "yyyy-MM-dd HH.mm.ss" of `start` in the user's time zone, in plain digits whatever the locale.
QString baseName(const QDateTime& start);

// The locale's short date with a four-digit year, for the heading: a two-digit year is ambiguous
// in a file kept for years.
QString headingDateFormat(const QLocale& locale);
// The locale's time with seconds, for each line: its long time format without the time zone.
QString timeWithSecondsFormat(const QLocale& locale);

// The whole text of the file; `lines` must not be empty. Dates are shown in the user's time zone.
QString content(const QList<TranscriptLine>& lines, const QList<Suggestion>& suggestions, const QString& notes,
    const QString& summary, const QLocale& locale = QLocale::system());

} // namespace callArchive

// Writes the call's file atomically (UTF-8, "\n" line breaks) and gives its path. An existing file
// is never replaced: a call that starts in the same second as an earlier one is written with " 2",
// " 3", ... before ".md".
Result<QString> writeCallArchive(const QList<TranscriptLine>& lines, const QList<Suggestion>& suggestions,
    const QString& notes, const QString& summary);
