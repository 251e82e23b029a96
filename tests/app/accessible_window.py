#!/usr/bin/python3
"""Reads and drives the app's window the way a screen reader does, through AT-SPI.

    accessible_window.py dump [PID]   prints the accessible tree as JSON lines, one object each
    accessible_window.py press NAME [PID]   performs the default action of the control named NAME

PID picks the app when other processes named Quillora share the accessibility bus (tests in parallel).

Waits up to 20 s for the application to appear on the accessibility bus.
"""
import json
import sys
import time

import pyatspi


def application(pid=None):
    deadline = time.monotonic() + 20
    while time.monotonic() < deadline:
        desktop = pyatspi.Registry.getDesktop(0)
        for index in range(desktop.childCount):
            app = desktop.getChildAtIndex(index)
            if app is None:
                continue
            if pid is not None and app.get_process_id() != pid:
                continue
            if app.name.lower() == "quillora" and app.childCount > 0:
                return app
        time.sleep(0.2)
    sys.exit("accessible_window: no Quillora application on the accessibility bus")


def nodes(root):
    stack = [root]
    while stack:
        node = stack.pop()
        if node is None:
            continue
        yield node
        for index in reversed(range(node.childCount)):
            stack.append(node.getChildAtIndex(index))


def describe(node):
    states = node.getState()
    entry = {
        "role": node.getRoleName(),
        "name": node.name or "",
        "description": node.description or "",
        "showing": states.contains(pyatspi.STATE_SHOWING),
    }
    try:
        text = node.queryText()
        entry["text"] = text.getText(0, -1)
    except NotImplementedError:
        pass
    return entry


def main():
    command = sys.argv[1] if len(sys.argv) > 1 else "dump"
    if command == "dump":
        pid = int(sys.argv[2]) if len(sys.argv) > 2 else None
        for node in nodes(application(pid)):
            print(json.dumps(describe(node)))
        return
    if command == "press":
        name = sys.argv[2]
        pid = int(sys.argv[3]) if len(sys.argv) > 3 else None
        for node in nodes(application(pid)):
            if node.name == name:
                action = node.queryAction()
                names = [action.getName(index).lower() for index in range(action.nActions)]
                for wanted in ("toggle", "press", "click"):
                    if wanted in names:
                        action.doAction(names.index(wanted))
                        return
                sys.exit("accessible_window: %r offers only %r" % (name, names))
        sys.exit("accessible_window: no control named " + repr(name))
    sys.exit(__doc__)


if __name__ == "__main__":
    main()
