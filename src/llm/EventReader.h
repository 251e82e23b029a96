#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QJsonObject>

#include <functional>

// Reads a server-sent event stream incrementally: it is fed byte chunks of any size and
// hands on the JSON object of every "data:" line. Lines end at LF, CR or CR LF, so chunk
// boundaries anywhere are harmless. Other lines (event names, comments, blank lines), data
// that is not a JSON object, and lines longer than `maxLineBytes` are skipped without error;
// an overlong line is never buffered beyond the cap.
class EventReader {
public:
    // Far above any real event line; bounds what one stream can hold in memory.
    static constexpr qsizetype maxLineBytes = 1024 * 1024;

    using Sink = std::function<void(const QJsonObject& event)>;

    explicit EventReader(Sink sink);

    // Returns false once the stream is over ("data: [DONE]"); later input is ignored.
    bool feed(QByteArrayView chunk);
    // End of the body: a last line without a line break still counts.
    void finish();

    bool isDone() const { return m_done; }

private:
    void handleLine(QByteArrayView line);

    Sink m_sink;
    QByteArray m_line;
    bool m_skipping = false; // inside an overlong line, waiting for its end
    bool m_done = false;
};
