#pragma once

#include "common/Error.h"

#include <QString>

#include <cstdint>
#include <vector>

// The ggml Whisper model file, as whisper.cpp reads it: the magic "ggml", eleven hyper-parameters,
// the mel filter bank, the vocabulary, then every weight tensor (dimension count, name length,
// type, sizes, name, data). whisper.cpp trusts these fields and aborts or overruns on some damaged
// files, so a file is walked here first, without reading the weights, and handed over only when
// every field is what the loader will expect.
namespace whisperModelFile {

constexpr std::uint32_t magic = 0x67676d6c; // "ggml"

struct HyperParameters {
    std::int32_t vocabulary = 0;
    std::int32_t audioContext = 0;
    std::int32_t audioState = 0;
    std::int32_t audioHeads = 0;
    std::int32_t audioLayers = 0;
    std::int32_t textContext = 0;
    std::int32_t textState = 0;
    std::int32_t textHeads = 0;
    std::int32_t textLayers = 0;
    std::int32_t mels = 0;
    std::int32_t fileType = 0; // 0 f32, 1 f16, or a quantized type (plus 1000 × its version)
};

// One weight tensor the loader creates: its name, sizes (innermost first, missing ones 1) and
// ggml type.
struct Tensor {
    QString name;
    std::int64_t sizes[3] = { 1, 1, 1 };
    int type = 0;
};

// The tensors the loader expects for these hyper-parameters, in the order the converter writes
// them. Empty when the hyper-parameters name no Whisper shape the loader accepts.
std::vector<Tensor> expectedTensors(const HyperParameters& parameters);

// The shape's name ("tiny", "base", "small", "medium", "large") by its audio layers.
QString shapeName(const HyperParameters& parameters);

// Walks the file at `path`. The error is the user's message naming the file (as `shownName` when
// given, e.g. the name a download will have); the detail goes to the log.
Result<HyperParameters> check(const QString& path, const QString& shownName = QString());

} // namespace whisperModelFile
