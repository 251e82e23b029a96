#include "transcription/WhisperRecognizer.h"
#include "fakes/WavFile.h"
#include "fakes/WhisperModelWriter.h"
#include "transcription/SpeechSegmenter.h"
#include "transcription/WhisperModelFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <functional>

namespace {

const QString librivox = QStringLiteral("/usr/share/pocketsphinx/test/data/librivox/");

using Samples = std::vector<qint16>;

Samples tone(double seconds, double amplitude)
{
    Samples samples(std::size_t(seconds * 16000));
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = qint16(amplitude * 32767 * std::sin(2 * M_PI * 220 * double(i) / 16000));
    }
    return samples;
}

Samples concat(std::initializer_list<Samples> parts)
{
    Samples all;
    for (const Samples& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

// Adds a steady hum under everything, as a noisy line has.
Samples withHum(Samples samples, double amplitude)
{
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double hum = amplitude * 32767 * std::sin(2 * M_PI * 50 * double(i) / 16000);
        samples[i] = qint16(std::clamp(double(samples[i]) + hum, -32768.0, 32767.0));
    }
    return samples;
}

// Damages a copy of the model, knowing where its parts start.
using Damage = std::function<void(QFile&, const whisperModelWriter::Layout&)>;

} // namespace

class WhisperRecognizerTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_model;
    whisperModelWriter::Layout m_layout;

private Q_SLOTS:
    void initTestCase()
    {
        if (!WhisperRecognizer::processorSupported()) {
            QSKIP("This processor cannot run the whisper.cpp build.");
        }
        m_model = m_dir.filePath(QStringLiteral("ggml-tiny.bin"));
        m_layout = whisperModelWriter::write(m_model, whisperModelWriter::Size::tiny);
        QVERIFY(whisperModelFile::check(m_model));
    }

    void segmenterCutsAtPauses_data()
    {
        QTest::addColumn<Samples>("audio");
        QTest::addColumn<QList<double>>("pieceSeconds"); // each ±0.15 s
        const Samples pause = tone(0.8, 0);
        QTest::newRow("three phrases") << concat({ pause, tone(1, 0.3), pause, tone(2, 0.3), pause, tone(0.5, 0.3),
            pause }) << QList<double> { 1.4, 2.4, 0.9 };
        QTest::newRow("a short gap keeps one piece")
            << concat({ pause, tone(1, 0.3), tone(0.3, 0), tone(1, 0.3), pause }) << QList<double> { 2.7 };
        QTest::newRow("a click is no speech") << concat({ pause, tone(0.05, 0.8), pause }) << QList<double> {};
        QTest::newRow("long speech is cut at 20 s")
            << concat({ pause, tone(25, 0.3), pause }) << QList<double> { 20.0, 5.4 };
        QTest::newRow("speech over a hum")
            << withHum(concat({ tone(3, 0), tone(1, 0.3), tone(1, 0), tone(1, 0.3), tone(1, 0) }), 0.05)
            << QList<double> { 1.4, 1.4 };
    }

    void segmenterCutsAtPauses()
    {
        QFETCH(Samples, audio);
        QFETCH(QList<double>, pieceSeconds);
        SpeechSegmenter segmenter;
        std::vector<SpeechSegmenter::Piece> pieces;
        // In uneven buffers, as the capture cuts them.
        for (std::size_t offset = 0; offset < audio.size(); offset += 1234) {
            segmenter.push(
                audio.data() + offset, qsizetype(std::min<std::size_t>(1234, audio.size() - offset)), pieces);
        }
        segmenter.flush(pieces);
        QCOMPARE(qsizetype(pieces.size()), pieceSeconds.size());
        for (std::size_t i = 0; i < pieces.size(); ++i) {
            const double seconds = double(pieces[i].samples.size()) / 16000;
            QVERIFY2(std::abs(seconds - pieceSeconds[qsizetype(i)]) < 0.15,
                qPrintable(QStringLiteral("piece %1 is %2 s").arg(i).arg(seconds)));
        }
    }

    void damagedModelsAreRefused_data()
    {
        QTest::addColumn<Damage>("damage");
        QTest::addColumn<QString>("message");
        const QString incomplete = QStringLiteral("The speech model ggml-tiny.bin is incomplete. Download it again.");
        const QString damaged = QStringLiteral("The speech model ggml-tiny.bin is damaged. Download it again.");
        const QString notWhisper = QStringLiteral("ggml-tiny.bin is not a Whisper speech model.");
        auto at = [](const char* tensor, qint64 offset, QByteArray bytes) -> Damage {
            return [=](QFile& file, const whisperModelWriter::Layout& layout) {
                file.seek(layout.tensors.value(QString::fromLatin1(tensor)) + offset);
                file.write(bytes);
            };
        };
        auto int32 = [](std::int32_t value) { return QByteArray(reinterpret_cast<const char*>(&value), 4); };
        QTest::newRow("cut in the header") << Damage([](QFile& file, const auto&) { file.resize(20); }) << incomplete;
        QTest::newRow("cut in the vocabulary")
            << Damage([](QFile& file, const auto& layout) { file.resize(layout.vocabulary + 1000); }) << incomplete;
        QTest::newRow("cut in the last tensor")
            << Damage([](QFile& file, const auto& layout) { file.resize(layout.bytes - 1); }) << incomplete;
        QTest::newRow("a tensor missing") << Damage([](QFile& file, const auto& layout) {
            file.resize(layout.tensors.value(QStringLiteral("decoder.ln.bias")));
        }) << incomplete;
        QTest::newRow("text, not a model") << Damage([](QFile& file, const auto&) {
            file.seek(0);
            file.write("<html>");
        }) << notWhisper;
        QTest::newRow("unknown layer count") << Damage([int32](QFile& file, const auto&) {
            file.seek(4 + 4 * 4);
            file.write(int32(5));
        }) << notWhisper;
        QTest::newRow("vocabulary of a billion") << Damage([int32](QFile& file, const auto& layout) {
            file.seek(layout.vocabulary);
            file.write(int32(1000000000));
        }) << damaged;
        QTest::newRow("token of 4 GB") << Damage([int32](QFile& file, const auto& layout) {
            file.seek(layout.vocabulary + 4);
            file.write(int32(-1));
        }) << damaged;
        QTest::newRow("eight dimensions") << at("encoder.conv1.bias", 0, int32(8)) << damaged;
        QTest::newRow("wrong type") << at("encoder.conv1.bias", 8, int32(1)) << damaged;
        QTest::newRow("unknown tensor name") << at("encoder.conv1.bias", 20, "X") << damaged;
    }

    void damagedModelsAreRefused()
    {
        QFETCH(Damage, damage);
        QFETCH(QString, message);
        const QString copy = m_dir.filePath(QStringLiteral("damaged/ggml-tiny.bin"));
        QDir().mkpath(QFileInfo(copy).path());
        QFile::remove(copy);
        QVERIFY(QFile::copy(m_model, copy));
        {
            QFile file(copy);
            QVERIFY(file.open(QIODevice::ReadWrite));
            damage(file, m_layout);
        }
        const Result<whisperModelFile::HyperParameters> checked = whisperModelFile::check(copy);
        QVERIFY(!checked);
        QCOMPARE(checked.error().message, message);
        // The engine refuses it the same way, and the process lives on.
        WhisperRecognizer recognizer({ copy, QStringLiteral("en"), 1 }, QStringLiteral("Quillora.WhisperTest"));
        const Result<void> started = QCoro::waitFor(recognizer.start());
        QVERIFY(!started);
        QCOMPARE(started.error().message, message);
        QCoro::waitFor(recognizer.finish());
    }

    // A call's worth of one speaker on the generated model: a line for each phrase, in order, and
    // the text is noise.
    void linesForEachPhrase()
    {
        WhisperRecognizer recognizer({ m_model, QStringLiteral("en"), 1 }, QStringLiteral("Quillora.WhisperTest"));
        const Result<void> started = QCoro::waitFor(recognizer.start());
        QVERIFY2(started, started ? "" : qPrintable(started.error().message));
        QStringList finals;
        int partials = 0;
        connect(&recognizer, &SpeechEngine::textReported, this, [&](const QString& text, bool isFinal) {
            if (isFinal) {
                finals.append(text);
            } else {
                ++partials;
            }
        });
        const Samples pause = tone(1.2, 0);
        Samples call = pause;
        int phrases = 0;
        for (const char* name :
            { "sense_and_sensibility_01_austen_64kb-0870.wav", "sense_and_sensibility_01_austen_64kb-0880.wav" }) {
            const std::optional<WavFile> wav = WavFile::read(librivox + QString::fromLatin1(name));
            QVERIFY(wav && wav->sampleRate == 16000 && wav->channels == 1);
            call = concat({ call, wav->samples, pause });
            ++phrases;
        }
        SpeechSegmenter reference;
        std::vector<SpeechSegmenter::Piece> pieces;
        reference.push(call.data(), qsizetype(call.size()), pieces);
        reference.flush(pieces);
        QVERIFY(qsizetype(pieces.size()) >= phrases);

        for (std::size_t offset = 0; offset < call.size(); offset += 1280) {
            recognizer.feedSamples(Samples(call.begin() + qsizetype(offset),
                call.begin() + qsizetype(std::min<std::size_t>(offset + 1280, call.size()))));
            recognizer.drain();
        }
        QCoro::waitFor(recognizer.finish());
        QCOMPARE(finals.size(), qsizetype(pieces.size()));
        for (const QString& text : std::as_const(finals)) {
            QVERIFY2(!text.isEmpty(), "a piece of speech gave no text");
        }
        QVERIFY(partials > 0);
    }
};

QTEST_GUILESS_MAIN(WhisperRecognizerTest)
#include "WhisperRecognizerTest.moc"
