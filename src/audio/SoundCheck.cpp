#include "audio/SoundCheck.h"

#include "audio/PulseCapture.h"
#include "audio/PulseLibrary.h"
#include "common/Log.h"

#include <QCoreApplication>

#include <pulse/error.h>
#include <pulse/simple.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace soundCheck {

namespace {

using Steady = std::chrono::steady_clock;

std::vector<float> toneSamples()
{
    const auto frames = static_cast<size_t>(TonePlayer::sampleRate * TonePlayer::toneLength.count() / 1000);
    // Ramps at both ends keep the tone from clicking.
    const size_t ramp = TonePlayer::sampleRate / 200;
    std::vector<float> samples(frames);
    for (size_t i = 0; i < frames; ++i) {
        const double envelope = std::min({ 1.0, double(i) / ramp, double(frames - 1 - i) / ramp });
        samples[i] = static_cast<float>(
            0.25 * envelope * std::sin(2 * std::numbers::pi * 880.0 * double(i) / TonePlayer::sampleRate));
    }
    return samples;
}

// The probes only look at what arrives; a stream that ends early simply stops delivering.
Result<void> openAndStart(PulseCapture& capture, PulseCapture::BufferHandler handler)
{
    Result<void> started = capture.open();
    if (started) {
        started = capture.start(std::move(handler), {});
    }
    return started;
}

QString playFailure(int error)
{
    return QCoreApplication::translate("SoundCheck", "Could not play the check sound (PulseAudio: %1)")
        .arg(pulseLibrary.load() ? QString::fromUtf8(PULSE(pa_strerror)(error)) : pulseLibrary.loadError());
}

} // namespace

void Heard::set()
{
    {
        const std::lock_guard guard(m_lock);
        m_flag = true;
    }
    m_raised.notify_all();
}

bool Heard::flag() const
{
    const std::lock_guard guard(m_lock);
    return m_flag;
}

bool Heard::waitUntil(Steady::time_point deadline, std::stop_token stop)
{
    std::unique_lock guard(m_lock);
    return m_raised.wait_until(guard, stop, deadline, [this] { return m_flag; });
}

TonePlayer::~TonePlayer()
{
    close();
}

Result<void> TonePlayer::open()
{
    close();
    if (!pulseLibrary.load()) {
        return fail(playFailure(PA_ERR_UNKNOWN));
    }
    const pa_sample_spec spec { PA_SAMPLE_FLOAT32NE, sampleRate, 1 };
    const auto bytesFor = [](int ms) { return static_cast<uint32_t>(sampleRate / 1000 * ms * sizeof(float)); };
    // A small start threshold: the server's default waits for about two seconds of audio before it
    // plays anything, far longer than one tone.
    pa_buffer_attr attributes;
    attributes.maxlength = static_cast<uint32_t>(-1);
    attributes.tlength = bytesFor(250);
    attributes.prebuf = bytesFor(10);
    attributes.minreq = static_cast<uint32_t>(-1);
    attributes.fragsize = static_cast<uint32_t>(-1);
    int error = 0;
    m_stream = PULSE(pa_simple_new)(
        nullptr, "Quillora", PA_STREAM_PLAYBACK, nullptr, "Quillora sound check", &spec, nullptr, &attributes, &error);
    if (!m_stream) {
        return fail(playFailure(error));
    }
    return {};
}

Result<void> TonePlayer::play()
{
    static const std::vector<float> tone = toneSamples();
    int error = 0;
    if (!m_stream || PULSE(pa_simple_write)(m_stream, tone.data(), tone.size() * sizeof(float), &error) < 0) {
        return fail(playFailure(m_stream ? error : PA_ERR_BADSTATE));
    }
    return {};
}

void TonePlayer::close()
{
    if (m_stream) {
        PULSE(pa_simple_free)(m_stream);
        m_stream = nullptr;
    }
}

Result<MicrophoneOutcome> microphone(std::chrono::milliseconds wait, std::stop_token stop)
{
    Heard delivered;
    PulseCapture capture(PulseCapture::Source::defaultInput, 0, "Quillora.MicCheck");
    const Result<void> started = openAndStart(capture, [&delivered](const AudioBufferView& buffer) {
        if (buffer.frameCount > 0) {
            delivered.set();
        }
    });
    if (!started) {
        if (started.error().message == PulseCapture::noInputText()) {
            return MicrophoneOutcome::noInput;
        }
        return std::unexpected(started.error());
    }
    const bool heard = delivered.waitUntil(Steady::now() + wait, stop);
    capture.stop();
    return heard ? MicrophoneOutcome::delivers : MicrophoneOutcome::silent;
}

Result<bool> systemAudio(std::chrono::milliseconds window, std::stop_token stop)
{
    Heard heard;
    PulseCapture tap(PulseCapture::Source::defaultOutputMonitor, 0, "Quillora.SystemAudioCheck");
    const Result<void> started = openAndStart(tap, [&heard](const AudioBufferView& buffer) {
        const float* samples = buffer.floatData();
        if (!samples) {
            return;
        }
        const int channels = buffer.format.channelCount;
        for (qsizetype frame = 0; frame < buffer.frameCount; ++frame) {
            if (samples[frame * channels] != 0.0f) {
                heard.set();
                return;
            }
        }
    });
    if (!started) {
        return std::unexpected(started.error());
    }

    TonePlayer player;
    const Result<void> opened = player.open();
    if (!opened) {
        // Other sounds can still be heard; the probe goes on without its own.
        qCWarning(lcAudio) << "Sound check:" << opened.error().message;
    }
    const auto deadline = Steady::now() + window;
    auto nextTone = Steady::now();
    while (Steady::now() < deadline && !heard.flag() && !stop.stop_requested()) {
        if (opened && Steady::now() >= nextTone) {
            if (const Result<void> played = player.play(); !played) {
                qCWarning(lcAudio) << "Sound check:" << played.error().message;
            }
            nextTone = Steady::now() + std::chrono::seconds(1);
        }
        heard.waitUntil(std::min(deadline, nextTone), stop);
    }
    player.close();
    tap.stop();
    return heard.flag();
}

} // namespace soundCheck
