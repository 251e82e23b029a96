#include "screenshare/CaptureClient.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <pipewire/pipewire.h>
#include <spa/param/video/format-utils.h>

#include <cstdint>

PrivatePipeWire::PrivatePipeWire() = default;

PrivatePipeWire::~PrivatePipeWire()
{
    if (m_daemon.state() != QProcess::NotRunning) {
        m_daemon.terminate();
        if (!m_daemon.waitForFinished(3000)) {
            m_daemon.kill();
            m_daemon.waitForFinished(3000);
        }
    }
}

void PrivatePipeWire::kill()
{
    m_daemon.kill();
    m_daemon.waitForFinished(5000);
}

void PrivatePipeWire::select() const
{
    qputenv("PIPEWIRE_RUNTIME_DIR", QFile::encodeName(m_runtime.path()));
}

bool PrivatePipeWire::start(QString* error)
{
    if (!m_runtime.isValid()) {
        *error = QStringLiteral("no temporary folder for the PipeWire runtime");
        return false;
    }
    // Clients of this process (the watcher and the capture client) find the daemon through this.
    select();
    qunsetenv("PIPEWIRE_REMOTE");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PIPEWIRE_RUNTIME_DIR"), m_runtime.path());
    m_daemon.setProcessEnvironment(environment);
    m_daemon.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_daemon.setStandardOutputFile(QProcess::nullDevice());
    m_daemon.start(QStringLiteral("pipewire"), {});
    if (!m_daemon.waitForStarted(5000)) {
        *error = QStringLiteral("pipewire did not start: ") + m_daemon.errorString();
        return false;
    }
    // The socket appears once the daemon listens; a daemon that cannot run exits first.
    const QString socket = m_runtime.filePath(QStringLiteral("pipewire-0"));
    QDeadlineTimer deadline(10000);
    while (!QFile::exists(socket)) {
        if (m_daemon.state() == QProcess::NotRunning || deadline.hasExpired()) {
            *error = QStringLiteral("pipewire did not open its socket");
            return false;
        }
        m_daemon.waitForFinished(20);
    }
    return true;
}

struct CaptureClient::Impl {
    pw_thread_loop* loop = nullptr;
    pw_context* context = nullptr;
    pw_core* core = nullptr;
    pw_stream* source = nullptr;
    pw_stream* consumer = nullptr;
    spa_hook sourceListener {};
    spa_hook consumerListener {};
    pw_proxy* link = nullptr;
    uint32_t sourceNode = SPA_ID_INVALID;
    uint32_t consumerNode = SPA_ID_INVALID;

    static const spa_pod* videoFormat(spa_pod_builder* builder)
    {
        spa_rectangle size { 64, 64 };
        spa_fraction rate { 30, 1 };
        return static_cast<const spa_pod*>(spa_pod_builder_add_object(builder, SPA_TYPE_OBJECT_Format,
            SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType, SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype,
            SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format, SPA_POD_Id(SPA_VIDEO_FORMAT_BGRx),
            SPA_FORMAT_VIDEO_size, SPA_POD_Rectangle(&size), SPA_FORMAT_VIDEO_framerate, SPA_POD_Fraction(&rate)));
    }

    // Links the two streams as a screen-cast portal's client would, once both are in the graph.
    void linkWhenReady()
    {
        if (link || sourceNode == SPA_ID_INVALID || consumerNode == SPA_ID_INVALID) {
            return;
        }
        pw_properties* props = pw_properties_new(nullptr, nullptr);
        pw_properties_setf(props, PW_KEY_LINK_OUTPUT_NODE, "%u", sourceNode);
        pw_properties_setf(props, PW_KEY_LINK_INPUT_NODE, "%u", consumerNode);
        pw_properties_set(props, PW_KEY_OBJECT_LINGER, "false");
        link = static_cast<pw_proxy*>(
            pw_core_create_object(core, "link-factory", PW_TYPE_INTERFACE_Link, PW_VERSION_LINK, &props->dict, 0));
        pw_properties_free(props);
    }

    void destroyStreams()
    {
        if (link) {
            pw_proxy_destroy(link);
            link = nullptr;
        }
        for (pw_stream** stream : { &source, &consumer }) {
            if (*stream) {
                pw_stream_destroy(*stream);
                *stream = nullptr;
            }
        }
        sourceNode = consumerNode = SPA_ID_INVALID;
    }
};

namespace {

const pw_stream_events sourceEvents = [] {
    pw_stream_events events {};
    events.version = PW_VERSION_STREAM_EVENTS;
    events.state_changed = [](void* data, pw_stream_state, pw_stream_state state, const char*) {
        auto* impl = static_cast<CaptureClient::Impl*>(data);
        if (state == PW_STREAM_STATE_PAUSED && impl->sourceNode == SPA_ID_INVALID) {
            impl->sourceNode = pw_stream_get_node_id(impl->source);
            impl->linkWhenReady();
        }
    };
    // A producer states its buffers once the format is fixed, as the compositors do.
    events.param_changed = [](void* data, uint32_t id, const spa_pod* param) {
        auto* impl = static_cast<CaptureClient::Impl*>(data);
        if (id != SPA_PARAM_Format || !param) {
            return;
        }
        uint8_t buffer[512];
        spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
        const spa_pod* params[] = { static_cast<const spa_pod*>(
            spa_pod_builder_add_object(&builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers,
                SPA_PARAM_BUFFERS_buffers, SPA_POD_CHOICE_RANGE_Int(4, 2, 8), SPA_PARAM_BUFFERS_blocks, SPA_POD_Int(1),
                SPA_PARAM_BUFFERS_size, SPA_POD_Int(64 * 64 * 4), SPA_PARAM_BUFFERS_stride, SPA_POD_Int(64 * 4))) };
        pw_stream_update_params(impl->source, params, 1);
    };
    return events;
}();

const pw_stream_events consumerEvents = [] {
    pw_stream_events events {};
    events.version = PW_VERSION_STREAM_EVENTS;
    events.state_changed = [](void* data, pw_stream_state, pw_stream_state state, const char*) {
        auto* impl = static_cast<CaptureClient::Impl*>(data);
        if (state == PW_STREAM_STATE_PAUSED && impl->consumerNode == SPA_ID_INVALID) {
            impl->consumerNode = pw_stream_get_node_id(impl->consumer);
            impl->linkWhenReady();
        }
    };
    return events;
}();

} // namespace

CaptureClient::CaptureClient()
    : m_impl(std::make_unique<Impl>())
{
    pw_init(nullptr, nullptr);
    m_impl->loop = pw_thread_loop_new("capture-client", nullptr);
    m_impl->context = pw_context_new(pw_thread_loop_get_loop(m_impl->loop), nullptr, 0);
    m_impl->core = pw_context_connect(m_impl->context,
        pw_properties_new(PW_KEY_APP_NAME, "Video call", PW_KEY_APP_PROCESS_BINARY, "videocall", nullptr), 0);
    pw_thread_loop_start(m_impl->loop);
}

CaptureClient::~CaptureClient()
{
    pw_thread_loop_lock(m_impl->loop);
    m_impl->destroyStreams();
    pw_thread_loop_unlock(m_impl->loop);
    pw_thread_loop_stop(m_impl->loop);
    if (m_impl->core) {
        pw_core_disconnect(m_impl->core);
    }
    pw_context_destroy(m_impl->context);
    pw_thread_loop_destroy(m_impl->loop);
    pw_deinit();
}

bool CaptureClient::isConnected() const
{
    return m_impl->core != nullptr;
}

void CaptureClient::startCapture(const QByteArray& sourceName)
{
    Impl& impl = *m_impl;
    pw_thread_loop_lock(impl.loop);
    uint8_t buffer[512];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
    const spa_pod* formats[] = { Impl::videoFormat(&builder) };
    // Named only by the stream's name, as Mutter does; PipeWire derives node and media name from it.
    impl.source = pw_stream_new(impl.core, sourceName.constData(), nullptr);
    pw_stream_add_listener(impl.source, &impl.sourceListener, &sourceEvents, &impl);
    pw_stream_connect(impl.source, PW_DIRECTION_OUTPUT, PW_ID_ANY,
        pw_stream_flags(PW_STREAM_FLAG_DRIVER | PW_STREAM_FLAG_MAP_BUFFERS), formats, 1);
    impl.consumer = pw_stream_new(impl.core, "screen-share-consumer",
        pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY, "Capture", nullptr));
    pw_stream_add_listener(impl.consumer, &impl.consumerListener, &consumerEvents, &impl);
    pw_stream_connect(impl.consumer, PW_DIRECTION_INPUT, PW_ID_ANY, PW_STREAM_FLAG_MAP_BUFFERS, formats, 1);
    pw_thread_loop_unlock(impl.loop);
}

void CaptureClient::stopCapture()
{
    pw_thread_loop_lock(m_impl->loop);
    m_impl->destroyStreams();
    pw_thread_loop_unlock(m_impl->loop);
}
