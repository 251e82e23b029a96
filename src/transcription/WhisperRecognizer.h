#pragma once

#include "transcription/DecodingEngine.h"

#include <atomic>
#include <memory>

// The Whisper engine for one speaker: whisper.cpp on a worker thread of its own. Whisper decodes
// finished pieces of audio, not a stream, so a `SpeechSegmenter` cuts the speaker's audio at
// pauses; each piece is decoded with its own length and reported as final text. While a piece is
// still open its text so far is decoded again and reported as not final, at most once a second of
// new audio and only while the processor keeps up. Both speakers' engines share one loaded model.
class WhisperRecognizer : public DecodingEngine {
    Q_OBJECT

public:
    struct Options {
        QString modelPath;
        // A Whisper language code ("pt", "en") or "auto" to detect it per piece.
        QString language = QStringLiteral("auto");
        // whisper.cpp's threads for one decode.
        int threads = 1;
    };

    // In-progress text is decoded after at least this much new audio...
    static constexpr double partialIntervalSeconds = 1.0;
    // ...and while the in-progress decodes of a piece have taken less than this share of its length.
    static constexpr double partialShareOfAudio = 0.15;
    // Audio waiting for the decoder beyond this is dropped (and logged).
    static constexpr qint64 maxQueuedSamples = 30 * 16000;

    WhisperRecognizer(Options options, const QString& threadName, QObject* parent = nullptr);
    ~WhisperRecognizer() override;

    // The language code whisper.cpp is given for a locale or "auto" ("pt-BR" → "pt"); empty when
    // Whisper does not know the language.
    static QString languageFor(const QString& locale);
    // The processor runs the instructions the library was built for.
    static bool processorSupported();

private:
    std::shared_ptr<std::atomic<bool>> m_abort;
};
