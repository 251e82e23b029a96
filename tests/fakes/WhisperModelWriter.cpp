#include "fakes/WhisperModelWriter.h"

#include "fakes/FakeHttpServer.h"

#include <QCryptographicHash>
#include <QFile>

#include <cmath>

namespace whisperModelWriter {

namespace {

template <typename T> void put(QByteArray& out, T value)
{
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

// A made-up word per token, so that the noise reads as words; the decoder looks up the blank
// token (220) by its text.
QByteArray token(int index)
{
    static const char* syllables[] = { "ba", "ko", "ri", "te", "mu", "la", "sen", "do", "vi", "ca" };
    QByteArray text = " ";
    for (int rest = index; index != 220 && (rest > 0 || text.size() == 1); rest /= 10) {
        text += syllables[rest % 10];
    }
    return text;
}

} // namespace

Layout write(const QString& path, Size size, quint32 seed)
{
    const std::int32_t state = size == Size::tiny ? 384 : size == Size::base ? 512 : 768;
    const std::int32_t layers = size == Size::tiny ? 4 : size == Size::base ? 6 : 12;
    // f16 weights, as the published files have.
    const whisperModelFile::HyperParameters p { 51865, 1500, state, state / 64, layers, 448, state, state / 64, layers,
        80, 1 };
    quint32 random = seed ? seed : 1; // xorshift32
    auto next = [&random] {
        random ^= random << 13;
        random ^= random >> 17;
        random ^= random << 5;
        return random;
    };
    Layout layout;
    QByteArray out;
    put(out, whisperModelFile::magic);
    for (std::int32_t field : { p.vocabulary, p.audioContext, p.audioState, p.audioHeads, p.audioLayers, p.textContext,
             p.textState, p.textHeads, p.textLayers, p.mels, p.fileType }) {
        put(out, field);
    }
    // Triangular filters over the 201 bins of the spectrum, as the real bank roughly is.
    put(out, p.mels);
    put(out, std::int32_t(201));
    for (int mel = 0; mel < p.mels; ++mel) {
        for (int bin = 0; bin < 201; ++bin) {
            put(out, float(std::max(0.0, 1.0 - std::abs(bin - (mel + 1) * 201.0 / 82) / 3.0)));
        }
    }
    layout.vocabulary = out.size();
    put(out, std::int32_t(50257));
    for (int i = 0; i < 50257; ++i) {
        const QByteArray text = token(i);
        put(out, std::uint32_t(text.size()));
        out.append(text);
    }
    for (const whisperModelFile::Tensor& tensor : whisperModelFile::expectedTensors(p)) {
        layout.tensors.insert(tensor.name, out.size());
        const int dimensions = tensor.sizes[2] > 1 ? 3 : tensor.sizes[1] > 1 ? 2 : 1;
        const QByteArray name = tensor.name.toLatin1();
        put(out, std::int32_t(dimensions));
        put(out, std::int32_t(name.size()));
        put(out, std::int32_t(tensor.type));
        for (int d = 0; d < dimensions; ++d) {
            put(out, std::int32_t(tensor.sizes[d]));
        }
        out.append(name);
        const bool norm = name.endsWith("ln.weight") || name.endsWith("ln_post.weight");
        for (qint64 i = 0; i < tensor.sizes[0] * tensor.sizes[1] * tensor.sizes[2]; ++i) {
            const quint32 bits = next();
            if (tensor.type == 1) {
                // Half precision of magnitude 2^-10 to 2^-4, random sign: the activations stay finite.
                put(out, quint16((bits >> 8 & 1) << 15 | (5 + bits % 7) << 10 | (bits >> 9 & 0x3ff)));
            } else {
                put(out, norm ? 1.0f : (float(bits % 2001) - 1000.0f) / 40000.0f);
            }
        }
    }
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(out);
    }
    layout.bytes = out.size();
    return layout;
}

QString serve(FakeHttpServer& server, const QByteArray& model, QByteArray sha256)
{
    if (sha256.isEmpty()) {
        sha256 = QCryptographicHash::hash(model, QCryptographicHash::Sha256).toHex();
    }
    QList<QByteArray> chunks;
    for (qsizetype offset = 0; offset < model.size(); offset += 1 << 22) {
        chunks.append(model.mid(offset, 1 << 22));
    }
    server.respond("/ggml-tiny.bin", { 200, "application/octet-stream", chunks });
    const QString list = QStringLiteral(R"({"models":[{"id":"tiny","name":"Whisper tiny","file":"ggml-tiny.bin",)"
                                        R"("url":"%1/ggml-tiny.bin","bytes":%2,"sha256":"%3","languages":[]}]})")
                             .arg(server.baseURL())
                             .arg(model.size())
                             .arg(QString::fromLatin1(sha256));
    server.respond("/list.json", { 200, "application/json", { list.toUtf8() } });
    return server.baseURL() + QStringLiteral("/list.json");
}

} // namespace whisperModelWriter
