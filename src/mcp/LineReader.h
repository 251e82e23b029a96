#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <functional>

// Splits a byte stream into lines at LF (a CR right before the LF is dropped). Bytes arrive in
// chunks of any size, so one message may be split across reads or several may share one.
// A line longer than `capBytes` is skipped up to its line break and reported once as overlong
// when it ends; its bytes go to `skipped` as they pass, from the line's start, so that a reader
// can look into it without holding it. The buffer never holds more than `capBytes`.
class LineReader {
public:
    static constexpr qsizetype defaultCapBytes = 16 * 1024 * 1024;
    // Past this size a line's buffer is given the whole cap at once.
    static constexpr qsizetype wholeCapFrom = 1024 * 1024;

    struct Sink {
        std::function<void(const QByteArray& line)> line;
        std::function<void()> overlong;
        std::function<void(QByteArrayView bytes)> skipped; // optional
    };

    explicit LineReader(Sink sink, qsizetype capBytes = defaultCapBytes);

    void feed(const char* data, qsizetype size);
    // End of input: a last line without a line break still counts.
    void finish();

private:
    void skip(QByteArrayView bytes);
    void emitLine();

    Sink m_sink;
    qsizetype m_capBytes;
    QByteArray m_buffer;
    bool m_skipping = false; // inside an overlong line, waiting for its line break
};
