#pragma once

#include "common/Error.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <cstdint>
#include <span>

// What the PipeWire registry shows of one node: its state ("creating", "suspended", "idle", "running",
// "error") and the properties that tell who made it and what it carries.
struct GraphNode {
    uint32_t id = 0;
    QString state;
    QHash<QString, QString> props;

    QString prop(const QString& key) const { return props.value(key); }
};

// One link between an output port of one node and an input port of another; `state` is the link's own
// ("init", "negotiating", "allocating", "paused", "active", "error", "unlinked").
struct GraphLink {
    uint32_t id = 0;
    uint32_t outputNode = 0;
    uint32_t inputNode = 0;
    QString state;
};

// The part of the registry that decides whether the screen is being shared, keyed by object id.
struct CaptureGraph {
    QHash<uint32_t, GraphNode> nodes;
    QHash<uint32_t, GraphLink> links;
    // Each client's properties; a node names its client in "client.id".
    QHash<uint32_t, QHash<QString, QString>> clients;

    // Reads the JSON array that `pw-dump` prints; objects other than nodes and links are skipped.
    static Result<CaptureGraph> fromPwDump(const QByteArray& json);
};

// A compositor's screen-capture stream, recognised by how its node or media is named.
struct CaptureSource {
    QString namePrefix; // matched against "node.name" and "media.name"
    QString desktop;
};

// The compositors whose capture streams are known, one entry each.
std::span<const CaptureSource> knownCaptureSources();

// The known capture source that produced `node`, or null when it is none of them (a camera, an
// application's stream, an audio node).
const CaptureSource* captureSourceOf(const GraphNode& node);

// True while a known compositor capture stream is running and linked, with an active link, to a
// consumer other than the desktop shell's own window previews.
bool isScreenShared(const CaptureGraph& graph);
