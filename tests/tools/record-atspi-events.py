#!/usr/bin/python3
"""Prints the AT-SPI events of one application, one line each, for the menu and text-selection events
Quoddle's Linux backend interprets.

    record-atspi-events.py (--pid PID | --name NAME) [--output FILE] [--events TYPE,...] [--all]

Each event line is

    <ms since start> <event type> <detail1> <detail2> <role>:"<name>" < <parent> < ... < <menu bar or application>

where a parent is written <role>:"<name>", or <role> alone when it has no name. Names are trimmed. Lines
beginning with '#' are comments: the recorder writes a header ("# recording ...", then "# listening ..." once
events are sure to be delivered), and every line read from standard input that
begins with '#' is copied into the output where it arrives, so a driver can mark the input it sends
("# input key Return"); "# input" lines get the arrival time appended as "(t=<ms>)". The line "quit" on
standard input, the end of standard input when it is a pipe, SIGINT or SIGTERM end the recording.

Needs the system Python (python3-gi with the Atspi typelib).
"""

import argparse
import os
import signal
import stat
import sys
import time
import warnings

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402

# Many Atspi getters are flagged deprecated in favour of interface methods that do the same.
warnings.filterwarnings("ignore", category=DeprecationWarning)

MENU_EVENTS = [
    "object:state-changed:selected",
    "object:state-changed:focused",
    "object:state-changed:showing",
    "object:state-changed:visible",
    "object:state-changed:active",
    "object:state-changed:armed",
    "object:state-changed:expanded",
    "object:state-changed:checked",
    "object:selection-changed",
    "object:text-selection-changed",
    "focus:",
    "window:activate",
    "window:deactivate",
    "window:create",
    "window:destroy",
]
# For exploring what a toolkit sends at all.
ALL_EVENTS = ["object:", "window:", "focus:"]

# Below these the path of an event's source is not interesting.
PATH_ENDS = {Atspi.Role.MENU_BAR, Atspi.Role.APPLICATION}


def quote(text):
    text = (text or "").strip()
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"').replace("\n", "\\n") + '"'


def describe(accessible, always_name):
    try:
        role = accessible.get_role_name()
        name = accessible.get_name()
    except GLib.Error:
        return "(gone)"
    if not always_name and not (name or "").strip():
        return role
    return f"{role}:{quote(name)}"


def parent_path(accessible):
    parts = []
    node = accessible
    for _ in range(40):
        try:
            if node.get_role() in PATH_ENDS:
                break
            node = node.get_parent()
        except GLib.Error:
            parts.append("(gone)")
            break
        if node is None:
            break
        parts.append(describe(node, False))
    return parts


def find_application(pid, name, seconds):
    deadline = time.monotonic() + seconds
    while True:
        desktop = Atspi.get_desktop(0)
        for i in range(desktop.get_child_count()):
            app = desktop.get_child_at_index(i)
            if app is None:
                continue
            try:
                if (pid is not None and app.get_process_id() == pid) or (name is not None and app.get_name() == name):
                    return app
            except GLib.Error:
                continue
        if time.monotonic() > deadline:
            return None
        time.sleep(0.05)


class Recorder:
    def __init__(self, app, out, event_types):
        self.app = app
        self.pid = app.get_process_id()
        self.out = out
        self.start_us = GLib.get_monotonic_time()
        self.loop = GLib.MainLoop()
        self.pending = ""
        # libatspi keeps one object per application, so the pid is asked once per application.
        self.pids = {}
        self.listener = Atspi.EventListener.new(self.on_event)
        self.event_types = event_types

    def ms(self):
        return (GLib.get_monotonic_time() - self.start_us) // 1000

    def write(self, line):
        self.out.write(line + "\n")
        self.out.flush()

    def belongs(self, source):
        try:
            app = source.get_application()
        except GLib.Error:
            return False
        if app is None:
            return False
        if app not in self.pids:
            try:
                self.pids[app] = app.get_process_id()
            except GLib.Error:
                return False
        return self.pids[app] == self.pid

    def on_event(self, event):
        stamp = self.ms()
        source = event.source
        if source is None or not self.belongs(source):
            return
        fields = [str(stamp), event.type, str(event.detail1), str(event.detail2), describe(source, True)]
        line = " ".join(fields)
        path = parent_path(source)
        if path:
            line += " < " + " < ".join(path)
        self.write(line)

    def on_input(self, channel, condition):
        if condition & GLib.IOCondition.IN:
            data = os.read(channel.unix_get_fd(), 65536)
            if data:
                self.pending += data.decode("utf-8", "replace")
                while "\n" in self.pending:
                    line, self.pending = self.pending.split("\n", 1)
                    if line.strip() == "quit":
                        self.loop.quit()
                        return False
                    if line.startswith("# input"):
                        self.write(f"{line} (t={self.ms()})")
                    elif line.startswith("#"):
                        self.write(line)
                return True
        # End of input on a pipe means the driver is gone; a file or /dev/null has simply been read.
        if stat.S_ISFIFO(os.fstat(channel.unix_get_fd()).st_mode):
            self.loop.quit()
        return False

    def run(self, read_stdin):
        self.write(f"# recording application:{quote(self.app.get_name())} pid {self.pid}")
        for event_type in self.event_types:
            self.listener.register(event_type)
        # An application sends an event only once it has heard from the registry that someone listens. A call
        # the application answers itself (its toolkit name is not cached yet) comes back after that, so input
        # may start once the next line is out.
        toolkit = f"{self.app.get_toolkit_name()} {self.app.get_toolkit_version()}"
        self.write(f"# listening toolkit {toolkit}")
        if read_stdin:
            channel = GLib.IOChannel.unix_new(sys.stdin.fileno())
            GLib.io_add_watch(channel, GLib.PRIORITY_DEFAULT, GLib.IOCondition.IN | GLib.IOCondition.HUP,
                              self.on_input)
        for signum in (signal.SIGINT, signal.SIGTERM):
            GLib.unix_signal_add(GLib.PRIORITY_HIGH, signum, self.stop)
        self.loop.run()
        for event_type in self.event_types:
            self.listener.deregister(event_type)

    def stop(self):
        self.loop.quit()
        return GLib.SOURCE_REMOVE


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    which = parser.add_mutually_exclusive_group(required=True)
    which.add_argument("--pid", type=int, help="the application's process id")
    which.add_argument("--name", help="the application's AT-SPI name")
    parser.add_argument("--output", help="write here instead of standard output")
    parser.add_argument("--events", help="comma-separated event types instead of the menu and selection set")
    parser.add_argument("--all", action="store_true", help="every object:, window: and focus: event")
    parser.add_argument("--wait", type=float, default=15.0, help="seconds to wait for the application")
    args = parser.parse_args()

    # A hung application must not stall the recorder.
    Atspi.set_timeout(1000, 5000)
    app = find_application(args.pid, args.name, args.wait)
    if app is None:
        print(f"record-atspi-events: no application {args.pid or args.name!r} on the AT-SPI bus", file=sys.stderr)
        return 1
    if args.all:
        event_types = ALL_EVENTS
    elif args.events:
        event_types = [t.strip() for t in args.events.split(",") if t.strip()]
    else:
        event_types = MENU_EVENTS
    out = open(args.output, "w", encoding="utf-8") if args.output else sys.stdout
    # Comment lines typed on a terminal land in the output too.
    read_stdin = sys.stdin is not None and not sys.stdin.closed
    Recorder(app, out, event_types).run(read_stdin)
    if out is not sys.stdout:
        out.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
