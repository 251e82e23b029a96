#include "audio/PulseCapture.h"

#include "audio/PulseLibrary.h"
#include "common/Log.h"

#include <QCoreApplication>

#include <pulse/pulseaudio.h>

#include <ctime>

namespace {

constexpr const char* applicationName = "Quillora";

std::atomic<bool> countingHandlerTime { false };
std::atomic<qint64> handlerNs { 0 };

qint64 threadCpuNs()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// Runs `request` under the main loop lock and waits until the operation it returns is done.
template <typename Request> bool runOperation(pa_threaded_mainloop* loop, Request request)
{
    pa_operation* operation = request();
    if (!operation) {
        return false;
    }
    while (PULSE(pa_operation_get_state)(operation) == PA_OPERATION_RUNNING) {
        PULSE(pa_threaded_mainloop_wait)(loop);
    }
    PULSE(pa_operation_unref)(operation);
    return true;
}

struct ServerInfo {
    pa_threaded_mainloop* loop;
    QByteArray defaultSink;
    QByteArray defaultSource;
};

struct DeviceInfo {
    pa_threaded_mainloop* loop;
    bool found = false;
    QByteArray monitorName;
    pa_sample_spec spec {};
};

struct Success {
    pa_threaded_mainloop* loop;
    int ok = 0;
};

} // namespace

PulseCapture::PulseCapture(Source source, qsizetype fragmentFrames, const char* threadName)
    : m_source(source)
    , m_requestedFragmentFrames(fragmentFrames)
    , m_threadName(threadName)
{
}

PulseCapture::~PulseCapture()
{
    stop();
}

QString PulseCapture::contextError() const
{
    return QString::fromUtf8(PULSE(pa_strerror)(m_context ? PULSE(pa_context_errno)(m_context) : PA_ERR_UNKNOWN));
}

QString PulseCapture::failureText(Step step, const QString& pulseError)
{
    switch (step) {
    case Step::reachServer:
        return QCoreApplication::translate("PulseCapture", "Could not reach the sound server (PulseAudio: %1)")
            .arg(pulseError);
    case Step::openMicrophone:
        return QCoreApplication::translate("PulseCapture", "Could not open the microphone (PulseAudio: %1)")
            .arg(pulseError);
    case Step::openMonitor:
        return QCoreApplication::translate(
            "PulseCapture", "Could not open the output device's monitor (PulseAudio: %1)")
            .arg(pulseError);
    case Step::startMicrophone:
        return QCoreApplication::translate("PulseCapture", "Could not start the microphone (PulseAudio: %1)")
            .arg(pulseError);
    case Step::startSystemAudio:
        return QCoreApplication::translate("PulseCapture", "Could not start system audio capture (PulseAudio: %1)")
            .arg(pulseError);
    case Step::findOutput:
        return QCoreApplication::translate("PulseCapture", "Could not find the default output device (PulseAudio: %1)")
            .arg(pulseError);
    }
    return {};
}

QString PulseCapture::failure(Step step) const
{
    return failureText(step, contextError());
}

void PulseCapture::countHandlerTime(bool on)
{
    countingHandlerTime = on;
}

qint64 PulseCapture::handlerTimeNs()
{
    return handlerNs.load();
}

void PulseCapture::contextStateChanged(pa_context*, void* self)
{
    PULSE(pa_threaded_mainloop_signal)(static_cast<PulseCapture*>(self)->m_loop, 0);
}

void PulseCapture::streamStateChanged(pa_stream* stream, void* self)
{
    auto* capture = static_cast<PulseCapture*>(self);
    const pa_stream_state_t state = PULSE(pa_stream_get_state)(stream);
    if (capture->m_started.load() && !capture->m_endReported
        && (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED)) {
        capture->m_endReported = true;
        if (capture->m_ended) {
            capture->m_ended(capture->contextError());
        }
    }
    PULSE(pa_threaded_mainloop_signal)(capture->m_loop, 0);
}

void PulseCapture::streamReadable(pa_stream* stream, size_t, void* self)
{
    auto* capture = static_cast<PulseCapture*>(self);
    while (PULSE(pa_stream_readable_size)(stream) > 0) {
        const void* data = nullptr;
        size_t bytes = 0;
        if (PULSE(pa_stream_peek)(stream, &data, &bytes) < 0 || bytes == 0) {
            return;
        }
        // A null pointer with a size is a hole in the stream (lost audio): skip it.
        if (data && capture->m_started.load()) {
            const bool counting = countingHandlerTime.load(std::memory_order_relaxed);
            const qint64 startNs = counting ? threadCpuNs() : 0;
            const auto frames = static_cast<qsizetype>(bytes) / capture->m_format.bytesPerFrame();
            capture->m_handler(AudioBufferView { capture->m_format, static_cast<const std::byte*>(data), frames });
            if (counting) {
                handlerNs.fetch_add(threadCpuNs() - startNs, std::memory_order_relaxed);
            }
        }
        PULSE(pa_stream_drop)(stream);
    }
}

Result<void> PulseCapture::connectContext()
{
    m_context = PULSE(pa_context_new)(PULSE(pa_threaded_mainloop_get_api)(m_loop), applicationName);
    if (!m_context) {
        return fail(failureText(Step::reachServer, QString::fromUtf8(PULSE(pa_strerror)(PA_ERR_INTERNAL))));
    }
    PULSE(pa_context_set_state_callback)(m_context, &PulseCapture::contextStateChanged, this);
    // Never spawn a daemon: a missing server is an error the user sees.
    if (PULSE(pa_context_connect)(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        return fail(failure(Step::reachServer));
    }
    for (;;) {
        const pa_context_state_t state = PULSE(pa_context_get_state)(m_context);
        if (state == PA_CONTEXT_READY) {
            return {};
        }
        if (!PA_CONTEXT_IS_GOOD(state)) {
            return fail(failure(Step::reachServer));
        }
        PULSE(pa_threaded_mainloop_wait)(m_loop);
    }
}

Result<void> PulseCapture::resolveSource(QString& sourceName)
{
    ServerInfo server { m_loop, {}, {} };
    const bool asked = runOperation(m_loop, [&] {
        return PULSE(pa_context_get_server_info)(
            m_context,
            [](pa_context*, const pa_server_info* info, void* data) {
                auto* result = static_cast<ServerInfo*>(data);
                if (info) {
                    result->defaultSink = info->default_sink_name ? info->default_sink_name : "";
                    result->defaultSource = info->default_source_name ? info->default_source_name : "";
                }
                PULSE(pa_threaded_mainloop_signal)(result->loop, 0);
            },
            &server);
    });
    const bool wantsMonitor = m_source == Source::defaultOutputMonitor;
    const QByteArray device = wantsMonitor ? server.defaultSink : server.defaultSource;
    if (!asked || device.isEmpty()) {
        if (wantsMonitor) {
            return fail(failureText(Step::findOutput,
                QString::fromUtf8(PULSE(pa_strerror)(asked ? PA_ERR_NOENTITY : PULSE(pa_context_errno)(m_context)))));
        }
        return fail(noInputText());
    }

    DeviceInfo info { m_loop, false, {}, {} };
    const auto onSink = [](pa_context*, const pa_sink_info* sink, int eol, void* data) {
        auto* result = static_cast<DeviceInfo*>(data);
        if (eol == 0 && sink) {
            result->found = true;
            result->monitorName = sink->monitor_source_name ? sink->monitor_source_name : "";
            result->spec = sink->sample_spec;
        }
        PULSE(pa_threaded_mainloop_signal)(result->loop, 0);
    };
    const auto onSource = [](pa_context*, const pa_source_info* source, int eol, void* data) {
        auto* result = static_cast<DeviceInfo*>(data);
        if (eol == 0 && source) {
            result->found = true;
            result->spec = source->sample_spec;
        }
        PULSE(pa_threaded_mainloop_signal)(result->loop, 0);
    };
    runOperation(m_loop, [&] {
        return wantsMonitor ? PULSE(pa_context_get_sink_info_by_name)(m_context, device.constData(), onSink, &info)
                            : PULSE(pa_context_get_source_info_by_name)(m_context, device.constData(), onSource, &info);
    });
    if (!info.found || info.spec.rate == 0 || info.spec.channels == 0 || (wantsMonitor && info.monitorName.isEmpty())) {
        if (wantsMonitor) {
            return fail(failureText(Step::findOutput, QString::fromUtf8(PULSE(pa_strerror)(PA_ERR_NOENTITY))));
        }
        return fail(noInputText());
    }
    sourceName = QString::fromUtf8(wantsMonitor ? info.monitorName : device);
    m_format = AudioFormat { static_cast<double>(info.spec.rate), wantsMonitor ? 1 : int(info.spec.channels),
        SampleType::float32 };
    return {};
}

Result<void> PulseCapture::openStream(const QString& sourceName)
{
    const bool system = m_source == Source::defaultOutputMonitor;
    const Step step = system ? Step::openMonitor : Step::openMicrophone;
    pa_sample_spec spec { PA_SAMPLE_FLOAT32NE, static_cast<uint32_t>(m_format.sampleRate),
        static_cast<uint8_t>(m_format.channelCount) };
    pa_channel_map map;
    PULSE(pa_channel_map_init_auto)(&map, spec.channels, PA_CHANNEL_MAP_DEFAULT);
    m_stream = PULSE(pa_stream_new)(m_context, system ? "Quillora system audio" : "Quillora microphone", &spec, &map);
    if (!m_stream) {
        return fail(failure(step));
    }
    PULSE(pa_stream_set_state_callback)(m_stream, &PulseCapture::streamStateChanged, this);
    PULSE(pa_stream_set_read_callback)(m_stream, &PulseCapture::streamReadable, this);

    m_fragmentFrames = m_requestedFragmentFrames > 0 ? m_requestedFragmentFrames : qsizetype(m_format.sampleRate / 50);
    pa_buffer_attr attributes;
    attributes.maxlength = static_cast<uint32_t>(-1);
    attributes.tlength = static_cast<uint32_t>(-1);
    attributes.prebuf = static_cast<uint32_t>(-1);
    attributes.minreq = static_cast<uint32_t>(-1);
    attributes.fragsize = static_cast<uint32_t>(m_fragmentFrames * m_format.bytesPerFrame());
    // The system-audio stream must not follow PulseAudio to another source when the output goes
    // away: it would then record the microphone as the other person.
    const auto flags = static_cast<pa_stream_flags_t>(
        PA_STREAM_ADJUST_LATENCY | PA_STREAM_START_CORKED | (system ? PA_STREAM_DONT_MOVE : 0));
    const QByteArray name = sourceName.toUtf8();
    if (PULSE(pa_stream_connect_record)(m_stream, name.constData(), &attributes, flags) < 0) {
        return fail(failure(step));
    }
    for (;;) {
        const pa_stream_state_t state = PULSE(pa_stream_get_state)(m_stream);
        if (state == PA_STREAM_READY) {
            return {};
        }
        if (!PA_STREAM_IS_GOOD(state)) {
            return fail(failure(step));
        }
        PULSE(pa_threaded_mainloop_wait)(m_loop);
    }
}

Result<void> PulseCapture::uncork()
{
    const Step step = m_source == Source::defaultOutputMonitor ? Step::startSystemAudio : Step::startMicrophone;
    Success result { m_loop, 0 };
    m_started = true;
    const bool asked = runOperation(m_loop, [&] {
        return PULSE(pa_stream_cork)(
            m_stream, 0,
            [](pa_stream*, int ok, void* data) {
                auto* success = static_cast<Success*>(data);
                success->ok = ok;
                PULSE(pa_threaded_mainloop_signal)(success->loop, 0);
            },
            &result);
    });
    if (!asked || !result.ok) {
        m_started = false;
        return fail(failure(step));
    }
    return {};
}

QString PulseCapture::noInputText()
{
    return QCoreApplication::translate("PulseCapture", "No microphone input available");
}

Result<void> PulseCapture::open()
{
    stop();
    m_endReported = false;
    if (!pulseLibrary.load()) {
        return fail(failureText(Step::reachServer, pulseLibrary.loadError()));
    }
    m_loop = PULSE(pa_threaded_mainloop_new)();
    if (!m_loop) {
        return fail(failureText(Step::reachServer, QString::fromUtf8(PULSE(pa_strerror)(PA_ERR_INTERNAL))));
    }
    PULSE(pa_threaded_mainloop_set_name)(m_loop, m_threadName);
    PULSE(pa_threaded_mainloop_lock)(m_loop);
    Result<void> result;
    if (PULSE(pa_threaded_mainloop_start)(m_loop) < 0) {
        result = fail(failureText(Step::reachServer, QString::fromUtf8(PULSE(pa_strerror)(PA_ERR_INTERNAL))));
    } else {
        QString sourceName;
        result = connectContext();
        if (result) {
            result = resolveSource(sourceName);
        }
        if (result) {
            result = openStream(sourceName);
        }
    }
    PULSE(pa_threaded_mainloop_unlock)(m_loop);
    if (!result) {
        qCInfo(lcAudio) << "Capture start failed:" << result.error().message;
        stop();
    }
    return result;
}

Result<void> PulseCapture::start(BufferHandler handler, EndHandler ended)
{
    if (!m_stream) {
        return fail(failure(m_source == Source::defaultOutputMonitor ? Step::startSystemAudio : Step::startMicrophone));
    }
    PULSE(pa_threaded_mainloop_lock)(m_loop);
    m_handler = std::move(handler);
    m_ended = std::move(ended);
    Result<void> result = uncork();
    PULSE(pa_threaded_mainloop_unlock)(m_loop);
    if (!result) {
        qCInfo(lcAudio) << "Capture start failed:" << result.error().message;
        stop();
    }
    return result;
}

void PulseCapture::stop()
{
    if (!m_loop) {
        return;
    }
    PULSE(pa_threaded_mainloop_lock)(m_loop);
    m_started = false;
    if (m_stream) {
        PULSE(pa_stream_set_state_callback)(m_stream, nullptr, nullptr);
        PULSE(pa_stream_set_read_callback)(m_stream, nullptr, nullptr);
        PULSE(pa_stream_disconnect)(m_stream);
        PULSE(pa_stream_unref)(m_stream);
        m_stream = nullptr;
    }
    if (m_context) {
        PULSE(pa_context_set_state_callback)(m_context, nullptr, nullptr);
        PULSE(pa_context_disconnect)(m_context);
        PULSE(pa_context_unref)(m_context);
        m_context = nullptr;
    }
    PULSE(pa_threaded_mainloop_unlock)(m_loop);
    PULSE(pa_threaded_mainloop_stop)(m_loop);
    PULSE(pa_threaded_mainloop_free)(m_loop);
    m_loop = nullptr;
    m_handler = {};
    m_ended = {};
}
