#include "transcription/PocketSphinxRecognizer.h"
#include "fakes/WavFile.h"
#include "transcription/SpeechModels.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString systemModel = QStringLiteral("/usr/share/pocketsphinx/model/en-us");
const QString librivox = QStringLiteral("/usr/share/pocketsphinx/test/data/librivox/");

} // namespace

class PocketSphinxRecognizerTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_data;

    // Makes a locale folder under the user's speech models from the installed en-US model.
    void installUserModel(const QString& locale, bool complete)
    {
        const QString folder = m_data.filePath(QStringLiteral("Quillora/speech/") + locale);
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(
            QFile::link(systemModel + QStringLiteral("/cmudict-en-us.dict"), folder + QStringLiteral("/words.dict")));
        if (complete) {
            QVERIFY(QFile::link(systemModel + QStringLiteral("/en-us"), folder + QStringLiteral("/acoustic")));
            QVERIFY(
                QFile::link(systemModel + QStringLiteral("/en-us.lm.bin"), folder + QStringLiteral("/words.lm.bin")));
        }
    }

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("XDG_DATA_HOME", m_data.path().toUtf8());
        installUserModel(QStringLiteral("pt-BR"), false);
        installUserModel(QStringLiteral("fr-FR"), true);
    }

    void canonicalLocale_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const char* locale, const char* expected) {
            QTest::newRow(name) << QString::fromLatin1(locale) << QString::fromLatin1(expected);
        };
        row("posix name", "pt_BR.UTF-8", "pt-BR");
        row("modifier", "de_DE@euro", "de-DE");
        row("already canonical", "en-US", "en-US");
        row("language only", "PT", "pt");
        row("C locale", "C.UTF-8", "");
        row("POSIX", "POSIX", "");
    }

    void canonicalLocale()
    {
        QFETCH(QString, name);
        QFETCH(QString, expected);
        QCOMPARE(speechModels::canonicalLocale(name), expected);
    }

    void resolveLocale_data()
    {
        QTest::addColumn<QString>("requested");
        QTest::addColumn<QString>("systemLocale");
        QTest::addColumn<QString>("locale"); // empty when it fails
        QTest::addColumn<QString>("message");
        const auto row = [](const char* name, const char* requested, const char* system, const char* locale,
                             const char* message) {
            QTest::newRow(name) << QString::fromLatin1(requested) << QString::fromLatin1(system)
                                << QString::fromLatin1(locale) << QString::fromLatin1(message);
        };
        row("requested and installed", "en-US", "pt_BR", "en-US", "");
        row("requested in the user's folder", "fr-FR", "C", "fr-FR", "");
        row("requested, not installed", "de-DE", "en_US", "",
            "On-device transcription does not support de-DE on this computer.");
        row("system locale first", "", "fr_FR.UTF-8", "fr-FR", "");
        row("incomplete pt-BR folder is skipped", "", "C.UTF-8", "en-US", "");
        row("uninstalled system locale falls through", "", "ja_JP", "en-US", "");
    }

    void resolveLocale()
    {
        QFETCH(QString, requested);
        QFETCH(QString, systemLocale);
        QFETCH(QString, locale);
        QFETCH(QString, message);
        const Result<SpeechModel> model = speechModels::resolve(requested, systemLocale);
        if (locale.isEmpty()) {
            QVERIFY(!model);
            QCOMPARE(model.error().message, message);
            return;
        }
        QVERIFY2(model, model ? "" : qPrintable(model.error().message));
        QCOMPARE(model->locale, locale);
        QVERIFY(QFileInfo::exists(model->acousticModel + QStringLiteral("/mdef")));
        QVERIFY(!model->languageModel.contains(QLatin1String("-phone")));
    }

    void recognisesRecordedSpeech()
    {
        const std::optional<SpeechModel> model = speechModels::find(QStringLiteral("en-US"));
        QVERIFY(model);
        PocketSphinxRecognizer recognizer(*model, QStringLiteral("Quillora.SpeechTest"));
        QVERIFY(QCoro::waitFor(recognizer.start()));
        int partials = 0;
        QString words;
        connect(&recognizer, &SpeechEngine::textReported, this, [&](const QString& text, bool isFinal) {
            if (isFinal) {
                words += text + QLatin1Char(' ');
            } else {
                ++partials;
            }
        });

        // A human reading, fed at 48 kHz float as the capture delivers it; no silence after it,
        // so the last words come out through finish().
        const std::optional<WavFile> wav =
            WavFile::read(librivox + QStringLiteral("sense_and_sensibility_01_austen_64kb-0890.wav"));
        QVERIFY(wav);
        std::vector<float> upsampled;
        for (qint16 sample : wav->samples) {
            const float value = float(sample) / 32768.0f;
            upsampled.insert(upsampled.end(), 3, value); // crude, but the filter cleans it up
        }
        const AudioFormat captured { 48000, 1, SampleType::float32 };
        for (size_t offset = 0; offset < upsampled.size(); offset += 4096) {
            const qsizetype frames = qsizetype(std::min<size_t>(4096, upsampled.size() - offset));
            recognizer.feed(
                AudioBufferView { captured, reinterpret_cast<const std::byte*>(upsampled.data() + offset), frames });
        }
        // Every report comes before finish() completes.
        QCoro::waitFor(recognizer.finish());
        QVERIFY(partials > 0);
        QVERIFY2(words.trimmed().split(QLatin1Char(' ')).size() >= 5, qPrintable(words));
    }

    void brokenModelFailsToLoad()
    {
        SpeechModel broken { QStringLiteral("xx-XX"), m_data.filePath(QStringLiteral("missing")),
            m_data.filePath(QStringLiteral("missing.lm.bin")), m_data.filePath(QStringLiteral("missing.dict")) };
        PocketSphinxRecognizer recognizer(broken, QStringLiteral("Quillora.SpeechTest"));
        const Result<void> started = QCoro::waitFor(recognizer.start());
        QVERIFY(!started);
        QCOMPARE(started.error().message, QStringLiteral("Could not load the speech model for xx-XX."));
        // Audio and finish on an unloaded recogniser do nothing but finish.
        const std::vector<float> silence(4096, 0.0f);
        recognizer.feed(AudioBufferView {
            AudioFormat { 48000, 1, SampleType::float32 }, reinterpret_cast<const std::byte*>(silence.data()), 4096 });
        QCoro::waitFor(recognizer.finish());
    }
};

QTEST_GUILESS_MAIN(PocketSphinxRecognizerTest)
#include "PocketSphinxRecognizerTest.moc"
