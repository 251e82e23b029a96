#include "transcription/PocketSphinxRecognizer.h"

#include "common/Log.h"

#include <QFile>

#include <algorithm>

#include <pocketsphinx.h>

class SphinxWorker : public QObject {
    Q_OBJECT

public:
    SphinxWorker(SpeechModel model, PocketSphinxRecognizer::TextCallback onText)
        : m_model(std::move(model))
        , m_onText(std::move(onText))
    {
    }

    ~SphinxWorker() override
    {
        if (m_decoder) {
            ps_free(m_decoder);
        }
        if (m_config) {
            cmd_ln_free_r(m_config);
        }
    }

    std::optional<QString> load();
    void decode(const std::vector<qint16>& samples);
    void finish();

private:
    void endUtterance();

    const SpeechModel m_model;
    const PocketSphinxRecognizer::TextCallback m_onText;
    cmd_ln_t* m_config = nullptr;
    ps_decoder_t* m_decoder = nullptr;
    bool m_utteranceOpen = false; // ps_start_utt was called
    bool m_inSpeech = false; // the detector heard speech in the open utterance
    qint64 m_samplesSincePartial = 0;
    QString m_lastPartial;
};

std::optional<QString> SphinxWorker::load()
{
    const QByteArray hmm = QFile::encodeName(m_model.acousticModel);
    const QByteArray lm = QFile::encodeName(m_model.languageModel);
    const QByteArray dict = QFile::encodeName(m_model.dictionary);
    // The decoder's own diagnostics would otherwise flood standard error.
    m_config = cmd_ln_init(nullptr, ps_args(), TRUE, "-hmm", hmm.constData(), "-lm", lm.constData(), "-dict",
        dict.constData(), "-logfn", "/dev/null", "-vad_postspeech", PocketSphinxRecognizer::endOfSpeechFrames, nullptr);
    if (m_config) {
        m_decoder = ps_init(m_config);
    }
    if (!m_decoder) {
        qCWarning(lcTranscription) << "Cannot load the speech model for" << m_model.locale;
        return QStringLiteral("Could not load the speech model for %1.").arg(m_model.locale);
    }
    return std::nullopt;
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
        if (ps_start_utt(m_decoder) < 0) {
            return;
        }
        m_utteranceOpen = true;
        m_inSpeech = false;
        m_samplesSincePartial = 0;
        m_lastPartial.clear();
    }
    ps_process_raw(m_decoder, samples.data(), samples.size(), FALSE, FALSE);
    const bool speech = ps_get_in_speech(m_decoder) != 0;
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
    const char* hypothesis = ps_get_hyp(m_decoder, nullptr);
    const QString partial = QString::fromUtf8(hypothesis ? hypothesis : "").trimmed();
    if (!partial.isEmpty() && partial != m_lastPartial) {
        m_lastPartial = partial;
        m_onText(partial, false);
    }
}

void SphinxWorker::endUtterance()
{
    ps_end_utt(m_decoder);
    const char* hypothesis = ps_get_hyp(m_decoder, nullptr);
    const QString text = QString::fromUtf8(hypothesis ? hypothesis : "").trimmed();
    const bool heardSpeech = m_inSpeech;
    m_utteranceOpen = false;
    m_inSpeech = false;
    m_lastPartial.clear();
    if (heardSpeech || !text.isEmpty()) {
        m_onText(text, true);
    }
}

void SphinxWorker::finish()
{
    if (m_decoder && m_utteranceOpen) {
        endUtterance();
    }
}

PocketSphinxRecognizer::PocketSphinxRecognizer(SpeechModel model, TextCallback onText, const QString& threadName)
    : m_converter(decoderFormat())
{
    m_thread.setObjectName(threadName);
    m_worker = new SphinxWorker(std::move(model), std::move(onText));
    m_worker->moveToThread(&m_thread);
    QObject::connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread.start();
}

PocketSphinxRecognizer::~PocketSphinxRecognizer()
{
    m_thread.quit();
    m_thread.wait();
}

void PocketSphinxRecognizer::load(LoadCallback done)
{
    QMetaObject::invokeMethod(
        m_worker, [this, done = std::move(done)] { done(m_worker->load()); }, Qt::QueuedConnection);
}

void PocketSphinxRecognizer::feed(const AudioBufferView& buffer)
{
    const std::optional<AudioBuffer> converted = m_converter.convert(buffer);
    if (!converted) {
        return;
    }
    const qint16* samples = converted->int16Data();
    feedSamples(std::vector<qint16>(samples, samples + converted->frameCount()));
}

void PocketSphinxRecognizer::feedSamples(std::vector<qint16> samples)
{
    const auto count = static_cast<qint64>(samples.size());
    // A decoder that falls this far behind drops the newest audio: a line that arrives many
    // seconds late is of no use in a live call, and memory stays bounded.
    if (m_queuedSamples.load(std::memory_order_relaxed) + count > maxQueuedSamples) {
        const qint64 dropped = ++m_droppedBuffers;
        if (dropped == 1 || dropped % 100 == 0) {
            qCWarning(lcTranscription) << "Speech decoder is behind; dropped" << dropped << "audio buffers so far";
        }
        return;
    }
    m_queuedSamples += count;
    QMetaObject::invokeMethod(
        m_worker,
        [this, samples = std::move(samples), count] {
            m_queuedSamples -= count;
            m_worker->decode(samples);
        },
        Qt::QueuedConnection);
}

void PocketSphinxRecognizer::finish(std::function<void()> done)
{
    QMetaObject::invokeMethod(
        m_worker,
        [this, done = std::move(done)] {
            m_worker->finish();
            if (done) {
                done();
            }
        },
        Qt::QueuedConnection);
}

void PocketSphinxRecognizer::drain()
{
    QMetaObject::invokeMethod(
        m_worker, [] {}, Qt::BlockingQueuedConnection);
}

#include "PocketSphinxRecognizer.moc"
