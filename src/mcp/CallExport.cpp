#include "mcp/CallExport.h"

#include "common/Uuid.h"
#include "mcp/Tools.h"
#include "mcp/WriteAll.h"
#include "store/StoreContext.h"
#include "store/StorePaths.h"

#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <vector>

#include <unistd.h>

namespace callExport {

namespace {

// A caption stays at least this long, so lines said together stay readable, and at most this
// long, so a pause is not captioned.
constexpr qint64 shortestCueMs = 1000;
constexpr qint64 longestCueMs = 10000;

struct Cue {
    qint64 startMs = 0;
    qint64 endMs = 0;
    bool fromMe = false;
    QString text;
};

// Line breaks would end a caption early (or a line of the text file): one line each.
QString oneLine(const QString& text)
{
    QString line = text;
    for (QChar& ch : line) {
        if (ch == u'\n' || ch == u'\r' || ch == QChar::LineSeparator || ch == QChar::ParagraphSeparator) {
            ch = u' ';
        }
    }
    return line.trimmed();
}

QDateTime origin(const Call& call, const QList<CallLine>& lines)
{
    if (call.startedAt.isValid()) {
        return call.startedAt;
    }
    return lines.isEmpty() ? QDateTime() : lines.first().date;
}

// The spoken lines in time order, each shown until the next begins (within the bounds above).
std::vector<Cue> cuesOf(const Call& call)
{
    const QList<CallLine> lines = call.lines();
    const QDateTime start = origin(call, lines);
    std::vector<Cue> cues;
    for (const CallLine& line : lines) {
        const QString text = oneLine(line.text);
        if (!text.isEmpty()) {
            cues.push_back({ std::max<qint64>(0, start.msecsTo(line.date)), 0, line.fromMe, text });
        }
    }
    std::stable_sort(cues.begin(), cues.end(), [](const Cue& a, const Cue& b) { return a.startMs < b.startMs; });
    const qint64 callEndMs = std::max<qint64>(0, start.msecsTo(call.endedAt));
    for (size_t i = 0; i < cues.size(); ++i) {
        const qint64 next = i + 1 < cues.size() ? cues[i + 1].startMs : callEndMs;
        cues[i].endMs = std::clamp(next, cues[i].startMs + shortestCueMs, cues[i].startMs + longestCueMs);
    }
    return cues;
}

QString clockText(qint64 ms, QChar fractionSeparator)
{
    return QStringLiteral("%1:%2:%3%4%5")
        .arg(ms / 3600000, 2, 10, QLatin1Char('0'))
        .arg(ms / 60000 % 60, 2, 10, QLatin1Char('0'))
        .arg(ms / 1000 % 60, 2, 10, QLatin1Char('0'))
        .arg(fractionSeparator)
        .arg(ms % 1000, 3, 10, QLatin1Char('0'));
}

QString speakerLabel(bool fromMe)
{
    return speaker::label(fromMe ? Speaker::me : Speaker::them);
}

QByteArray subRip(const Call& call)
{
    QString out;
    int index = 0;
    for (const Cue& cue : cuesOf(call)) {
        out += QString::number(++index) + u'\n' + clockText(cue.startMs, u',') + QStringLiteral(" --> ")
            + clockText(cue.endMs, u',') + u'\n' + speakerLabel(cue.fromMe)
            + QStringLiteral(": ")
            // "-->" in a caption's text would read as a timing line to some players.
            + QString(cue.text).replace(QStringLiteral("-->"), QStringLiteral("->")) + QStringLiteral("\n\n");
    }
    return out.toUtf8();
}

QString escapedCueText(const QString& text)
{
    QString out = text;
    out.replace(u'&', QStringLiteral("&amp;"));
    out.replace(u'<', QStringLiteral("&lt;"));
    out.replace(u'>', QStringLiteral("&gt;"));
    return out;
}

QByteArray webVtt(const Call& call)
{
    QString out = QStringLiteral("WEBVTT\n\n");
    for (const Cue& cue : cuesOf(call)) {
        out += clockText(cue.startMs, u'.') + QStringLiteral(" --> ") + clockText(cue.endMs, u'.')
            + QStringLiteral("\n<v ") + speakerLabel(cue.fromMe) + u'>' + escapedCueText(cue.text)
            + QStringLiteral("\n\n");
    }
    return out.toUtf8();
}

template <typename R> QString nameOf(StoreContext& context, const std::optional<QUuid>& id)
{
    if (id) {
        if (const auto found = context.fetchOne<R>(*id).value_or(std::nullopt)) {
            return found->name;
        }
    }
    return QStringLiteral("None");
}

QByteArray plainText(StoreContext& context, const Call& call)
{
    const QList<CallLine> lines = call.lines();
    const QList<CallSuggestion> suggestions = call.suggestions();
    const QDateTime start = origin(call, lines);
    const auto at = [&](const QDateTime& when) {
        return u'[' + clockText(std::max<qint64>(0, start.msecsTo(when)), u'.').chopped(4) + QStringLiteral("] ");
    };
    QString out = QStringLiteral("Call on %1, about %2 min\n")
                      .arg(call.startedAt.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")))
                      .arg(call.durationMinutes());
    out += QStringLiteral("Assistant: ") + nameOf<Assistant>(context, call.assistant) + u'\n';
    out += QStringLiteral("Context: ") + nameOf<CallContext>(context, call.context) + u'\n';
    if (call.outcomeValue() != CallOutcome::none) {
        out += QStringLiteral("Outcome: ") + callOutcome::rawText(call.outcomeValue()) + u'\n';
    }
    if (!call.outcomeNote.isEmpty()) {
        out += QStringLiteral("Note: ") + oneLine(call.outcomeNote) + u'\n';
    }
    out += QStringLiteral("\nSummary:\n") + call.summary + QStringLiteral("\n\nTranscript:\n");
    // Each suggestion after the lines finished by the time it was made, as the call window showed it.
    qsizetype next = 0;
    const auto linesUntil = [&](const std::optional<QDateTime>& until) {
        for (; next < lines.size() && (!until || lines[next].date <= *until); ++next) {
            const CallLine& line = lines[next];
            out += at(line.date) + speakerLabel(line.fromMe) + QStringLiteral(": ") + oneLine(line.text) + u'\n';
        }
    };
    for (const CallSuggestion& suggestion : suggestions) {
        linesUntil(suggestion.date);
        out += at(suggestion.date) + QStringLiteral("Suggestion: ") + oneLine(suggestion.text) + u'\n';
    }
    linesUntil(std::nullopt);
    return out.toUtf8();
}

constexpr const char* usage = "Usage: quillora --export-call UUID [--format txt|srt|vtt|json]\n";

} // namespace

std::optional<Format> parseFormat(const QString& name)
{
    if (name == u"txt") {
        return Format::text;
    }
    if (name == u"srt") {
        return Format::subRip;
    }
    if (name == u"vtt") {
        return Format::webVtt;
    }
    if (name == u"json") {
        return Format::json;
    }
    return std::nullopt;
}

QString suffix(Format format)
{
    switch (format) {
    case Format::text: return QStringLiteral("txt");
    case Format::subRip: return QStringLiteral("srt");
    case Format::webVtt: return QStringLiteral("vtt");
    case Format::json: return QStringLiteral("json");
    }
    return {};
}

Result<QByteArray> render(StoreContext& context, const Call& call, Format format)
{
    switch (format) {
    case Format::text: return plainText(context, call);
    case Format::subRip: return subRip(call);
    case Format::webVtt: return webVtt(call);
    case Format::json: {
        auto json = tools::callJson(context, call);
        if (!json) {
            return json;
        }
        return *json + '\n';
    }
    }
    return QByteArray();
}

int runCommand(int argc, char** argv)
{
    std::optional<QString> reference;
    QString formatName = QStringLiteral("txt");
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (std::strcmp(argument, "--export-call") == 0 && i + 1 < argc) {
            reference = QString::fromLocal8Bit(argv[++i]);
        } else if (std::strcmp(argument, "--format") == 0 && i + 1 < argc) {
            formatName = QString::fromLocal8Bit(argv[++i]);
        } else if (std::strncmp(argument, "--format=", 9) == 0) {
            formatName = QString::fromLocal8Bit(argument + 9);
        } else {
            std::fputs(usage, stderr);
            return 2;
        }
    }
    const std::optional<Format> format = parseFormat(formatName);
    if (!reference || !format) {
        if (reference) {
            std::fprintf(
                stderr, "quillora: Unknown format %s. Use txt, srt, vtt or json.\n", qUtf8Printable(formatName));
        } else {
            std::fputs(usage, stderr);
        }
        return 2;
    }
    const QString notFound = QStringLiteral("quillora: Call not found: %1.\n").arg(*reference);
    const std::optional<QUuid> id = uuid::parse(*reference);
    // Without a store there is no call, and exporting makes none.
    if (!id || !QFileInfo::exists(storePaths::storeURL())) {
        std::fputs(qUtf8Printable(notFound), stderr);
        return 1;
    }
    auto store = storePaths::makeContainer(false);
    if (!store) {
        std::fprintf(stderr, "quillora: could not open %s: %s\n", qUtf8Printable(storePaths::storeURL()),
            qUtf8Printable(store.error().message));
        return 1;
    }
    StoreContext context(*store);
    const auto call = context.fetchOne<Call>(*id);
    if (!call || !*call) {
        std::fputs(
            qUtf8Printable(call ? notFound : QStringLiteral("quillora: %1\n").arg(call.error().message)), stderr);
        return 1;
    }
    const auto bytes = render(context, **call, *format);
    if (!bytes) {
        std::fprintf(stderr, "quillora: %s\n", qUtf8Printable(bytes.error().message));
        return 1;
    }
    // A reader that went away (`| head`) is a failed write, not a crash.
    std::signal(SIGPIPE, SIG_IGN);
    if (!writeAll(STDOUT_FILENO, *bytes)) {
        std::fprintf(stderr, "quillora: could not write the call: %s\n", std::strerror(errno));
        return 1;
    }
    return 0;
}

} // namespace callExport
