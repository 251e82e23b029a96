#include "fakes/WhisperModelWriter.h"

#include <QFile>

#include <cmath>
#include <vector>

namespace whisperModelWriter {

namespace {

constexpr int textTokens = 50257;
constexpr int filterBins = 201;

class Output {
public:
    explicit Output(const QString& path)
        : m_file(path)
    {
        m_file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        m_buffer.reserve(1 << 20);
    }
    ~Output() { flush(); }

    template <typename T> void put(T value)
    {
        m_buffer.append(reinterpret_cast<const char*>(&value), sizeof value);
        if (m_buffer.size() >= (1 << 20)) {
            flush();
        }
    }
    void putBytes(const QByteArray& bytes) { m_buffer.append(bytes); }
    qint64 position() const { return m_written + m_buffer.size(); }
    void flush()
    {
        m_file.write(m_buffer);
        m_written += m_buffer.size();
        m_buffer.clear();
    }

private:
    QFile m_file;
    QByteArray m_buffer;
    qint64 m_written = 0;
};

// xorshift32: fast and the same everywhere.
struct Random {
    quint32 state;
    quint32 next()
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
    // A half-precision number of magnitude 2^-10 to 2^-4 and random sign.
    quint16 smallHalf()
    {
        const quint32 bits = next();
        const quint16 exponent = quint16(5 + bits % 7);
        return quint16(((bits >> 8) & 1) << 15 | exponent << 10 | ((bits >> 9) & 0x3ff));
    }
    float smallFloat() { return (float(next() % 2001) - 1000.0f) / 40000.0f; }
};

// A made-up word per token, so that the noise reads as words.
QByteArray token(int index)
{
    // The decoder looks up the blank token by its text.
    if (index == 220) {
        return " ";
    }
    static const char* syllables[] = { "ba", "ko", "ri", "te", "mu", "la", "sen", "do", "vi", "ca", "po", "ne", "gu",
        "fa", "lo", "mi", "ta", "re", "su", "no" };
    QByteArray text = " ";
    int rest = index;
    do {
        text += syllables[rest % 20];
        rest /= 20;
    } while (rest > 0);
    return text;
}

} // namespace

whisperModelFile::HyperParameters parameters(Size size)
{
    whisperModelFile::HyperParameters p;
    const int state = size == Size::tiny ? 384 : size == Size::base ? 512 : 768;
    const int layers = size == Size::tiny ? 4 : size == Size::base ? 6 : 12;
    p.vocabulary = 51865;
    p.audioContext = 1500;
    p.audioState = state;
    p.audioHeads = state / 64;
    p.audioLayers = layers;
    p.textContext = 448;
    p.textState = state;
    p.textHeads = state / 64;
    p.textLayers = layers;
    p.mels = 80;
    p.fileType = 1; // f16, as the published files
    return p;
}

Layout write(const QString& path, Size size, quint32 seed)
{
    const whisperModelFile::HyperParameters p = parameters(size);
    Random random { seed ? seed : 1 };
    Layout layout;
    Output out(path);
    out.put(whisperModelFile::magic);
    for (std::int32_t field : { p.vocabulary, p.audioContext, p.audioState, p.audioHeads, p.audioLayers, p.textContext,
             p.textState, p.textHeads, p.textLayers, p.mels, p.fileType }) {
        out.put(field);
    }
    // Triangular filters over the spectrum, as the real bank roughly is.
    out.put(std::int32_t(p.mels));
    out.put(std::int32_t(filterBins));
    for (int mel = 0; mel < p.mels; ++mel) {
        const double centre = (mel + 1) * double(filterBins) / (p.mels + 2);
        for (int bin = 0; bin < filterBins; ++bin) {
            out.put(float(std::max(0.0, 1.0 - std::abs(bin - centre) / 3.0)));
        }
    }
    layout.vocabulary = out.position();
    out.put(std::int32_t(textTokens));
    for (int i = 0; i < textTokens; ++i) {
        const QByteArray text = token(i);
        out.put(std::uint32_t(text.size()));
        out.putBytes(text);
    }
    for (const whisperModelFile::Tensor& tensor : whisperModelFile::expectedTensors(p)) {
        layout.tensors.insert(tensor.name, out.position());
        const int dimensions = tensor.sizes[2] > 1 ? 3 : tensor.sizes[1] > 1 ? 2 : 1;
        const QByteArray name = tensor.name.toLatin1();
        out.put(std::int32_t(dimensions));
        out.put(std::int32_t(name.size()));
        out.put(std::int32_t(tensor.type));
        for (int d = 0; d < dimensions; ++d) {
            out.put(std::int32_t(tensor.sizes[d]));
        }
        out.putBytes(name);
        const qint64 elements = tensor.sizes[0] * tensor.sizes[1] * tensor.sizes[2];
        const bool norm =
            tensor.name.endsWith(QLatin1String("ln.weight")) || tensor.name.endsWith(QLatin1String("ln_post.weight"));
        for (qint64 i = 0; i < elements; ++i) {
            if (tensor.type == 1) {
                out.put(random.smallHalf());
            } else {
                out.put(norm ? 1.0f : random.smallFloat());
            }
        }
    }
    out.flush();
    layout.bytes = out.position();
    return layout;
}

} // namespace whisperModelWriter
