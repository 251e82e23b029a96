#pragma once

#include "transcription/DecodingEngine.h"
#include "transcription/SpeechModels.h"

// The on-device engine for one speaker: PocketSphinx decoding continuous speech on a worker thread
// of its own. Its voice-activity detector splits the audio into utterances; while one is in
// progress the best hypothesis so far is reported as not-final text, and at each end of an
// utterance its hypothesis is reported as final text.
class PocketSphinxRecognizer : public DecodingEngine {
    Q_OBJECT

public:
    // In-progress hypotheses are asked for after at least this much new audio.
    static constexpr double partialIntervalSeconds = 0.3;
    // Frames (10 ms each) of silence that end an utterance; the decoder's default is 50. Shorter
    // brings each final line sooner after the speaker stops.
    static constexpr const char* endOfSpeechFrames = "35";
    // Audio waiting for the decoder beyond this is dropped (and logged).
    static constexpr qint64 maxQueuedSamples = 10 * 16000;

    PocketSphinxRecognizer(SpeechModel model, const QString& threadName, QObject* parent = nullptr);
    ~PocketSphinxRecognizer() override;
};
