#pragma once

#include "common/Error.h"
#include "records/Records.h"

#include <QByteArray>
#include <QString>

#include <optional>

class StoreContext;

// A stored call as a file for other programs: plain text, SubRip or WebVTT captions, or JSON in
// the shape of the tool server's "get_call". Captions hold the spoken lines, each timed from its
// time relative to the call's start; the text holds everything a reader needs, suggestions among
// the lines where they were made.
namespace callExport {

enum class Format { text, subRip, webVtt, json };

// "txt", "srt", "vtt" or "json"; nothing for anything else.
std::optional<Format> parseFormat(const QString& name);
// The file name extension of a format, without the dot.
QString suffix(Format format);

// The call in `format`, UTF-8 with "\n" line breaks; the names of its assistant and context are
// read through `context`.
Result<QByteArray> render(StoreContext& context, const Call& call, Format format);

// `quillora --export-call UUID [--format txt|srt|vtt|json]`: writes the call to standard output,
// without a window or the session bus. Exit status 0, 1 when the call cannot be read or written
// out, 2 for a usage error; the reason goes to standard error.
int runCommand(int argc, char** argv);

} // namespace callExport
