#pragma once

#include <QFile>
#include <QString>
#include <QtEndian>

#include <optional>
#include <vector>

// Reads a 16-bit PCM WAV file (any rate, any channel count) for tests and benchmarks.
struct WavFile {
    double sampleRate = 0;
    int channels = 0;
    std::vector<qint16> samples; // interleaved

    double seconds() const { return channels ? double(samples.size()) / channels / sampleRate : 0; }

    static std::optional<WavFile> read(const QString& path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            return std::nullopt;
        }
        const QByteArray bytes = file.readAll();
        if (bytes.size() < 12 || !bytes.startsWith("RIFF") || bytes.mid(8, 4) != "WAVE") {
            return std::nullopt;
        }
        WavFile wav;
        int bits = 0;
        qsizetype offset = 12;
        while (offset + 8 <= bytes.size()) {
            const QByteArray id = bytes.mid(offset, 4);
            quint32 size = qFromLittleEndian<quint32>(bytes.constData() + offset + 4);
            const qsizetype body = offset + 8;
            // Streamed writers (espeak-ng to a pipe) leave the data size unset.
            if (id == "data" && (size == 0 || size == 0xffffffff || body + qsizetype(size) > bytes.size())) {
                size = quint32(bytes.size() - body);
            }
            if (id == "fmt " && size >= 16) {
                wav.channels = qFromLittleEndian<quint16>(bytes.constData() + body + 2);
                wav.sampleRate = qFromLittleEndian<quint32>(bytes.constData() + body + 4);
                bits = qFromLittleEndian<quint16>(bytes.constData() + body + 14);
            } else if (id == "data") {
                wav.samples.resize(size / 2);
                for (size_t i = 0; i < wav.samples.size(); ++i) {
                    wav.samples[i] = qFromLittleEndian<qint16>(bytes.constData() + body + 2 * i);
                }
            }
            offset = body + size + (size % 2);
        }
        if (bits != 16 || wav.channels <= 0 || wav.sampleRate <= 0) {
            return std::nullopt;
        }
        return wav;
    }
};
