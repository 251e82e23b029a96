#pragma once

#include "records/Enums.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QUuid>

class Clock;

struct TranscriptLine {
    QUuid id;
    Speaker speaker = Speaker::me;
    QString text; // trimmed; has at least one letter or digit
    QDateTime date;

    bool operator==(const TranscriptLine&) const = default;
};

// The transcript of the current call, on the main thread: finished lines of both speakers and
// each speaker's in-progress text. A line of the user that only repeats the other person's audio
// (picked up again by the microphone) is suppressed.
class Transcript : public QObject {
    Q_OBJECT

public:
    // Lines of different speakers within this window whose word sets overlap enough are echoes.
    static constexpr double echoWindowSeconds = 8.0;
    static constexpr qsizetype echoMinimumWords = 2;
    static constexpr double echoMinimumOverlap = 0.7;

    // `clock` (the system clock when null) dates the lines; it outlives this.
    explicit Transcript(QObject* parent, Clock* clock = nullptr);

    const QList<TranscriptLine>& lines() const { return m_lines; }
    // The in-progress text per speaker ("volatile" text); no entry means nothing pending.
    const QHash<Speaker, QString>& volatileText() const { return m_volatile; }

    // The engines' one entry point: in-progress text when not final, else a finished line.
    void handleText(const QString& text, bool isFinal, Speaker speaker);

    // Empties the lines and the in-progress texts.
    void clear();
    // Empties only the in-progress texts (listening ended; the lines stay for the summary).
    void clearVolatile();

    // True when the two lines count as one utterance heard on both channels.
    static bool isEcho(const TranscriptLine& a, const TranscriptLine& b);

Q_SIGNALS:
    void linesChanged();
    void volatileChanged();
    // A finished line was appended (not emitted for a dropped echo).
    void lineAppended(const TranscriptLine& line);

private:
    void appendLine(const TranscriptLine& line);
    void setVolatile(Speaker speaker, const QString& text);

    Clock& m_clock;
    QList<TranscriptLine> m_lines;
    QHash<Speaker, QString> m_volatile;
};
