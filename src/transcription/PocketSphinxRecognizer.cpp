#include "transcription/PocketSphinxRecognizer.h"

#include "common/LazyLibrary.h"
#include "common/Log.h"

#include <QCoreApplication>
#include <QFile>

#include <algorithm>

#include <pocketsphinx.h>

namespace {

// PocketSphinx, with sphinxbase and the linear algebra libraries behind it, opened when the on-device engine
// first loads a model.
LazyLibrary pocketsphinx("libpocketsphinx.so.3");

} // namespace

class SphinxWorker : public DecoderWorker {
    Q_OBJECT

public:
    explicit SphinxWorker(SpeechModel model)
        : m_model(std::move(model))
    {
    }

    ~SphinxWorker() override
    {
        if (m_decoder) {
            LAZY_CALL(pocketsphinx, ps_free)(m_decoder);
        }
        if (m_config) {
            LAZY_CALL(pocketsphinx, cmd_ln_free_r)(m_config);
        }
    }

    void load() override;
    void decode(const std::vector<qint16>& samples) override;
    void finish() override;

private:
    void endUtterance();

    const SpeechModel m_model;
    cmd_ln_t* m_config = nullptr;
    ps_decoder_t* m_decoder = nullptr;
    bool m_utteranceOpen = false; // ps_start_utt was called
    bool m_inSpeech = false; // the detector heard speech in the open utterance
    qint64 m_samplesSincePartial = 0;
    QString m_lastPartial;
};

void SphinxWorker::load()
{
    if (!pocketsphinx.load()) {
        Q_EMIT loaded(QCoreApplication::translate(
            "PocketSphinxRecognizer", "Could not load the on-device speech engine (PocketSphinx): %1")
                          .arg(pocketsphinx.loadError()));
        return;
    }
    const QByteArray hmm = QFile::encodeName(m_model.acousticModel);
    const QByteArray lm = QFile::encodeName(m_model.languageModel);
    const QByteArray dict = QFile::encodeName(m_model.dictionary);
    // The decoder's own diagnostics would otherwise flood standard error.
    m_config = LAZY_CALL(pocketsphinx, cmd_ln_init)(nullptr, LAZY_CALL(pocketsphinx, ps_args)(), TRUE, "-hmm",
        hmm.constData(), "-lm", lm.constData(), "-dict", dict.constData(), "-logfn", "/dev/null", "-vad_postspeech",
        PocketSphinxRecognizer::endOfSpeechFrames, nullptr);
    if (m_config) {
        m_decoder = LAZY_CALL(pocketsphinx, ps_init)(m_config);
    }
    if (!m_decoder) {
        qCWarning(lcTranscription) << "Cannot load the speech model for" << m_model.locale;
        Q_EMIT loaded(QCoreApplication::translate("PocketSphinxRecognizer", "Could not load the speech model for %1.")
                          .arg(m_model.locale));
        return;
    }
    Q_EMIT loaded(QString());
}

void SphinxWorker::decode(const std::vector<qint16>& samples)
{
    if (!m_decoder || samples.empty()) {
        return;
    }
    // Exact digital silence (an idle output's monitor, a muted input) outside speech carries
    // nothing, and long runs of it skew the decoder's noise and cepstral-mean estimates so that
    // the next words come out wrong. Inside speech it is still needed to end the utterance.
    if (!m_inSpeech && std::all_of(samples.begin(), samples.end(), [](qint16 sample) { return sample == 0; })) {
        return;
    }
    if (!m_utteranceOpen) {
        if (LAZY_CALL(pocketsphinx, ps_start_utt)(m_decoder) < 0) {
            return;
        }
        m_utteranceOpen = true;
        m_inSpeech = false;
        m_samplesSincePartial = 0;
        m_lastPartial.clear();
    }
    LAZY_CALL(pocketsphinx, ps_process_raw)(m_decoder, samples.data(), samples.size(), FALSE, FALSE);
    const bool speech = LAZY_CALL(pocketsphinx, ps_get_in_speech)(m_decoder) != 0;
    if (speech) {
        m_inSpeech = true;
    }
    if (m_inSpeech && !speech) {
        endUtterance();
        return;
    }
    if (!m_inSpeech) {
        return;
    }
    m_samplesSincePartial += static_cast<qint64>(samples.size());
    if (m_samplesSincePartial
        < qint64(PocketSphinxRecognizer::partialIntervalSeconds * PocketSphinxRecognizer::decoderSampleRate)) {
        return;
    }
    m_samplesSincePartial = 0;
    const char* hypothesis = LAZY_CALL(pocketsphinx, ps_get_hyp)(m_decoder, nullptr);
    const QString partial = QString::fromUtf8(hypothesis ? hypothesis : "").trimmed();
    if (!partial.isEmpty() && partial != m_lastPartial) {
        m_lastPartial = partial;
        Q_EMIT textReported(partial, false);
    }
}

void SphinxWorker::endUtterance()
{
    LAZY_CALL(pocketsphinx, ps_end_utt)(m_decoder);
    const char* hypothesis = LAZY_CALL(pocketsphinx, ps_get_hyp)(m_decoder, nullptr);
    const QString text = QString::fromUtf8(hypothesis ? hypothesis : "").trimmed();
    const bool heardSpeech = m_inSpeech;
    m_utteranceOpen = false;
    m_inSpeech = false;
    m_lastPartial.clear();
    if (heardSpeech || !text.isEmpty()) {
        Q_EMIT textReported(text, true);
    }
}

void SphinxWorker::finish()
{
    if (m_decoder && m_utteranceOpen) {
        endUtterance();
    }
    Q_EMIT finished();
}

PocketSphinxRecognizer::PocketSphinxRecognizer(SpeechModel model, const QString& threadName, QObject* parent)
    : DecodingEngine(threadName, maxQueuedSamples, parent)
{
    startWorker(std::make_unique<SphinxWorker>(std::move(model)));
}

PocketSphinxRecognizer::~PocketSphinxRecognizer() = default;

#include "PocketSphinxRecognizer.moc"
