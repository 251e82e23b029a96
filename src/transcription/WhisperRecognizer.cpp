#include "transcription/WhisperRecognizer.h"

#include "common/Log.h"
#include "transcription/SpeechSegmenter.h"
#include "transcription/WhisperModelFile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <whisper.h>

#include <algorithm>
#include <cmath>
#include <mutex>

namespace {

// Speech runs at about three words, four to five tokens, a second: a decode that goes on much
// longer than that is the model repeating itself.
constexpr double maxTokensPerSecond = 6;
// whisper.cpp refuses pieces shorter than a second; shorter ones are padded with silence.
constexpr qsizetype minimumSamples = 17600;

void logFromWhisper(ggml_log_level level, const char* text, void*)
{
    if (level == GGML_LOG_LEVEL_ERROR) {
        qCWarning(lcTranscription, "whisper.cpp: %s", text);
    }
}

// One loaded model, shared by the engines that use the same file while any of them lives.
struct LoadedModel {
    whisper_context* context = nullptr;
    ~LoadedModel()
    {
        if (context) {
            whisper_free(context);
        }
    }
};

std::mutex loadedMutex;
QHash<QString, std::weak_ptr<LoadedModel>> loadedModels;

Result<std::shared_ptr<LoadedModel>> loadShared(const QString& path)
{
    const std::lock_guard lock(loadedMutex);
    const QFileInfo info(path);
    // A file replaced by a new download is a new model.
    const QString key =
        path + u'|' + QString::number(info.size()) + u'|' + QString::number(info.lastModified().toMSecsSinceEpoch());
    if (std::shared_ptr<LoadedModel> model = loadedModels.value(key).lock()) {
        return model;
    }
    if (!info.exists()) {
        return fail(QCoreApplication::translate("WhisperRecognizer",
            "The speech model %1 is not installed. Download it in Settings (Ctrl+,) > General > "
            "Transcription.")
                        .arg(info.fileName()));
    }
    // whisper.cpp aborts on some malformed files: it only gets one whose every field was checked.
    if (const Result<whisperModelFile::HyperParameters> checked = whisperModelFile::check(path); !checked) {
        return std::unexpected(checked.error());
    }
    static std::once_flag logOnce;
    std::call_once(logOnce, [] { whisper_log_set(logFromWhisper, nullptr); });
    whisper_context_params parameters = whisper_context_default_params();
    parameters.use_gpu = false;
    auto model = std::make_shared<LoadedModel>();
    try {
        model->context = whisper_init_from_file_with_params_no_state(QFile::encodeName(path).constData(), parameters);
    } catch (const std::exception& error) {
        qCWarning(lcTranscription) << "whisper.cpp could not load" << path << ":" << error.what();
    }
    if (!model->context) {
        return fail(QCoreApplication::translate("WhisperRecognizer", "Could not load the speech model %1.")
                        .arg(info.fileName()));
    }
    loadedModels.insert(key, model);
    return model;
}

} // namespace

class WhisperWorker : public DecoderWorker {
    Q_OBJECT

public:
    WhisperWorker(
        WhisperRecognizer::Options options, const WorkerThread& thread, std::shared_ptr<std::atomic<bool>> abort)
        : m_options(std::move(options))
        , m_thread(thread)
        , m_abort(std::move(abort))
    {
    }

    ~WhisperWorker() override
    {
        if (m_state) {
            whisper_free_state(m_state);
        }
    }

    void load() override;
    void decode(const std::vector<qint16>& samples) override;
    void finish() override;

private:
    QString transcribe(std::vector<float> samples);
    void reportPieces();
    void maybeReportPartial();

    const WhisperRecognizer::Options m_options;
    const WorkerThread& m_thread;
    const std::shared_ptr<std::atomic<bool>> m_abort;
    std::shared_ptr<LoadedModel> m_model;
    whisper_state* m_state = nullptr;
    SpeechSegmenter m_segmenter;
    std::vector<SpeechSegmenter::Piece> m_finished;
    QByteArray m_language;
    double m_openSecondsAtPartial = 0;
    double m_partialSeconds = 0; // time the open piece's in-progress decodes took
    bool m_partialShown = false;
};

void WhisperWorker::load()
{
    if (!WhisperRecognizer::processorSupported()) {
        Q_EMIT loaded(QCoreApplication::translate("WhisperRecognizer",
            "This processor lacks the AVX2 instructions the Whisper engine needs. Choose "
            "On-device (PocketSphinx) in Settings (Ctrl+,) > General > Transcription."));
        return;
    }
    Result<std::shared_ptr<LoadedModel>> model = loadShared(m_options.modelPath);
    if (!model) {
        Q_EMIT loaded(model.error().message);
        return;
    }
    m_model = std::move(*model);
    m_state = whisper_init_state(m_model->context);
    if (!m_state) {
        Q_EMIT loaded(QCoreApplication::translate("WhisperRecognizer", "Could not load the speech model %1.")
                          .arg(QFileInfo(m_options.modelPath).fileName()));
        return;
    }
    m_language = m_options.language.toLatin1();
    Q_EMIT loaded(QString());
}

void WhisperWorker::decode(const std::vector<qint16>& samples)
{
    if (!m_state || samples.empty()) {
        return;
    }
    m_segmenter.push(samples.data(), qsizetype(samples.size()), m_finished);
    reportPieces();
    maybeReportPartial();
}

void WhisperWorker::reportPieces()
{
    for (SpeechSegmenter::Piece& piece : m_finished) {
        if (!m_state) {
            break;
        }
        const QString text = transcribe(std::move(piece.samples));
        // A final report also clears the in-progress text, so it goes out even when empty.
        if (!text.isEmpty() || m_partialShown) {
            Q_EMIT textReported(text, true);
        }
        m_partialShown = false;
        m_openSecondsAtPartial = 0;
        m_partialSeconds = 0;
    }
    m_finished.clear();
}

void WhisperWorker::maybeReportPartial()
{
    if (!m_state || !m_segmenter.inSpeech()) {
        m_openSecondsAtPartial = 0;
        m_partialSeconds = 0;
        return;
    }
    const double open = m_segmenter.openSeconds();
    const bool due = open - m_openSecondsAtPartial >= WhisperRecognizer::partialIntervalSeconds;
    // Partials are a courtesy: none while audio waits or the piece's budget is spent.
    const bool caughtUp = m_thread.backlog() < qint64(WhisperRecognizer::decoderSampleRate / 4);
    const bool withinBudget = m_partialSeconds <= WhisperRecognizer::partialShareOfAudio * open;
    if (!due || !caughtUp || !withinBudget) {
        return;
    }
    m_openSecondsAtPartial = open;
    QElapsedTimer timer;
    timer.start();
    const QString text = transcribe(m_segmenter.openPiece());
    m_partialSeconds += timer.nsecsElapsed() / 1e9;
    if (!text.isEmpty()) {
        m_partialShown = true;
        Q_EMIT textReported(text, false);
    }
}

QString WhisperWorker::transcribe(std::vector<float> samples)
{
    const double seconds = double(samples.size()) / WhisperRecognizer::decoderSampleRate;
    if (qsizetype(samples.size()) < minimumSamples) {
        samples.resize(minimumSamples, 0.0f);
    }
    whisper_full_params parameters = whisper_full_default_params(WHISPER_SAMPLING_GREEDY);
    parameters.n_threads = m_options.threads;
    parameters.no_context = true;
    parameters.no_timestamps = true;
    parameters.single_segment = true;
    parameters.print_progress = false;
    parameters.print_realtime = false;
    parameters.print_special = false;
    parameters.print_timestamps = false;
    parameters.suppress_blank = true;
    parameters.suppress_nst = true;
    // A live line is decoded once: no retries at higher temperatures.
    parameters.temperature_inc = 0.0f;
    parameters.language = m_language.constData();
    parameters.detect_language = false;
    // The encoder looks at the piece's own length (50 positions a second) rather than 30 s.
    const double padded = double(samples.size()) / WhisperRecognizer::decoderSampleRate;
    parameters.audio_ctx = std::clamp(int(std::ceil(padded * 50)) + 16, 64, 1500);
    parameters.max_tokens = int(std::ceil(seconds * maxTokensPerSecond)) + 8;
    parameters.abort_callback = [](void* data) { return static_cast<std::atomic<bool>*>(data)->load(); };
    parameters.abort_callback_user_data = m_abort.get();
    int decoded = -1;
    try {
        decoded = whisper_full_with_state(m_model->context, m_state, parameters, samples.data(), int(samples.size()));
    } catch (const std::exception& error) {
        // whisper.cpp throws on some vocabularies it did not expect; the piece is lost, not the call.
        qCWarning(lcTranscription) << "whisper.cpp failed on a piece:" << error.what();
        whisper_free_state(m_state);
        m_state = whisper_init_state(m_model->context);
        return QString();
    }
    if (decoded != 0) {
        if (!m_abort->load()) {
            qCWarning(lcTranscription) << "whisper.cpp could not decode a piece of" << seconds << "s";
        }
        return QString();
    }
    QString text;
    const int segments = whisper_full_n_segments_from_state(m_state);
    for (int i = 0; i < segments; ++i) {
        text += QString::fromUtf8(whisper_full_get_segment_text_from_state(m_state, i));
    }
    return text.simplified();
}

void WhisperWorker::finish()
{
    if (m_state) {
        m_segmenter.flush(m_finished);
        reportPieces();
    }
    Q_EMIT finished();
}

WhisperRecognizer::WhisperRecognizer(Options options, const QString& threadName, QObject* parent)
    : DecodingEngine(threadName, maxQueuedSamples, parent)
    , m_abort(std::make_shared<std::atomic<bool>>(false))
{
    startWorker(std::make_unique<WhisperWorker>(std::move(options), thread(), m_abort));
}

WhisperRecognizer::~WhisperRecognizer()
{
    // A decode in progress ends at its next step rather than holding up the thread's end.
    m_abort->store(true);
}

QString WhisperRecognizer::languageFor(const QString& locale)
{
    const QString value = locale.trimmed();
    if (value == QLatin1String("auto")) {
        return value;
    }
    const QString language = value.section(QLatin1Char('-'), 0, 0).section(QLatin1Char('_'), 0, 0).toLower();
    if (language.isEmpty() || whisper_lang_id(language.toLatin1().constData()) < 0) {
        return QString();
    }
    return language;
}

bool WhisperRecognizer::processorSupported()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma") && __builtin_cpu_supports("f16c")
        && __builtin_cpu_supports("bmi2");
#else
    return true;
#endif
}

#include "WhisperRecognizer.moc"
