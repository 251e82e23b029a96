#include "transcription/WhisperModelFile.h"

#include "common/Log.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <ggml.h>

#include <array>
#include <bit>
#include <optional>

namespace whisperModelFile {

namespace {

// The vocabulary of every published model is at most this size; token texts are short.
constexpr std::int32_t maxVocabularyEntries = 60000;
constexpr std::uint32_t maxTokenBytes = 1024;
constexpr std::int32_t maxNameBytes = 256;

struct Shape {
    std::int32_t state;
    std::int32_t heads;
    std::int32_t layers;
};

// The published shapes (tiny, base, small, medium, large); encoder and decoder are alike in each.
constexpr std::array<Shape, 5> shapes { {
    { 384, 6, 4 },
    { 512, 8, 6 },
    { 768, 12, 12 },
    { 1024, 16, 24 },
    { 1280, 20, 32 },
} };

std::optional<ggml_type> weightType(std::int32_t fileType)
{
    if (fileType < 0) {
        return std::nullopt;
    }
    switch (fileType % GGML_QNT_VERSION_FACTOR) {
    case GGML_FTYPE_ALL_F32: return GGML_TYPE_F32;
    case GGML_FTYPE_MOSTLY_F16: return GGML_TYPE_F16;
    case GGML_FTYPE_MOSTLY_Q4_0: return GGML_TYPE_Q4_0;
    case GGML_FTYPE_MOSTLY_Q4_1: return GGML_TYPE_Q4_1;
    case GGML_FTYPE_MOSTLY_Q5_0: return GGML_TYPE_Q5_0;
    case GGML_FTYPE_MOSTLY_Q5_1: return GGML_TYPE_Q5_1;
    case GGML_FTYPE_MOSTLY_Q8_0: return GGML_TYPE_Q8_0;
    default: return std::nullopt;
    }
}

bool knownShape(const HyperParameters& p)
{
    const bool vocabulary = p.vocabulary >= 51864 && p.vocabulary <= 51866;
    const bool mels = p.mels == 80 || p.mels == 128;
    const bool contexts = p.audioContext == 1500 && p.textContext == 448;
    bool audio = false;
    bool text = false;
    for (const Shape& shape : shapes) {
        audio = audio || (p.audioState == shape.state && p.audioHeads == shape.heads && p.audioLayers == shape.layers);
        // Distilled models keep the encoder and shorten the decoder.
        text = text || (p.textState == shape.state && p.textHeads == shape.heads);
    }
    const bool textLayers = p.textLayers >= 1 && p.textLayers <= p.audioLayers;
    return vocabulary && mels && contexts && audio && text && textLayers && p.textState == p.audioState
        && weightType(p.fileType).has_value();
}

// Reads little-endian values and keeps count of what is left; every read is checked.
class Reader {
public:
    explicit Reader(QFile& file)
        : m_file(file)
    {
    }

    template <typename T> bool read(T& value)
    {
        static_assert(std::endian::native == std::endian::little);
        return m_file.read(reinterpret_cast<char*>(&value), sizeof value) == qint64(sizeof value);
    }
    bool readBytes(QByteArray& bytes, qint64 count)
    {
        bytes = m_file.read(count);
        return bytes.size() == count;
    }
    bool skip(qint64 count) { return remaining() >= count && m_file.seek(m_file.pos() + count); }
    qint64 remaining() const { return m_file.size() - m_file.pos(); }
    bool atEnd() const { return remaining() == 0; }

private:
    QFile& m_file;
};

enum class Fault { notWhisper, incomplete, damaged };

} // namespace

QString shapeName(const HyperParameters& parameters)
{
    switch (parameters.audioLayers) {
    case 4: return QStringLiteral("tiny");
    case 6: return QStringLiteral("base");
    case 12: return QStringLiteral("small");
    case 24: return QStringLiteral("medium");
    case 32: return QStringLiteral("large");
    default: return QString();
    }
}

std::vector<Tensor> expectedTensors(const HyperParameters& p)
{
    if (!knownShape(p)) {
        return {};
    }
    const int weight = *weightType(p.fileType);
    const int convolution = weight == GGML_TYPE_F32 ? GGML_TYPE_F32 : GGML_TYPE_F16;
    const int f32 = GGML_TYPE_F32;
    std::vector<Tensor> tensors;
    auto add = [&tensors](const QString& name, int type, std::int64_t a, std::int64_t b = 1, std::int64_t c = 1) {
        tensors.push_back(Tensor { name, { a, b, c }, type });
    };
    const std::int64_t n = p.audioState;
    add(QStringLiteral("encoder.positional_embedding"), f32, n, p.audioContext);
    add(QStringLiteral("encoder.conv1.weight"), convolution, 3, p.mels, n);
    add(QStringLiteral("encoder.conv1.bias"), f32, 1, n);
    add(QStringLiteral("encoder.conv2.weight"), convolution, 3, n, n);
    add(QStringLiteral("encoder.conv2.bias"), f32, 1, n);
    // A block's attention and feed-forward weights; `prefix` names the block, `cross` adds the
    // decoder's cross-attention.
    auto block = [&](const QString& prefix, bool cross) {
        auto attention = [&](const QString& name) {
            add(prefix + name + QStringLiteral("_ln.weight"), f32, n);
            add(prefix + name + QStringLiteral("_ln.bias"), f32, n);
            add(prefix + name + QStringLiteral(".query.weight"), weight, n, n);
            add(prefix + name + QStringLiteral(".query.bias"), f32, n);
            add(prefix + name + QStringLiteral(".key.weight"), weight, n, n);
            add(prefix + name + QStringLiteral(".value.weight"), weight, n, n);
            add(prefix + name + QStringLiteral(".value.bias"), f32, n);
            add(prefix + name + QStringLiteral(".out.weight"), weight, n, n);
            add(prefix + name + QStringLiteral(".out.bias"), f32, n);
        };
        attention(QStringLiteral("attn"));
        if (cross) {
            attention(QStringLiteral("cross_attn"));
        }
        add(prefix + QStringLiteral("mlp_ln.weight"), f32, n);
        add(prefix + QStringLiteral("mlp_ln.bias"), f32, n);
        add(prefix + QStringLiteral("mlp.0.weight"), weight, n, 4 * n);
        add(prefix + QStringLiteral("mlp.0.bias"), f32, 4 * n);
        add(prefix + QStringLiteral("mlp.2.weight"), weight, 4 * n, n);
        add(prefix + QStringLiteral("mlp.2.bias"), f32, n);
    };
    for (int layer = 0; layer < p.audioLayers; ++layer) {
        block(QStringLiteral("encoder.blocks.%1.").arg(layer), false);
    }
    add(QStringLiteral("encoder.ln_post.weight"), f32, n);
    add(QStringLiteral("encoder.ln_post.bias"), f32, n);
    add(QStringLiteral("decoder.positional_embedding"), f32, n, p.textContext);
    add(QStringLiteral("decoder.token_embedding.weight"), weight, n, p.vocabulary);
    for (int layer = 0; layer < p.textLayers; ++layer) {
        block(QStringLiteral("decoder.blocks.%1.").arg(layer), true);
    }
    add(QStringLiteral("decoder.ln.weight"), f32, n);
    add(QStringLiteral("decoder.ln.bias"), f32, n);
    return tensors;
}

Result<HyperParameters> check(const QString& path, const QString& shownName)
{
    const QString name = shownName.isEmpty() ? QFileInfo(path).fileName() : shownName;
    auto refuse = [&](Fault fault, const QString& detail) -> Result<HyperParameters> {
        qCWarning(lcTranscription) << "Refusing the speech model" << path << ":" << detail;
        switch (fault) {
        case Fault::notWhisper:
            return fail(QCoreApplication::translate("WhisperModelFile", "%1 is not a Whisper speech model.").arg(name));
        case Fault::incomplete:
            return fail(
                QCoreApplication::translate("WhisperModelFile", "The speech model %1 is incomplete. Download it again.")
                    .arg(name));
        case Fault::damaged: break;
        }
        return fail(
            QCoreApplication::translate("WhisperModelFile", "The speech model %1 is damaged. Download it again.")
                .arg(name));
    };

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return fail(QCoreApplication::translate("WhisperModelFile", "Could not open the speech model %1: %2")
                        .arg(name, file.errorString()));
    }
    Reader in(file);
    std::uint32_t fileMagic = 0;
    if (!in.read(fileMagic) || fileMagic != magic) {
        return refuse(Fault::notWhisper, QStringLiteral("no ggml magic"));
    }
    HyperParameters p;
    for (std::int32_t* field : { &p.vocabulary, &p.audioContext, &p.audioState, &p.audioHeads, &p.audioLayers,
             &p.textContext, &p.textState, &p.textHeads, &p.textLayers, &p.mels, &p.fileType }) {
        if (!in.read(*field)) {
            return refuse(Fault::incomplete, QStringLiteral("the hyper-parameters end early"));
        }
    }
    std::vector<Tensor> expected = expectedTensors(p);
    if (expected.empty()) {
        return refuse(Fault::notWhisper,
            QStringLiteral("unknown hyper-parameters (%1 audio layers, state %2)")
                .arg(p.audioLayers)
                .arg(p.audioState));
    }

    std::int32_t filterMels = 0;
    std::int32_t filterBins = 0;
    if (!in.read(filterMels) || !in.read(filterBins)) {
        return refuse(Fault::incomplete, QStringLiteral("the mel filters end early"));
    }
    if (filterMels != p.mels || filterBins < 1 || filterBins > 1024) {
        return refuse(Fault::damaged, QStringLiteral("mel filters %1 × %2").arg(filterMels).arg(filterBins));
    }
    if (!in.skip(qint64(filterMels) * filterBins * qint64(sizeof(float)))) {
        return refuse(Fault::incomplete, QStringLiteral("the mel filters end early"));
    }

    std::int32_t tokens = 0;
    if (!in.read(tokens)) {
        return refuse(Fault::incomplete, QStringLiteral("the vocabulary ends early"));
    }
    if (tokens < 0 || tokens > maxVocabularyEntries || tokens > p.vocabulary) {
        return refuse(Fault::damaged, QStringLiteral("%1 vocabulary entries").arg(tokens));
    }
    for (std::int32_t i = 0; i < tokens; ++i) {
        std::uint32_t length = 0;
        if (!in.read(length)) {
            return refuse(Fault::incomplete, QStringLiteral("the vocabulary ends early"));
        }
        if (length > maxTokenBytes) {
            return refuse(Fault::damaged, QStringLiteral("token %1 of %2 bytes").arg(i).arg(length));
        }
        if (!in.skip(length)) {
            return refuse(Fault::incomplete, QStringLiteral("the vocabulary ends early"));
        }
    }

    QHash<QString, const Tensor*> wanted;
    for (const Tensor& tensor : expected) {
        wanted.insert(tensor.name, &tensor);
    }
    QHash<QString, bool> seen;
    while (!in.atEnd()) {
        std::int32_t dimensions = 0;
        std::int32_t nameBytes = 0;
        std::int32_t type = 0;
        if (!in.read(dimensions) || !in.read(nameBytes) || !in.read(type)) {
            return refuse(Fault::incomplete, QStringLiteral("a tensor header ends early"));
        }
        if (dimensions < 1 || dimensions > 3 || nameBytes < 1 || nameBytes > maxNameBytes || type < 0
            || type >= GGML_TYPE_COUNT || ggml_blck_size(ggml_type(type)) <= 0) {
            return refuse(Fault::damaged,
                QStringLiteral("tensor header %1 dimensions, name %2 bytes, type %3")
                    .arg(dimensions)
                    .arg(nameBytes)
                    .arg(type));
        }
        std::int64_t sizes[3] = { 1, 1, 1 };
        for (int d = 0; d < dimensions; ++d) {
            std::int32_t size = 0;
            if (!in.read(size)) {
                return refuse(Fault::incomplete, QStringLiteral("a tensor header ends early"));
            }
            sizes[d] = size;
        }
        QByteArray nameText;
        if (!in.readBytes(nameText, nameBytes)) {
            return refuse(Fault::incomplete, QStringLiteral("a tensor name ends early"));
        }
        const QString tensorName = QString::fromLatin1(nameText);
        const Tensor* tensor = wanted.value(tensorName);
        if (!tensor || seen.contains(tensorName)) {
            return refuse(Fault::damaged, QStringLiteral("unexpected tensor %1").arg(tensorName));
        }
        seen.insert(tensorName, true);
        if (sizes[0] != tensor->sizes[0] || sizes[1] != tensor->sizes[1] || sizes[2] != tensor->sizes[2]
            || type != tensor->type) {
            return refuse(Fault::damaged, QStringLiteral("tensor %1 has the wrong shape or type").arg(tensorName));
        }
        const std::int64_t elements = sizes[0] * sizes[1] * sizes[2];
        const auto ggmlType = ggml_type(type);
        if (elements % ggml_blck_size(ggmlType) != 0) {
            return refuse(Fault::damaged, QStringLiteral("tensor %1 does not fill its blocks").arg(tensorName));
        }
        const qint64 bytes = qint64(elements / ggml_blck_size(ggmlType) * qint64(ggml_type_size(ggmlType)));
        if (!in.skip(bytes)) {
            return refuse(Fault::incomplete, QStringLiteral("tensor %1 ends early").arg(tensorName));
        }
    }
    if (seen.size() != qsizetype(expected.size())) {
        return refuse(Fault::incomplete, QStringLiteral("%1 of %2 tensors").arg(seen.size()).arg(expected.size()));
    }
    return p;
}

} // namespace whisperModelFile
