#pragma once

#include <QtGlobal>

#include <vector>

// Cuts one speaker's 16 kHz mono audio into pieces of speech at pauses, for a recogniser that
// decodes finished pieces rather than a stream. A small energy detector of our own: each 10 ms
// frame's level is compared with a noise floor that follows the quietest recent frames, so a
// steady hum or an idle line counts as silence whatever its level, while anything clearly louder
// than it counts as speech. A piece keeps a little audio before the first voiced frame and after
// the last one, ends after `pauseMs` of silence and is cut at `maxPieceSeconds` at the latest.
class SpeechSegmenter {
public:
    static constexpr int sampleRate = 16000;
    static constexpr int frameSamples = 160; // 10 ms
    static constexpr int pauseMs = 500;
    static constexpr double maxPieceSeconds = 20;
    // Above the noise floor by this much, and above an absolute floor, a frame is voiced.
    static constexpr double speechAboveFloorDb = 9;
    static constexpr double minimumSpeechDb = -55;
    // Pieces with less voiced audio than this are clicks or breaths, and are dropped.
    static constexpr int minimumVoicedMs = 200;
    static constexpr int prerollMs = 200;

    struct Piece {
        std::vector<float> samples; // in [-1, 1]
        bool cutAtLimit = false; // ended by the length cap, not by a pause
    };

    // Takes the next samples; every piece they complete is appended to `finished`.
    void push(const qint16* samples, qsizetype count, std::vector<Piece>& finished);
    // Ends the open piece, if it holds speech.
    void flush(std::vector<Piece>& finished);

    bool inSpeech() const { return m_inSpeech; }
    // The open piece so far (empty outside speech).
    const std::vector<float>& openPiece() const { return m_piece; }
    double openSeconds() const { return double(m_piece.size()) / sampleRate; }

private:
    void frame(const float* samples, std::vector<Piece>& finished);
    void endPiece(bool cutAtLimit, std::vector<Piece>& finished);

    std::vector<float> m_pending; // samples of the frame being filled
    std::vector<float> m_preroll; // the latest frames outside speech
    std::vector<float> m_piece;
    double m_floorDb = -70;
    bool m_floorSet = false;
    bool m_inSpeech = false;
    int m_silentFrames = 0;
    int m_voicedFrames = 0;
    int m_onsetFrames = 0;
};
