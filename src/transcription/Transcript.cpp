#include "transcription/Transcript.h"

#include "common/Dates.h"
#include "common/Log.h"
#include "common/Text.h"
#include "common/Uuid.h"

#include <QSet>

#include <cmath>

namespace speaker {

QString rawText(Speaker value)
{
    return value == Speaker::me ? QStringLiteral("You") : QStringLiteral("Them");
}

QString label(Speaker value)
{
    return value == Speaker::me ? QStringLiteral("You") : QStringLiteral("Other");
}

} // namespace speaker

namespace {

QString trimmed(const QString& text)
{
    // QString::trimmed removes white space and line breaks at both ends.
    return text.trimmed();
}

QSet<QString> wordSet(const QString& text)
{
    const QStringList words = text::normalizedWords(text);
    return QSet<QString>(words.begin(), words.end());
}

} // namespace

Transcript::Transcript(QObject* parent, Clock clock)
    : QObject(parent)
    , m_clock(clock ? std::move(clock) : Clock(&dates::now))
{
}

void Transcript::handleText(const QString& text, bool isFinal, Speaker speaker)
{
    const QString value = trimmed(text);
    if (!isFinal) {
        setVolatile(speaker, value);
        return;
    }
    if (text::hasLetterOrDigit(value)) {
        appendLine(TranscriptLine { uuid::create(), speaker, value, m_clock() });
    }
    setVolatile(speaker, QString());
}

void Transcript::clear()
{
    const bool hadLines = !m_lines.isEmpty();
    const bool hadVolatile = !m_volatile.isEmpty();
    m_lines.clear();
    m_volatile.clear();
    if (hadLines) {
        Q_EMIT linesChanged();
    }
    if (hadVolatile) {
        Q_EMIT volatileChanged();
    }
}

void Transcript::clearVolatile()
{
    if (!m_volatile.isEmpty()) {
        m_volatile.clear();
        Q_EMIT volatileChanged();
    }
}

bool Transcript::isEcho(const TranscriptLine& a, const TranscriptLine& b)
{
    if (a.speaker == b.speaker) {
        return false;
    }
    const double apartSeconds = std::abs(static_cast<double>(a.date.msecsTo(b.date)) / 1000.0);
    if (apartSeconds >= echoWindowSeconds) {
        return false;
    }
    const QSet<QString> wordsA = wordSet(a.text);
    const QSet<QString> wordsB = wordSet(b.text);
    const qsizetype smaller = std::min(wordsA.size(), wordsB.size());
    if (smaller < echoMinimumWords) {
        return false;
    }
    const qsizetype shared = QSet<QString>(wordsA).intersect(wordsB).size();
    return static_cast<double>(shared) / static_cast<double>(smaller) >= echoMinimumOverlap;
}

void Transcript::appendLine(const TranscriptLine& line)
{
    if (line.speaker == Speaker::me) {
        for (const TranscriptLine& other : std::as_const(m_lines)) {
            if (other.speaker == Speaker::them && isEcho(line, other)) {
                return;
            }
        }
    } else {
        m_lines.removeIf(
            [&](const TranscriptLine& other) { return other.speaker == Speaker::me && isEcho(line, other); });
    }
    m_lines.append(line);
    // Who spoke and how long, never what: transcripts stay out of the log.
    qCDebug(lcTranscription, "Finished line: %s, %lld characters", line.speaker == Speaker::me ? "me" : "them",
        static_cast<long long>(line.text.size()));
    Q_EMIT linesChanged();
    Q_EMIT lineAppended(line);
}

void Transcript::setVolatile(Speaker speaker, const QString& text)
{
    if (text.isEmpty()) {
        if (m_volatile.remove(speaker) > 0) {
            Q_EMIT volatileChanged();
        }
        return;
    }
    auto it = m_volatile.find(speaker);
    if (it != m_volatile.end() && *it == text) {
        return;
    }
    m_volatile.insert(speaker, text);
    Q_EMIT volatileChanged();
}
