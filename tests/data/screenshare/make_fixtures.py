#!/usr/bin/env python3
"""Turns the recorded registry snapshots in recorded/ into the fixtures beside this script.

Each recording is what pw-dump printed while tests/screenshare/record_snapshot ran a stand-in capture
(a driving video source stream named after the compositor's, a consumer stream and an active link) on
a private PipeWire daemon. The stand-in runs both streams in one client, so the edits give the source
and the consumer clients of their own and the properties each producer sets; objects other than
clients, nodes, ports and links are dropped to keep the files small.

    python3 tests/data/screenshare/make_fixtures.py
"""
import copy
import json
import pathlib

here = pathlib.Path(__file__).parent
SOURCE, CONSUMER, LINK, CLIENT = 32, 34, 36, 31
PRODUCER_CLIENT, CONSUMER_CLIENT = 80, 81


def load(name):
    objects = json.loads((here / "recorded" / f"{name}.json").read_text())
    kept = [o for o in objects if o["type"].split(":")[-1] in ("Client", "Node", "Port", "Link")]
    return [o for o in kept if o["id"] != CLIENT]


def find(objects, object_id):
    return next(o for o in objects if o["id"] == object_id)


def client(object_id, name, binary):
    return {"id": object_id, "type": "PipeWire:Interface:Client", "version": 3,
            "info": {"props": {"application.name": name, "application.process.binary": binary,
                               "object.id": object_id}}}


def shaped(recording, producer, media_class=None, consumer=("Firefox", "firefox")):
    objects = load(recording)
    source = find(objects, SOURCE)["info"]["props"]
    source["node.name"] = producer
    source["client.id"] = PRODUCER_CLIENT
    if media_class:
        source["media.class"] = media_class
    sink = find(objects, CONSUMER)["info"]["props"]
    sink["node.name"] = consumer[0]
    sink["client.id"] = CONSUMER_CLIENT
    objects += [client(PRODUCER_CLIENT, producer, producer), client(CONSUMER_CLIENT, *consumer)]
    return objects


def write(name, objects):
    (here / f"{name}.json").write_text(json.dumps(objects, indent=1) + "\n")


# Mutter leaves the media class to PipeWire ("Stream/Output/Video"); the portals set "Video/Source".
gnome = shaped("meta-screen-cast-src", "gnome-shell")
write("gnome", gnome)
write("kde", shaped("kwin-screencast-DP-1", "kwin_wayland", consumer=("Chromium", "chrome")))
write("wlroots", shaped("xdpw-stream-k3v9qa", "xdg-desktop-portal-wlr", "Video/Source"))
write("hyprland", shaped("xdph-streaming-718498", "xdg-desktop-portal-hyprland", "Video/Source"))
write("niri", shaped("niri-screen-cast-src", "niri"))

# The consumer paused the stream: the link stays, nothing runs.
paused = copy.deepcopy(gnome)
find(paused, SOURCE)["info"]["state"] = "idle"
find(paused, CONSUMER)["info"]["state"] = "idle"
find(paused, LINK)["info"]["state"] = "paused"
write("paused", paused)

# The portal made the stream but no application took it yet; the driver runs on its own.
write("no-consumer", [o for o in gnome
                      if o["id"] not in (CONSUMER, LINK) and o["info"].get("props", {}).get("node.id") != CONSUMER])

# Still negotiating formats: no frame has gone out yet.
negotiating = copy.deepcopy(gnome)
find(negotiating, LINK)["info"]["state"] = "negotiating"
write("negotiating", negotiating)

# A webcam in a call: a video source that is no compositor's.
camera = shaped("v4l2_input.pci-0000_00_14.0", "v4l2_input.pci-0000_00_14.0.usb-0000_00_14.0-4_1.0",
                "Video/Source")
props = find(camera, SOURCE)["info"]["props"]
props.pop("media.name")
props.update({"device.api": "v4l2", "media.role": "Camera", "node.description": "Integrated Camera"})
write("camera", camera)

# A browser playing sound into the speakers: audio only.
audio = shaped("meta-screen-cast-src", "Firefox", "Stream/Output/Audio")
find(audio, SOURCE)["info"]["props"]["media.name"] = "AudioStream"
find(audio, CONSUMER)["info"]["props"].update({"media.class": "Audio/Sink", "media.name": "callout"})
write("audio-only", audio)

# Plasma's task bar tooltip showing a live thumbnail of a window: plasmashell consumes KWin's stream.
write("kde-taskbar-preview", shaped("kwin-screencast-org.kde.dolphin", "kwin_wayland",
                                    consumer=("plasmashell", "plasmashell")))
