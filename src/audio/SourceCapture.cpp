#include "audio/SourceCapture.h"

#include "audio/AudioCaptureService.h"
#include "common/Log.h"

#include <QTimer>

#include <algorithm>

namespace {

// The audio thread's worker: empties the ring on a timer of its own, so that the sound server's
// thread never has to wake anyone (a wake-up is a system call and an allocation; copying the audio
// is far cheaper).
class SourceReader : public QObject {
public:
    SourceReader(std::function<void()> read, int intervalMs)
        : m_read(std::move(read))
        , m_timer(this)
    {
        m_timer.setInterval(intervalMs);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { m_read(); });
    }

    // On the audio thread, where the timer must run.
    void startReading() { m_timer.start(); }

private:
    const std::function<void()> m_read;
    QTimer m_timer;
};

} // namespace

SourceCapture::SourceCapture(const Kind& kind, BufferCallback callback, QObject* context, LevelCallback showLevel)
    : m_kind(kind)
    , m_callback(std::move(callback))
    , m_context(context)
    , m_showLevel(std::move(showLevel))
    , m_stream(kind.source, kind.bufferFrames, kind.serverThreadName)
{
}

SourceCapture::~SourceCapture()
{
    stop();
}

Result<void> SourceCapture::start(PulseCapture::EndHandler ended)
{
    stop();
    if (Result<void> opened = m_stream.open(); !opened) {
        return opened;
    }
    m_format = m_stream.format();
    const auto channels = static_cast<size_t>(m_format.channelCount);
    m_buffer.assign(static_cast<size_t>(m_stream.fragmentFrames()) * channels, 0.0f);
    m_ring = std::make_unique<SampleRing>(static_cast<size_t>(ringSeconds * m_format.sampleRate) * channels);
    m_level = std::make_shared<LevelMailbox>();
    m_droppedChunks = 0;
    m_droppedLogged = 0;
    m_thread = std::make_unique<WorkerThread>(QString::fromLatin1(m_kind.audioThreadName), 0, &lcAudio);
    auto reader = std::make_unique<SourceReader>([this] { readAvailable(); }, readIntervalMs);
    SourceReader* const readerOnThread = reader.get();
    m_thread->start(std::move(reader));
    m_thread->post([readerOnThread] { readerOnThread->startReading(); });
    Result<void> started = m_stream.start([this](const AudioBufferView& buffer) { push(buffer); }, std::move(ended));
    if (!started) {
        stop();
    }
    return started;
}

void SourceCapture::stop()
{
    m_stream.stop();
    if (m_thread) {
        m_thread->post([this] { readAvailable(); });
        m_thread->drain();
        m_thread.reset();
    }
    m_ring.reset();
    // Level reports still on their way find their mailbox gone: a stopped meter stays at 0.
    m_level.reset();
}

void SourceCapture::push(const AudioBufferView& buffer)
{
    const auto samples = static_cast<size_t>(buffer.frameCount * buffer.format.channelCount);
    if (!m_ring->write(reinterpret_cast<const float*>(buffer.data), samples)) {
        m_droppedChunks.fetch_add(1, std::memory_order_relaxed);
    }
}

void SourceCapture::readAvailable()
{
    const qsizetype frames = static_cast<qsizetype>(m_buffer.size()) / m_format.channelCount;
    while (m_ring->size() >= m_buffer.size()) {
        m_ring->read(m_buffer.data(), m_buffer.size());
        const AudioBufferView buffer { m_format, reinterpret_cast<const std::byte*>(m_buffer.data()), frames };
        showLevel(AudioCaptureService::level(buffer));
        if (m_callback) {
            m_callback(buffer);
        }
    }
    const qint64 dropped = m_droppedChunks.load(std::memory_order_relaxed);
    if (dropped != m_droppedLogged && (m_droppedLogged == 0 || dropped / 100 != m_droppedLogged / 100)) {
        qCWarning(lcAudio) << m_kind.audioThreadName << "is behind; dropped" << dropped << "pieces of audio so far";
    }
    m_droppedLogged = dropped;
}

void SourceCapture::showLevel(float level)
{
    m_level->level.store(level);
    if (!m_level->posted.exchange(true)) {
        QMetaObject::invokeMethod(
            m_context,
            [mailbox = std::weak_ptr<LevelMailbox>(m_level), show = m_showLevel] {
                if (const std::shared_ptr<LevelMailbox> box = mailbox.lock()) {
                    box->posted.store(false);
                    show(box->level.load());
                }
            },
            Qt::QueuedConnection);
    }
}
