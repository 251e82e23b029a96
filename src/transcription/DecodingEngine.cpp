#include "transcription/DecodingEngine.h"

#include "common/Log.h"

#include <QCoroSignal>

DecodingEngine::DecodingEngine(const QString& threadName, qint64 maxQueuedSamples, QObject* parent)
    : SpeechEngine(parent)
    , m_converter(decoderFormat())
    , m_thread(threadName, maxQueuedSamples, &lcTranscription)
{
}

void DecodingEngine::startWorker(std::unique_ptr<DecoderWorker> worker)
{
    m_worker = worker.get();
    connect(m_worker, &DecoderWorker::textReported, this, &SpeechEngine::textReported);
    connect(m_worker, &DecoderWorker::loaded, this, &DecodingEngine::loaded);
    connect(m_worker, &DecoderWorker::finished, this, &DecodingEngine::finished);
    m_thread.start(std::move(worker));
}

QCoro::Task<Result<void>> DecodingEngine::start()
{
    m_thread.post([worker = m_worker] { worker->load(); });
    const std::optional<QString> error = co_await qCoro(this, &DecodingEngine::loaded);
    if (error && !error->isEmpty()) {
        co_return fail(*error);
    }
    co_return Result<void> {};
}

void DecodingEngine::feed(const AudioBufferView& buffer)
{
    const std::optional<AudioBuffer> converted = m_converter.convert(buffer);
    if (!converted) {
        return;
    }
    const qint16* samples = converted->int16Data();
    feedSamples(std::vector<qint16>(samples, samples + converted->frameCount()));
}

void DecodingEngine::feedSamples(std::vector<qint16> samples)
{
    const auto count = static_cast<qint64>(samples.size());
    m_thread.postAudio(count, [worker = m_worker, samples = std::move(samples)] { worker->decode(samples); });
}

QCoro::Task<> DecodingEngine::finish()
{
    m_thread.post([worker = m_worker] { worker->finish(); });
    co_await qCoro(this, &DecodingEngine::finished);
}
