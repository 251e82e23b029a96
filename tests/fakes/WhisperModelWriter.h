#pragma once

#include "transcription/WhisperModelFile.h"

#include <QByteArray>
#include <QHash>
#include <QString>

class FakeHttpServer;

// Writes ggml Whisper model files of the published multilingual shapes with random weights, for
// tests and benchmarks: no real weights can be had here. The decoder then produces noise, at the
// real model's cost.
namespace whisperModelWriter {

enum class Size { tiny, base, small };

struct Layout {
    qint64 bytes = 0;
    qint64 vocabulary = 0; // offset of the vocabulary's entry count
    QHash<QString, qint64> tensors; // offset of each tensor's header
};

// Writes the model to `path`; the same seed writes the same file.
Layout write(const QString& path, Size size, quint32 seed = 1);

// Serves `model` as /ggml-tiny.bin and a list naming it (with `sha256`, else the model's own) as
// /list.json; returns the list's address.
QString serve(FakeHttpServer& server, const QByteArray& model, QByteArray sha256 = {});

} // namespace whisperModelWriter
