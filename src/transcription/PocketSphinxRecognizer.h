#pragma once

#include "audio/AudioBuffer.h"
#include "audio/BufferConverter.h"
#include "common/Error.h"
#include "transcription/SpeechModels.h"

#include <QThread>

#include <atomic>
#include <functional>

class SphinxWorker;

// The on-device engine for one speaker: PocketSphinx decoding continuous speech on a worker thread
// of its own. Its voice-activity detector splits the audio into utterances; while one is in
// progress the best hypothesis so far is reported as not-final text, and at each end of an
// utterance its hypothesis is reported as final text. The callbacks run on the worker thread, in
// the order the audio was decoded.
class PocketSphinxRecognizer {
public:
    using TextCallback = std::function<void(const QString& text, bool isFinal)>;
    // Called with nothing on success, else the user's message.
    using LoadCallback = std::function<void(const std::optional<QString>& error)>;

    static constexpr double decoderSampleRate = 16000;
    // In-progress hypotheses are asked for after at least this much new audio.
    static constexpr double partialIntervalSeconds = 0.3;
    // Frames (10 ms each) of silence that end an utterance; the decoder's default is 50. Shorter
    // brings each final line sooner after the speaker stops.
    static constexpr const char* endOfSpeechFrames = "35";
    // Audio waiting for the decoder beyond this is dropped (and logged).
    static constexpr qint64 maxQueuedSamples = 10 * 16000;

    PocketSphinxRecognizer(SpeechModel model, TextCallback onText, const QString& threadName);
    ~PocketSphinxRecognizer();
    PocketSphinxRecognizer(const PocketSphinxRecognizer&) = delete;
    PocketSphinxRecognizer& operator=(const PocketSphinxRecognizer&) = delete;

    static AudioFormat decoderFormat() { return AudioFormat { decoderSampleRate, 1, SampleType::int16 }; }

    // Loads the models on the worker thread (this takes most of a second); `done` runs there.
    void load(LoadCallback done);
    // Called on one capture thread: converts to 16 kHz and hands the audio to the decoder.
    void feed(const AudioBufferView& buffer);
    // Hands already converted 16 kHz mono samples to the decoder (any thread).
    void feedSamples(std::vector<qint16> samples);
    // Ends the utterance in progress (reporting its final text), then calls `done` on the worker.
    void finish(std::function<void()> done);
    // Returns once the worker has run everything posted to it so far.
    void drain();

private:
    QThread m_thread;
    SphinxWorker* m_worker = nullptr; // lives on m_thread, deleted when it ends
    BufferConverter m_converter; // capture thread only
    std::atomic<qint64> m_queuedSamples { 0 };
    std::atomic<qint64> m_droppedBuffers { 0 };
};
