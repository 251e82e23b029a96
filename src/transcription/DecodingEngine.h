#pragma once

#include "audio/BufferConverter.h"
#include "audio/WorkerThread.h"
#include "transcription/SpeechEngine.h"

#include <memory>
#include <vector>

// The worker of an on-device engine, on the engine's own thread: loads the model, decodes 16 kHz
// mono samples, and at the end flushes what is left. Its signals reach the engine's thread queued.
class DecoderWorker : public QObject {
    Q_OBJECT

public:
    virtual void load() = 0;
    virtual void decode(const std::vector<qint16>& samples) = 0;
    virtual void finish() = 0;

Q_SIGNALS:
    void textReported(const QString& text, bool isFinal);
    // Empty when the model is ready, else the user's message.
    void loaded(const QString& error);
    void finished();
};

// What the on-device engines (PocketSphinx, Whisper) share: the capture thread converts to 16 kHz
// 16-bit mono and hands the samples to a `DecoderWorker` on a thread of its own, under a backlog
// limit beyond which audio is dropped and logged.
class DecodingEngine : public SpeechEngine {
    Q_OBJECT

public:
    static constexpr double decoderSampleRate = 16000;
    static AudioFormat decoderFormat() { return AudioFormat { decoderSampleRate, 1, SampleType::int16 }; }

    // Loads the model on the worker thread.
    QCoro::Task<Result<void>> start() override;
    // Converts to 16 kHz and hands the audio to the decoder.
    void feed(const AudioBufferView& buffer) override;
    // Hands already converted 16 kHz mono samples to the decoder (any thread).
    void feedSamples(std::vector<qint16> samples);
    QCoro::Task<> finish() override;
    // Returns once the worker has run everything handed to it so far.
    void drain() { m_thread.drain(); }

Q_SIGNALS:
    // The worker's answers, relayed to this object's thread.
    void loaded(const QString& error);
    void finished();

protected:
    DecodingEngine(const QString& threadName, qint64 maxQueuedSamples, QObject* parent);
    // Moves the worker to the thread and starts it; called once by the engine's constructor.
    void startWorker(std::unique_ptr<DecoderWorker> worker);
    const WorkerThread& thread() const { return m_thread; }

private:
    BufferConverter m_converter; // capture thread only
    WorkerThread m_thread;
    DecoderWorker* m_worker = nullptr; // lives on m_thread
};
