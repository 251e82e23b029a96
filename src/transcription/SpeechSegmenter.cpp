#include "transcription/SpeechSegmenter.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int framesFor(int ms)
{
    return ms / 10;
}

// Voiced frames in a row that open a piece: one loud click does not.
constexpr int onsetFrames = 3;

double levelDb(const float* samples, int count)
{
    double sum = 0;
    for (int i = 0; i < count; ++i) {
        sum += double(samples[i]) * samples[i];
    }
    return 10 * std::log10(sum / count + 1e-12);
}

} // namespace

void SpeechSegmenter::push(const qint16* samples, qsizetype count, std::vector<Piece>& finished)
{
    for (qsizetype i = 0; i < count; ++i) {
        m_pending.push_back(float(samples[i]) / 32768.0f);
        if (m_pending.size() == frameSamples) {
            frame(m_pending.data(), finished);
            m_pending.clear();
        }
    }
}

void SpeechSegmenter::frame(const float* samples, std::vector<Piece>& finished)
{
    const double db = levelDb(samples, frameSamples);
    // The floor drops at once to a quieter frame and rises slowly (about 20 dB in 10 s), so speech
    // never lifts it far while a louder background does, in time.
    if (!m_floorSet || db < m_floorDb) {
        m_floorDb = std::max(db, -90.0);
        m_floorSet = true;
    } else {
        m_floorDb += 0.02;
    }
    const bool voiced = db > minimumSpeechDb && db > m_floorDb + speechAboveFloorDb;

    if (!m_inSpeech) {
        m_preroll.insert(m_preroll.end(), samples, samples + frameSamples);
        const auto keep = std::size_t(framesFor(prerollMs) * frameSamples);
        if (m_preroll.size() > keep) {
            m_preroll.erase(m_preroll.begin(), m_preroll.end() - qsizetype(keep));
        }
        m_onsetFrames = voiced ? m_onsetFrames + 1 : 0;
        if (m_onsetFrames >= onsetFrames) {
            m_inSpeech = true;
            m_piece = std::move(m_preroll);
            m_preroll.clear();
            m_voicedFrames = m_onsetFrames;
            m_silentFrames = 0;
            m_onsetFrames = 0;
        }
        return;
    }
    m_piece.insert(m_piece.end(), samples, samples + frameSamples);
    if (voiced) {
        ++m_voicedFrames;
        m_silentFrames = 0;
    } else {
        ++m_silentFrames;
    }
    if (m_silentFrames >= framesFor(pauseMs)) {
        // Keep only the pre-roll's worth of the trailing silence.
        const auto trailing = std::size_t(std::max(0, m_silentFrames - framesFor(prerollMs)) * frameSamples);
        m_piece.resize(m_piece.size() - trailing);
        endPiece(false, finished);
    } else if (openSeconds() >= maxPieceSeconds) {
        endPiece(true, finished);
        // The speech goes on: the next piece starts at once.
        m_inSpeech = true;
        m_voicedFrames = 0;
    }
}

void SpeechSegmenter::flush(std::vector<Piece>& finished)
{
    if (m_inSpeech) {
        endPiece(false, finished);
    }
    m_pending.clear();
}

void SpeechSegmenter::endPiece(bool cutAtLimit, std::vector<Piece>& finished)
{
    if (m_voicedFrames >= framesFor(minimumVoicedMs)) {
        finished.push_back(Piece { std::move(m_piece), cutAtLimit });
    }
    m_piece.clear();
    m_inSpeech = false;
    m_silentFrames = 0;
    m_voicedFrames = 0;
}
