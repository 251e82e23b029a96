#include "llm/EventReader.h"

#include <QJsonDocument>
#include <QJsonParseError>

#include <cstring>

namespace {

// Offset of the first CR or LF, or `size` when there is none.
qsizetype lineEnd(const char* data, qsizetype size)
{
    const auto* lf = static_cast<const char*>(std::memchr(data, '\n', static_cast<size_t>(size)));
    const qsizetype limit = lf ? lf - data : size;
    const auto* cr = static_cast<const char*>(std::memchr(data, '\r', static_cast<size_t>(limit)));
    return cr ? cr - data : limit;
}

} // namespace

EventReader::EventReader(Sink sink)
    : m_sink(std::move(sink))
{
}

bool EventReader::feed(QByteArrayView chunk)
{
    qsizetype start = 0;
    const qsizetype size = chunk.size();
    const char* data = chunk.data();
    while (!m_done && start < size) {
        qsizetype end = lineEnd(data + start, size - start) + start;
        const QByteArrayView piece = chunk.sliced(start, end - start);
        const bool complete = end < size;
        if (!m_skipping) {
            if (m_line.size() + piece.size() > maxLineBytes) {
                m_line.clear();
                m_skipping = true;
            } else if (complete && m_line.isEmpty()) {
                handleLine(piece); // the common case: the whole line is inside this chunk
            } else {
                m_line.append(piece);
                if (complete) {
                    handleLine(m_line);
                    m_line.clear();
                }
            }
        }
        if (complete) {
            m_skipping = false;
            start = end + 1;
        } else {
            start = end;
        }
    }
    return !m_done;
}

void EventReader::finish()
{
    if (!m_done && !m_skipping && !m_line.isEmpty()) {
        handleLine(m_line);
    }
    m_line.clear();
    m_skipping = false;
}

void EventReader::handleLine(QByteArrayView line)
{
    if (!line.startsWith("data:")) {
        return;
    }
    QByteArrayView rest = line.sliced(5);
    while (!rest.isEmpty() && (rest.front() == ' ' || rest.front() == '\t')) {
        rest = rest.sliced(1);
    }
    while (!rest.isEmpty() && (rest.back() == ' ' || rest.back() == '\t')) {
        rest.chop(1);
    }
    if (rest == "[DONE]") {
        m_done = true;
        return;
    }
    if (rest.isEmpty() || rest.front() != '{') {
        return; // only objects are events; this also spares the parser most garbage
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromRawData(rest.data(), rest.size()), &error);
    if (error.error == QJsonParseError::NoError && document.isObject()) {
        m_sink(document.object());
    }
}
