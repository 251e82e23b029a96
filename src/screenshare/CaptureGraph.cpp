#include "screenshare/CaptureGraph.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <array>

namespace {

// Each compositor names the PipeWire stream it feeds a screen capture into; the names come from the
// stream each one creates with pw_stream_new, which PipeWire uses as the node's "node.name" and
// "media.name" unless the creator sets them itself.
const std::array<CaptureSource, 5> captureSources { {
    // GNOME: Mutter's src/backends/meta-screen-cast-stream-src.c names every screen, window and area
    // stream "meta-screen-cast-src" (media class "Stream/Output/Video").
    { QStringLiteral("meta-screen-cast-src"), QStringLiteral("GNOME") },
    // KDE Plasma: KWin's src/plugins/screencast/screencaststream.cpp names its stream
    // "kwin-screencast-" followed by the output's name, the window's desktop file name or the region.
    { QStringLiteral("kwin-screencast-"), QStringLiteral("KDE Plasma") },
    // wlroots desktops (sway, river, …): xdg-desktop-portal-wlr's src/screencast/pipewire_screencast.c
    // names each stream "xdpw-stream-" and six random characters, media class "Video/Source".
    { QStringLiteral("xdpw-stream-"), QStringLiteral("wlroots") },
    // Hyprland: xdg-desktop-portal-hyprland's src/portals/Screencopy.cpp names each stream
    // "xdph-streaming-" and a random suffix, media class "Video/Source".
    { QStringLiteral("xdph-streaming-"), QStringLiteral("Hyprland") },
    // niri: src/pw_utils.rs creates every cast as "niri-screen-cast-src".
    { QStringLiteral("niri-screen-cast-src"), QStringLiteral("niri") },
} };

// Media classes of a node that produces video for others: a source node, or a stream that outputs.
bool producesVideo(const GraphNode& node)
{
    const QString mediaClass = node.prop(QStringLiteral("media.class"));
    return mediaClass == u"Video/Source" || mediaClass == u"Stream/Output/Video";
}

// KDE's task manager and task switcher show live window thumbnails by consuming KWin window streams
// inside plasmashell; such a link is the desktop looking at itself, not a share, and the consuming
// program is the only thing that tells it apart (the stream is named like any window capture). GNOME,
// the wlroots portals and niri make no such previews. A consumer whose program is unknown counts as a
// share, so the app rather hides once too often than shows during a share.
bool isShellPreview(const GraphNode& consumer, const CaptureGraph& graph)
{
    const QString binaryKey = QStringLiteral("application.process.binary");
    QString binary = consumer.prop(binaryKey);
    if (binary.isEmpty()) {
        bool known = false;
        const uint32_t client = consumer.prop(QStringLiteral("client.id")).toUInt(&known);
        binary = known ? graph.clients.value(client).value(binaryKey) : QString();
    }
    return binary == u"plasmashell";
}

QString stateText(const QJsonValue& value)
{
    return value.isString() ? value.toString() : QString();
}

QHash<QString, QString> propsOf(const QJsonObject& props)
{
    QHash<QString, QString> out;
    for (auto it = props.begin(); it != props.end(); ++it) {
        const QJsonValue value = it.value();
        if (value.isString()) {
            out.insert(it.key(), value.toString());
        } else if (value.isDouble()) {
            out.insert(it.key(), QString::number(value.toDouble()));
        } else if (value.isBool()) {
            out.insert(it.key(), value.toBool() ? QStringLiteral("true") : QStringLiteral("false"));
        }
    }
    return out;
}

} // namespace

std::span<const CaptureSource> knownCaptureSources()
{
    return captureSources;
}

const CaptureSource* captureSourceOf(const GraphNode& node)
{
    if (!producesVideo(node)) {
        return nullptr;
    }
    const QString nodeName = node.prop(QStringLiteral("node.name"));
    const QString mediaName = node.prop(QStringLiteral("media.name"));
    for (const CaptureSource& source : captureSources) {
        if (nodeName.startsWith(source.namePrefix) || mediaName.startsWith(source.namePrefix)) {
            return &source;
        }
    }
    return nullptr;
}

bool isScreenShared(const CaptureGraph& graph)
{
    for (const GraphLink& link : graph.links) {
        // A paused consumer or one still negotiating receives no frames.
        if (link.state != u"active") {
            continue;
        }
        const auto source = graph.nodes.constFind(link.outputNode);
        if (source == graph.nodes.cend() || source->state != u"running" || !captureSourceOf(*source)) {
            continue;
        }
        const auto consumer = graph.nodes.constFind(link.inputNode);
        if (consumer != graph.nodes.cend() && isShellPreview(*consumer, graph)) {
            continue;
        }
        return true;
    }
    return false;
}

Result<CaptureGraph> CaptureGraph::fromPwDump(const QByteArray& json)
{
    QJsonParseError error {};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray()) {
        return fail(QStringLiteral("The registry snapshot is not a JSON array."));
    }
    CaptureGraph graph;
    for (const QJsonValue& value : document.array()) {
        const QJsonObject object = value.toObject();
        const QJsonObject info = object.value(u"info").toObject();
        const auto id = static_cast<uint32_t>(object.value(u"id").toInteger());
        const QString type = object.value(u"type").toString();
        if (type == u"PipeWire:Interface:Node") {
            graph.nodes.insert(
                id, GraphNode { id, stateText(info.value(u"state")), propsOf(info.value(u"props").toObject()) });
        } else if (type == u"PipeWire:Interface:Link") {
            graph.links.insert(id,
                GraphLink { id, static_cast<uint32_t>(info.value(u"output-node-id").toInteger()),
                    static_cast<uint32_t>(info.value(u"input-node-id").toInteger()), stateText(info.value(u"state")) });
        } else if (type == u"PipeWire:Interface:Client") {
            graph.clients.insert(id, propsOf(info.value(u"props").toObject()));
        }
    }
    return graph;
}
