#include "screenshare/ScreenShareWatcher.h"

#include "screenshare/CaptureGraph.h"

#include <QLoggingCategory>
#include <QMetaObject>

#include <pipewire/pipewire.h>

#include <atomic>
#include <cerrno>
#include <unordered_map>

namespace {

Q_LOGGING_CATEGORY(lcScreenShare, "Vessaro.Quillora.screenshare")

QHash<QString, QString> propsOf(const spa_dict* dict)
{
    QHash<QString, QString> props;
    if (dict) {
        const spa_dict_item* item = nullptr;
        spa_dict_for_each(item, dict)
        {
            props.insert(QString::fromUtf8(item->key), QString::fromUtf8(item->value));
        }
    }
    return props;
}

} // namespace

// Everything here but the constructor, connect() and the destructor runs on PipeWire's loop thread.
class ScreenShareWatcher::Loop {
public:
    explicit Loop(ScreenShareWatcher* owner)
        : m_owner(owner)
    {
        pw_init(nullptr, nullptr);
        m_loop = pw_thread_loop_new("quillora-pw", nullptr);
    }

    ~Loop()
    {
        if (m_loop) {
            pw_thread_loop_stop(m_loop);
        }
        // The thread has stopped: no callback runs while the objects go.
        for (auto& [id, bound] : m_bound) {
            spa_hook_remove(&bound.objectListener);
            pw_proxy_destroy(bound.proxy);
        }
        m_bound.clear();
        if (m_registry) {
            spa_hook_remove(&m_registryListener);
            pw_proxy_destroy(reinterpret_cast<pw_proxy*>(m_registry));
        }
        if (m_core) {
            spa_hook_remove(&m_coreListener);
            pw_core_disconnect(m_core);
        }
        if (m_context) {
            pw_context_destroy(m_context);
        }
        if (m_loop) {
            pw_thread_loop_destroy(m_loop);
        }
        pw_deinit();
    }

    // Connects and starts the loop thread; false when no daemon answers.
    bool connect()
    {
        if (!m_loop) {
            return false;
        }
        m_context = pw_context_new(pw_thread_loop_get_loop(m_loop), nullptr, 0);
        if (!m_context) {
            return false;
        }
        m_core = pw_context_connect(m_context, nullptr, 0);
        if (!m_core) {
            qCInfo(lcScreenShare, "No PipeWire daemon: %s", strerror(errno));
            return false;
        }
        static const pw_core_events coreEvents = [] {
            pw_core_events events {};
            events.version = PW_VERSION_CORE_EVENTS;
            events.error = [](void* data, uint32_t id, int, int res, const char* message) {
                // A broken connection to the daemon ends the watch; other errors concern single objects.
                if (id == PW_ID_CORE && res == -EPIPE) {
                    qCWarning(lcScreenShare, "PipeWire went away: %s", message);
                    static_cast<Loop*>(data)->lost();
                }
            };
            return events;
        }();
        pw_core_add_listener(m_core, &m_coreListener, &coreEvents, this);
        m_registry = pw_core_get_registry(m_core, PW_VERSION_REGISTRY, 0);
        static const pw_registry_events registryEvents = [] {
            pw_registry_events events {};
            events.version = PW_VERSION_REGISTRY_EVENTS;
            events.global = [](void* data, uint32_t id, uint32_t, const char* type, uint32_t, const spa_dict*) {
                static_cast<Loop*>(data)->added(id, type);
            };
            events.global_remove = [](void* data, uint32_t id) { static_cast<Loop*>(data)->removed(id); };
            return events;
        }();
        pw_registry_add_listener(m_registry, &m_registryListener, &registryEvents, this);
        return pw_thread_loop_start(m_loop) == 0;
    }

    // True once the daemon went away; read from the owner's thread.
    bool isLost() const { return m_lost; }

private:
    struct Bound {
        pw_proxy* proxy = nullptr;
        spa_hook objectListener {};
        Loop* loop = nullptr;
        uint32_t id = 0;
    };

    void added(uint32_t id, const char* type)
    {
        const bool node = spa_streq(type, PW_TYPE_INTERFACE_Node);
        const bool link = spa_streq(type, PW_TYPE_INTERFACE_Link);
        const bool client = spa_streq(type, PW_TYPE_INTERFACE_Client);
        if (!node && !link && !client) {
            return;
        }
        // The registry's own properties lack a node's state, a link's ends and a client's program:
        // binding gives the full info.
        const uint32_t version = node ? PW_VERSION_NODE : link ? PW_VERSION_LINK : PW_VERSION_CLIENT;
        auto* proxy = static_cast<pw_proxy*>(pw_registry_bind(m_registry, id, type, version, 0));
        if (!proxy) {
            return;
        }
        auto [it, inserted] = m_bound.try_emplace(id);
        if (!inserted) {
            spa_hook_remove(&it->second.objectListener);
            pw_proxy_destroy(it->second.proxy);
            it->second = Bound {};
        }
        Bound& bound = it->second;
        bound.proxy = proxy;
        bound.loop = this;
        bound.id = id;
        if (node) {
            static const pw_node_events nodeEvents = [] {
                pw_node_events events {};
                events.version = PW_VERSION_NODE_EVENTS;
                events.info = [](void* data, const pw_node_info* info) {
                    auto* bound = static_cast<Bound*>(data);
                    bound->loop->nodeInfo(bound->id, info);
                };
                return events;
            }();
            pw_proxy_add_object_listener(proxy, &bound.objectListener, &nodeEvents, &bound);
        } else if (client) {
            static const pw_client_events clientEvents = [] {
                pw_client_events events {};
                events.version = PW_VERSION_CLIENT_EVENTS;
                events.info = [](void* data, const pw_client_info* info) {
                    auto* bound = static_cast<Bound*>(data);
                    bound->loop->clientInfo(bound->id, info);
                };
                return events;
            }();
            pw_proxy_add_object_listener(proxy, &bound.objectListener, &clientEvents, &bound);
        } else {
            static const pw_link_events linkEvents = [] {
                pw_link_events events {};
                events.version = PW_VERSION_LINK_EVENTS;
                events.info = [](void* data, const pw_link_info* info) {
                    auto* bound = static_cast<Bound*>(data);
                    bound->loop->linkInfo(bound->id, info);
                };
                return events;
            }();
            pw_proxy_add_object_listener(proxy, &bound.objectListener, &linkEvents, &bound);
        }
    }

    void removed(uint32_t id)
    {
        if (auto it = m_bound.find(id); it != m_bound.end()) {
            spa_hook_remove(&it->second.objectListener);
            pw_proxy_destroy(it->second.proxy);
            m_bound.erase(it);
        }
        m_graph.nodes.remove(id);
        m_graph.links.remove(id);
        m_graph.clients.remove(id);
        classify();
    }

    void nodeInfo(uint32_t id, const pw_node_info* info)
    {
        GraphNode& node = m_graph.nodes[id];
        node.id = id;
        if (info->change_mask & PW_NODE_CHANGE_MASK_STATE) {
            node.state = QString::fromUtf8(pw_node_state_as_string(info->state));
        }
        if (info->change_mask & PW_NODE_CHANGE_MASK_PROPS) {
            node.props = propsOf(info->props);
        }
        classify();
    }

    void linkInfo(uint32_t id, const pw_link_info* info)
    {
        GraphLink& link = m_graph.links[id];
        link.id = id;
        link.outputNode = info->output_node_id;
        link.inputNode = info->input_node_id;
        if (info->change_mask & PW_LINK_CHANGE_MASK_STATE) {
            link.state = QString::fromUtf8(pw_link_state_as_string(info->state));
        }
        classify();
    }

    void clientInfo(uint32_t id, const pw_client_info* info)
    {
        if (info->change_mask & PW_CLIENT_CHANGE_MASK_PROPS) {
            m_graph.clients[id] = propsOf(info->props);
            classify();
        }
    }

    // Only a change of the outcome crosses to the owner's thread.
    void classify()
    {
        const bool sharing = isScreenShared(m_graph);
        if (sharing != m_sharing) {
            m_sharing = sharing;
            QMetaObject::invokeMethod(
                m_owner, [owner = m_owner, sharing] { owner->setSharing(sharing); }, Qt::QueuedConnection);
        }
    }

    void lost()
    {
        m_lost = true;
        m_graph = {};
        m_sharing = false;
        QMetaObject::invokeMethod(
            m_owner,
            [owner = m_owner] {
                owner->setSharing(false);
                owner->setAvailable(false);
            },
            Qt::QueuedConnection);
    }

    ScreenShareWatcher* const m_owner;
    pw_thread_loop* m_loop = nullptr;
    pw_context* m_context = nullptr;
    pw_core* m_core = nullptr;
    spa_hook m_coreListener {};
    pw_registry* m_registry = nullptr;
    spa_hook m_registryListener {};
    std::unordered_map<uint32_t, Bound> m_bound;
    CaptureGraph m_graph;
    bool m_sharing = false;
    std::atomic<bool> m_lost = false;
};

ScreenShareWatcher::ScreenShareWatcher(QObject* parent)
    : QObject(parent)
{
}

ScreenShareWatcher::~ScreenShareWatcher()
{
    // No PipeWire thread may still report to this object once it goes.
    if (m_connecting.joinable()) {
        m_connecting.join();
    }
    m_connected.reset();
    m_loop.reset();
}

bool ScreenShareWatcher::isX11OnlySession(const QProcessEnvironment& environment)
{
    const QString type = environment.value(QStringLiteral("XDG_SESSION_TYPE"));
    if (!type.isEmpty()) {
        return type == u"x11";
    }
    // Without a session type, a display and no Wayland socket mean a plain X server.
    return environment.contains(QStringLiteral("DISPLAY")) && !environment.contains(QStringLiteral("WAYLAND_DISPLAY"));
}

void ScreenShareWatcher::start(const QProcessEnvironment& environment)
{
    if (m_started) {
        return;
    }
    m_started = true;
    if (isX11OnlySession(environment)) {
        qCInfo(lcScreenShare, "X11 session: screen captures do not show in PipeWire");
        QMetaObject::invokeMethod(
            this, [this] { finishStart(false); }, Qt::QueuedConnection);
        return;
    }
    // PipeWire's set-up reads its configuration and loads its plugins, several milliseconds that the
    // window's thread does not wait for.
    m_connecting = std::thread([this] {
        auto loop = std::make_unique<Loop>(this);
        const bool connected = loop->connect();
        if (connected) {
            m_connected = std::move(loop);
        }
        QMetaObject::invokeMethod(
            this, [this, connected] { finishStart(connected); }, Qt::QueuedConnection);
    });
}

void ScreenShareWatcher::finishStart(bool connected)
{
    if (m_connecting.joinable()) {
        m_connecting.join();
    }
    m_loop = std::move(m_connected);
    // The daemon may already have gone again; its report then came first.
    if (connected && !m_loop->isLost()) {
        setAvailable(true);
    }
    Q_EMIT started(m_available);
}

void ScreenShareWatcher::setAvailable(bool available)
{
    if (m_available != available) {
        m_available = available;
        Q_EMIT availableChanged(available);
    }
}

void ScreenShareWatcher::setSharing(bool sharing)
{
    if (m_sharing != sharing) {
        m_sharing = sharing;
        Q_EMIT sharingChanged(sharing);
    }
}
