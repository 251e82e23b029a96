#include "mcp/LineReader.h"

#include <cstring>

LineReader::LineReader(Sink sink, qsizetype capBytes)
    : m_sink(std::move(sink))
    , m_capBytes(capBytes)
{
}

void LineReader::feed(const char* data, qsizetype size)
{
    const char* end = data + size;
    while (data < end) {
        const auto* newline = static_cast<const char*>(std::memchr(data, '\n', static_cast<size_t>(end - data)));
        const char* pieceEnd = newline ? newline : end;
        const qsizetype pieceSize = pieceEnd - data;
        if (m_skipping) {
            skip(QByteArrayView(data, pieceSize));
        } else {
            if (m_buffer.size() + pieceSize > m_capBytes) {
                m_skipping = true;
                skip(m_buffer);
                skip(QByteArrayView(data, pieceSize));
                m_buffer.clear();
                m_buffer.squeeze();
            } else {
                // A long line is given the whole cap at once rather than doubling towards it, which
                // would hold the old and the new copy together.
                if (m_buffer.size() + pieceSize > wholeCapFrom && m_buffer.capacity() < m_capBytes) {
                    m_buffer.reserve(m_capBytes);
                }
                m_buffer.append(data, pieceSize);
            }
        }
        if (!newline) {
            return;
        }
        if (m_skipping) {
            m_skipping = false;
            m_sink.overlong();
        } else {
            emitLine();
        }
        data = newline + 1;
    }
}

void LineReader::finish()
{
    if (m_skipping) {
        m_sink.overlong();
    } else if (!m_buffer.isEmpty()) {
        emitLine();
    }
    m_skipping = false;
}

void LineReader::skip(QByteArrayView bytes)
{
    if (m_sink.skipped && !bytes.isEmpty()) {
        m_sink.skipped(bytes);
    }
}

void LineReader::emitLine()
{
    if (m_buffer.endsWith('\r')) {
        m_buffer.chop(1);
    }
    const QByteArray line = std::move(m_buffer);
    m_buffer = QByteArray();
    m_sink.line(line);
}
