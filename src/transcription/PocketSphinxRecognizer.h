#pragma once

#include "audio/BufferConverter.h"
#include "audio/WorkerThread.h"
#include "transcription/SpeechEngine.h"
#include "transcription/SpeechModels.h"

#include <vector>

class SphinxWorker;

// The on-device engine for one speaker: PocketSphinx decoding continuous speech on a worker thread
// of its own. Its voice-activity detector splits the audio into utterances; while one is in
// progress the best hypothesis so far is reported as not-final text, and at each end of an
// utterance its hypothesis is reported as final text.
class PocketSphinxRecognizer : public SpeechEngine {
    Q_OBJECT

public:
    static constexpr double decoderSampleRate = 16000;
    // In-progress hypotheses are asked for after at least this much new audio.
    static constexpr double partialIntervalSeconds = 0.3;
    // Frames (10 ms each) of silence that end an utterance; the decoder's default is 50. Shorter
    // brings each final line sooner after the speaker stops.
    static constexpr const char* endOfSpeechFrames = "35";
    // Audio waiting for the decoder beyond this is dropped (and logged).
    static constexpr qint64 maxQueuedSamples = 10 * 16000;

    PocketSphinxRecognizer(SpeechModel model, const QString& threadName, QObject* parent = nullptr);
    ~PocketSphinxRecognizer() override;

    static AudioFormat decoderFormat() { return AudioFormat { decoderSampleRate, 1, SampleType::int16 }; }

    // Loads the models on the worker thread (this takes most of a second).
    QCoro::Task<Result<void>> start() override;
    // Converts to 16 kHz and hands the audio to the decoder.
    void feed(const AudioBufferView& buffer) override;
    // Hands already converted 16 kHz mono samples to the decoder (any thread).
    void feedSamples(std::vector<qint16> samples);
    // Ends the utterance in progress, reporting its final text.
    QCoro::Task<> finish() override;
    // Returns once the worker has run everything handed to it so far.
    void drain() { m_thread.drain(); }

Q_SIGNALS:
    // The worker's answers, relayed to this object's thread.
    void loaded(const QString& error);
    void finished();

private:
    BufferConverter m_converter; // capture thread only
    WorkerThread m_thread;
    SphinxWorker* m_worker = nullptr; // lives on m_thread
};
