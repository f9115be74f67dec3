#!/usr/bin/python3
"""Records the menu fixtures in tests/platform/linux/fixtures/: real AT-SPI event sequences of GTK 3 and Qt 6
applications while a menu item is chosen, or the menus are dismissed, by mouse, keyboard, mnemonic or an
accessibility action. Input goes through xdotool (XTest); events are taken by record-atspi-events.py in a
process of its own, so their times are not distorted by the driver's own calls.

    scripts/desktop-session tests/tools/record-menu-fixtures.py [--build DIR] [--out DIR] [TARGET-SEQUENCE...]

With no names every fixture is recorded; a name is e.g. gtk-services-by-mouse, or a prefix such as qt or
mousepad-convert.
Each step waits for what it causes (a menu shown, an item highlighted, the menus closed, the application's
report of the service it ran), and a recording ends once no event has come for a while.
"""

import argparse
import os
import subprocess
import sys
import threading
import time
import warnings

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402

warnings.filterwarnings("ignore", category=DeprecationWarning)

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
RECORDER = os.path.join(HERE, "record-atspi-events.py")

ENTRY_TEXT = "the quick brown fox"
VIEW_TEXT = "alpha beta gamma delta\nepsilon zeta eta theta\niota kappa lambda mu\n"
SELECTED_WORDS = "beta gamma"

# How long a recording must have been quiet before it is taken as complete, and the longest any step waits.
QUIET_MS = 600
STEP_SECONDS = 8.0


class Failure(Exception):
    pass


def log(message):
    print(f"record-menu-fixtures: {message}", file=sys.stderr, flush=True)


def wait_until(what, condition, seconds=STEP_SECONDS):
    deadline = time.monotonic() + seconds
    while True:
        try:
            value = condition()
        except GLib.Error:
            value = None
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure(f"timed out waiting for {what}")
        time.sleep(0.02)


def xdotool(*args):
    if subprocess.run(["xdotool", *args]).returncode != 0:
        raise Failure(f"xdotool {' '.join(args)} failed")


def clean(name):
    return (name or "").strip()


def quote(text):
    return '"' + clean(text).replace("\\", "\\\\").replace('"', '\\"') + '"'


def label(obj):
    return f"{obj.get_role_name()}:{quote(obj.get_name())}"


def states(obj):
    return obj.get_state_set()


def has_state(obj, state):
    try:
        return states(obj).contains(state)
    except GLib.Error:
        return False


def children(obj):
    result = []
    for i in range(obj.get_child_count()):
        child = obj.get_child_at_index(i)
        if child is not None:
            result.append(child)
    return result


def walk(obj):
    yield obj
    for child in children(obj):
        yield from walk(child)


def extents(obj):
    box = obj.get_component_iface().get_extents(Atspi.CoordType.SCREEN)
    return box.x, box.y, box.width, box.height


def centre(obj):
    x, y, w, h = extents(obj)
    return x + w // 2, y + h // 2


def is_open(menu):
    """A GTK menu shows its items, a Qt menu item shows its popup menu."""
    return any(has_state(child, Atspi.StateType.SHOWING) for child in children(menu))


def items_of(menu):
    """The entries of a menu: GTK puts them under the menu, Qt under a popup menu below the item."""
    kids = children(menu)
    if len(kids) == 1 and kids[0].get_role() == Atspi.Role.POPUP_MENU:
        kids = children(kids[0])
    return kids


def highlighted(obj):
    # GTK marks the highlighted entry selected, Qt gives it the focus.
    return has_state(obj, Atspi.StateType.SELECTED) or has_state(obj, Atspi.StateType.FOCUSED)


def mnemonic(item):
    """The item's mnemonic letter, from its key binding (GTK "u;<Alt>e:s:u;", Qt "Alt+U")."""
    binding = item.get_action_iface().get_key_binding(0)
    first = binding.split(";")[0]
    key = first.split("+")[-1] if "+" in first else first
    if len(key) != 1:
        raise Failure(f"no mnemonic in {binding!r}")
    return key.lower()


def highlighted_item(menu):
    for item in items_of(menu):
        if highlighted(item):
            return item
    return None


class App:
    def __init__(self, target):
        self.target = target
        self.lines = []
        env = dict(os.environ)
        self.proc = subprocess.Popen(target.argv, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True,
                                     env=env)
        threading.Thread(target=self._read, daemon=True).start()
        self.accessible = wait_until(f"{target.name} on the AT-SPI bus", self._find, 20)
        self.window = wait_until(f"a window of {target.name}", self._window, 20)
        log(f"{target.name}: pid {self.proc.pid}, window {self.window}")

    def _read(self):
        for line in self.proc.stdout:
            self.lines.append(line.rstrip("\n"))

    def _find(self):
        desktop = Atspi.get_desktop(0)
        for i in range(desktop.get_child_count()):
            app = desktop.get_child_at_index(i)
            if app is not None and app.get_process_id() == self.proc.pid:
                # The tree is complete once the menu bar is there.
                if any(o.get_role() == Atspi.Role.MENU_BAR for o in walk(app)):
                    return app
        return None

    def _window(self):
        out = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(self.proc.pid)],
                             capture_output=True, text=True).stdout.split()
        for wid in out:
            name = subprocess.run(["xdotool", "getwindowname", wid], capture_output=True, text=True).stdout
            if clean(name) == clean(self.frame().get_name()):
                return wid
        return None

    def frame(self):
        return next(o for o in children(self.accessible) if o.get_role() == Atspi.Role.FRAME)

    def menu_bar(self):
        return next(o for o in walk(self.accessible) if o.get_role() == Atspi.Role.MENU_BAR)

    def find_path(self, names):
        node = self.menu_bar()
        path = []
        for name in names:
            found = None
            for candidate in items_of(node) if path else children(node):
                if clean(candidate.get_name()) == name:
                    found = candidate
                    break
            if found is None:
                raise Failure(f"no menu entry {name!r} under {label(node)}")
            path.append(found)
            node = found
        return path

    def text_widgets(self):
        texts = [o for o in walk(self.frame()) if o.get_editable_text_iface() is not None]
        view = next((o for o in texts if has_state(o, Atspi.StateType.MULTI_LINE)), None)
        entry = next((o for o in texts if not has_state(o, Atspi.StateType.MULTI_LINE)), None)
        return entry, view

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()


class Recording:
    """record-atspi-events.py for one application, fed the driver's comment lines on its standard input."""

    def __init__(self, pid):
        self.lines = []
        self.last = time.monotonic()
        self.proc = subprocess.Popen(["/usr/bin/python3", RECORDER, "--pid", str(pid)], stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, text=True, bufsize=1)
        threading.Thread(target=self._read, daemon=True).start()
        wait_until("the recorder", lambda: any(line.startswith("# listening") for line in self.lines))

    def _read(self):
        for line in self.proc.stdout:
            self.lines.append(line.rstrip("\n"))
            self.last = time.monotonic()

    def comment(self, text):
        line = f"# {text}"
        count = len(self.lines)
        self.proc.stdin.write(line + "\n")
        self.proc.stdin.flush()
        # The input is sent only once the recorder has put the mark in its output, so the mark comes first.
        wait_until(f"the recorder to note {line!r}", lambda: any(l.startswith(line) for l in self.lines[count:]))

    def wait_quiet(self, quiet_ms=QUIET_MS, seconds=15.0):
        wait_until("the events to end", lambda: (time.monotonic() - self.last) * 1000 >= quiet_ms, seconds)

    def stop(self):
        self.proc.stdin.write("quit\n")
        self.proc.stdin.flush()
        self.proc.stdin.close()
        try:
            self.proc.wait(10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        return list(self.lines)


class Target:
    def __init__(self, name, stem, argv, toolkit, path, keyboard_leaf, sequences, reports_service):
        self.name = name
        self.stem = stem  # fixture files are <stem>-<sequence>.events
        self.argv = argv
        self.toolkit = toolkit
        self.path = path  # top menu, submenu, item chosen by mouse
        self.keyboard_leaf = keyboard_leaf  # the item chosen by keyboard (one Down below the first)
        self.sequences = sequences
        self.reports_service = reports_service


def targets(build, document):
    sample_seq = ["by-mouse", "by-keyboard", "by-mnemonic", "by-mnemonic-not-first", "cancel-escape",
                  "cancel-click-outside", "by-action"]
    sample_args = ["--entry-text", ENTRY_TEXT, "--view-text", VIEW_TEXT]
    path = ["Edit", "Services", "Make Upper Case"]
    return {
        "gtk": Target("gtk", "gtk-services", [os.path.join(build, "quoddle-gtk-sample"), *sample_args], "gtk", path,
                      "Make Lower Case", sample_seq, True),
        "qt": Target("qt", "qt-services", [os.path.join(build, "quoddle-qt-sample"), *sample_args], "qt", path,
                     "Make Lower Case", sample_seq, True),
        "mousepad": Target("mousepad", "mousepad-submenu", ["mousepad", "--disable-server", document], "gtk",
                           ["File", "Open Recent", "*first"], "Clear History", ["by-mouse", "by-keyboard"], False),
        "mousepad-convert": Target("mousepad", "mousepad-convert", ["mousepad", "--disable-server", document], "gtk",
                                   ["Edit", "Convert", "To Uppercase"], "To Title Case", ["by-mouse", "by-keyboard"],
                                   False),
        "assistant": Target("assistant", "assistant-submenu", ["/usr/lib/qt6/bin/assistant"], "qt",
                            ["View", "Toolbars", "Filter Toolbar"], "Address Toolbar", ["by-mouse", "by-keyboard"],
                            False),
    }


DESCRIPTIONS = {
    "by-mouse": "open {0} with a click on the menu bar, move to {1}, move onto {2}, click it",
    "by-keyboard": "{kbd} to open {0}, Down to {1}, Right, Down to {3}, Return",
    "by-mnemonic": "Alt+E, S, U: the mnemonics of {0}, {1} and {2}",
    "by-mnemonic-not-first": "Alt+E, S, L: the mnemonics of {0}, {1} and {3}, which is not the first item",
    "cancel-escape": "open {0} with a click, move to {1} and onto {2}, then Escape until every menu is closed "
    "and the menu bar has let go",
    "cancel-click-outside": "open {0} with a click, move to {1} and onto {2}, then click in the text view "
    "outside the menus",
    "by-action": "Atspi.Action.do_action on {2} while every menu is closed (what a program's own press does)",
}


class Session:
    def __init__(self, target, app):
        self.target = target
        self.app = app
        self.rec = None
        self.top, self.sub = app.find_path(target.path[:2])
        self.leaf = self.kbd_leaf = None

    def refresh_leaves(self):
        """Some menus (GTK's recent-files menu) make new items each time they open."""
        self.leaf, self.kbd_leaf = (self.resolve(name) for name in self.leaf_names)

    def resolve(self, name):
        """An item of the submenu by name; "*first" is its first usable item (some menus are filled in only
        when they open)."""
        for item in items_of(self.sub):
            if name == "*first":
                action = item.get_action_iface()
                if action and action.get_n_actions() and has_state(item, Atspi.StateType.SENSITIVE):
                    return item
            elif clean(item.get_name()) == name:
                return item
        raise Failure(f"no item {name!r} in {label(self.sub)}")

    # Input, each marked in the recording first.
    def move(self, x, y):
        self.rec.comment(f"input motion to {x},{y}")
        xdotool("mousemove", str(x), str(y))

    def press(self, x, y):
        self.rec.comment(f"input button-press 1 at {x},{y}")
        xdotool("mousedown", "1")

    def release(self, x, y):
        self.rec.comment(f"input button-release 1 at {x},{y}")
        xdotool("mouseup", "1")

    def key(self, keysym):
        self.rec.comment(f"input key {keysym}")
        xdotool("key", keysym)

    def all_closed(self):
        return not is_open(self.top) and not is_open(self.sub)

    def leave_menus(self):
        """Closes every menu and takes the menu bar out of keyboard navigation (Qt keeps a menu-bar item
        focused after Escape closed its menu)."""
        for _ in range(8):
            bar_items = children(self.app.menu_bar())
            if self.all_closed() and not any(has_state(i, Atspi.StateType.FOCUSED) for i in bar_items):
                return
            before = (is_open(self.top), is_open(self.sub), [highlighted(i) for i in bar_items])
            xdotool("key", "Escape")
            wait_until("Escape to take effect",
                       lambda: (is_open(self.top), is_open(self.sub), [highlighted(i) for i in bar_items]) != before)
        raise Failure("the menus stay open")

    def prepare(self):
        """Focus the text view with a known selection and leave the pointer off the window."""
        self.leave_menus()
        xdotool("windowactivate", "--sync", self.app.window)
        entry, view = self.app.text_widgets()
        if view is not None and self.target.reports_service:
            text = view.get_text_iface()
            view.get_component_iface().grab_focus()
            wait_until("focus in the text view", lambda: has_state(view, Atspi.StateType.FOCUSED))
            content = text.get_text(0, text.get_character_count())
            if SELECTED_WORDS in content.lower():
                start = content.lower().index(SELECTED_WORDS)
                end = start + len(SELECTED_WORDS)
                if text.get_n_selections() > 0:
                    text.set_selection(0, start, end)
                else:
                    text.add_selection(start, end)
                wait_until("the selection", lambda: text.get_n_selections() == 1)
        x, y, w, h = extents(self.app.frame())
        xdotool("mousemove", str(min(x + w + 40, 1430)), str(min(y + h + 40, 890)))

    def survey(self):
        """Opens the menus once to learn where everything is while shown, then closes them again."""
        self.prepare()
        xdotool("mousemove", *map(str, centre(self.top)))
        xdotool("click", "1")
        wait_until(f"{label(self.top)} to open", lambda: is_open(self.top))
        xdotool("mousemove", *map(str, centre(self.sub)))
        wait_until(f"{label(self.sub)} to open", lambda: is_open(self.sub))
        self.leaf = self.resolve(self.target.path[2])
        self.kbd_leaf = self.resolve(self.target.keyboard_leaf)
        self.leaf_names = clean(self.leaf.get_name()), clean(self.kbd_leaf.get_name())
        wait_until("the items' places", lambda: extents(self.leaf)[2] > 1 and extents(self.leaf)[0] > -100000)
        self.places = {}
        for obj in [self.top, self.sub, self.leaf, self.kbd_leaf]:
            self.places[label(obj)] = extents(obj)
        # Where each open menu's popup lies: Qt exposes the popup menu; GTK's popup windows are not in the tree
        # (they turn up only as the parentless sources of events), so take the union of the shown items.
        self.popups = []
        for menu in (self.top, self.sub):
            kids = children(menu)
            if len(kids) == 1 and kids[0].get_role() == Atspi.Role.POPUP_MENU:
                box = extents(kids[0])
            else:
                boxes = [extents(k) for k in kids if has_state(k, Atspi.StateType.SHOWING)]
                left, top = min(b[0] for b in boxes), min(b[1] for b in boxes)
                right, bottom = max(b[0] + b[2] for b in boxes), max(b[1] + b[3] for b in boxes)
                box = (left, top, right - left, bottom - top)
            self.popups.append((label(menu), box))
        self.prepare()

    def fixture_name(self, sequence):
        return f"{self.target.stem}-{sequence}"

    def header(self, sequence):
        names = [quote(o.get_name()) for o in (self.top, self.sub, self.leaf, self.kbd_leaf)]
        kbd = "F10" if self.target.toolkit == "gtk" else f"Alt+{clean(self.top.get_name())[0]}"
        lines = [f"# fixture {self.fixture_name(sequence)}: " + DESCRIPTIONS[sequence].format(*names, kbd=kbd)]
        for obj in [self.top, self.sub, self.leaf, self.kbd_leaf]:
            x, y, w, h = self.places[label(obj)]
            lines.append(f"# extents {label(obj)} {x} {y} {w} {h}")
        for name, (x, y, w, h) in self.popups:
            lines.append(f"# popup {name} {x} {y} {w} {h}")
        seen = set()
        for obj in [self.top, self.sub, self.leaf, self.kbd_leaf]:
            if label(obj) in seen:
                continue
            seen.add(label(obj))
            action = obj.get_action_iface()
            names = [action.get_action_name(i) for i in range(action.get_n_actions())] if action else []
            binding = action.get_key_binding(0) if action and action.get_n_actions() else ""
            lines.append(f"# actions {label(obj)} " + " ".join(f'"{n}"' for n in names))
            lines.append(f'# keybinding {label(obj)} "{binding}"')
            raw = obj.get_name() or ""
            if raw != clean(raw):
                lines.append(f'# rawname {label(obj)} "{raw}"')
        return lines

    def record(self, sequence):
        self.survey()
        service_lines = len(self.app.lines)
        checked_before = has_state(self.leaf, Atspi.StateType.CHECKED), has_state(self.kbd_leaf,
                                                                                    Atspi.StateType.CHECKED)
        windows_before = {o: label(o) for o in children(self.app.accessible)}
        self.rec = Recording(self.app.proc.pid)
        getattr(self, "seq_" + sequence.replace("-", "_"))()
        self.rec.wait_quiet()
        lines = self.rec.stop()
        self.rec = None
        result = []
        if self.target.reports_service:
            ran = [line for line in self.app.lines[service_lines:] if line.startswith("service:")]
            result.append("# result " + ("; ".join(ran) if ran else "no service ran"))
        else:
            checked_after = has_state(self.leaf, Atspi.StateType.CHECKED), has_state(self.kbd_leaf,
                                                                                      Atspi.StateType.CHECKED)
            if checked_after != checked_before:
                result.append(f"# result checked state of {label(self.leaf)}/{label(self.kbd_leaf)} went from "
                              f"{checked_before} to {checked_after}")
            for window in children(self.app.accessible):
                if window not in windows_before:
                    result.append(f"# result new top-level {label(window)}")
                elif label(window) != windows_before[window]:
                    result.append(f"# result {windows_before[window]} renamed to {quote(window.get_name())}")
        result.append("# result menus " + ("closed" if self.all_closed() else "still open"))
        return self.header(sequence) + lines + result

    # The expected outcome of a choice, for the sample applications that report it.
    def wait_service(self, title, since):
        if self.target.reports_service:
            wait_until(f"'service: {title}'", lambda: f"service: {title}" in self.app.lines[since:])

    def open_by_mouse(self):
        x, y = centre(self.top)
        self.move(x, y)
        self.press(x, y)
        wait_until(f"{label(self.top)} to open", lambda: is_open(self.top))
        self.release(x, y)
        self.rec.wait_quiet(250)
        x, y = centre(self.sub)
        self.move(x, y)
        wait_until(f"{label(self.sub)} to open", lambda: is_open(self.sub))
        wait_until(f"{label(self.sub)} highlighted", lambda: highlighted(self.sub))
        self.rec.wait_quiet(250)
        self.refresh_leaves()
        x, y = centre(self.leaf)
        self.move(x, y)
        wait_until(f"{label(self.leaf)} highlighted", lambda: highlighted(self.leaf))
        self.rec.wait_quiet(250)

    def seq_by_mouse(self):
        since = len(self.app.lines)
        self.open_by_mouse()
        x, y = centre(self.leaf)
        self.press(x, y)
        self.rec.wait_quiet(250)
        self.release(x, y)
        wait_until("the menus to close", self.all_closed)
        self.wait_service(clean(self.leaf.get_name()), since)

    def step_to(self, menu, item, key="Down"):
        for _ in range(len(items_of(menu)) + 1):
            if highlighted(item):
                return
            before = highlighted_item(menu)
            self.key(key)
            wait_until("the highlight to move", lambda: highlighted_item(menu) not in (None, before))
        raise Failure(f"{label(item)} never highlighted")

    def seq_by_keyboard(self):
        since = len(self.app.lines)
        if self.target.toolkit == "gtk":
            # F10 opens the first menu; Right walks along the menu bar to the wanted one.
            self.key("F10")
            bar_menus = children(self.app.menu_bar())
            wait_until("a menu to open", lambda: any(is_open(m) for m in bar_menus))
            for _ in range(len(bar_menus)):
                if is_open(self.top):
                    break
                self.rec.wait_quiet(250)
                opened = [m for m in bar_menus if is_open(m)]
                self.key("Right")
                wait_until("the next menu to open", lambda: [m for m in bar_menus if is_open(m)] not in ([], opened))
        else:
            self.key(f"alt+{clean(self.top.get_name())[0].lower()}")
        wait_until(f"{label(self.top)} to open", lambda: is_open(self.top))
        self.rec.wait_quiet(250)
        self.step_to(self.top, self.sub)
        self.rec.wait_quiet(250)
        self.key("Right")
        wait_until(f"{label(self.sub)} to open", lambda: is_open(self.sub))
        self.refresh_leaves()
        self.rec.wait_quiet(250)
        self.step_to(self.sub, self.kbd_leaf)
        self.rec.wait_quiet(250)
        self.key("Return")
        wait_until("the menus to close", self.all_closed)
        self.wait_service(clean(self.kbd_leaf.get_name()), since)

    def by_mnemonic(self, leaf):
        since = len(self.app.lines)
        self.key("alt+e")
        wait_until(f"{label(self.top)} to open", lambda: is_open(self.top))
        self.rec.wait_quiet(250)
        self.key("s")
        wait_until(f"{label(self.sub)} to open", lambda: is_open(self.sub))
        self.rec.wait_quiet(250)
        self.key(mnemonic(leaf))
        wait_until("the menus to close", self.all_closed)
        self.wait_service(clean(leaf.get_name()), since)

    def seq_by_mnemonic(self):
        self.by_mnemonic(self.leaf)

    # Opening a submenu from the keyboard highlights its first item, so a mnemonic for another item ends
    # with the wrong item as the last highlighted one.
    def seq_by_mnemonic_not_first(self):
        self.by_mnemonic(self.kbd_leaf)

    def seq_cancel_escape(self):
        self.open_by_mouse()
        for _ in range(6):
            if self.all_closed():
                break
            open_before = (is_open(self.top), is_open(self.sub))
            self.key("Escape")
            wait_until("a menu to close", lambda: (is_open(self.top), is_open(self.sub)) != open_before)
            self.rec.wait_quiet(250)
        if not self.all_closed():
            raise Failure("Escape left a menu open")
        # Qt leaves the menu bar in keyboard navigation on its item; one more Escape ends that too.
        bar_items = children(self.app.menu_bar())
        if any(has_state(i, Atspi.StateType.FOCUSED) for i in bar_items):
            self.key("Escape")
            wait_until("the menu bar to let go",
                       lambda: not any(has_state(i, Atspi.StateType.FOCUSED) for i in bar_items))

    def outside_point(self):
        entry, view = self.app.text_widgets()
        x, y, w, h = extents(view)
        boxes = list(self.places.values()) + [box for _, box in self.popups]
        for px, py in [(x + w - 30, y + h - 30), (x + w - 30, y + 30), (x + 30, y + h - 30)]:
            if not any(bx <= px < bx + bw and by <= py < by + bh for bx, by, bw, bh in boxes):
                return px, py
        raise Failure("no point of the text view is outside the menus")

    def seq_cancel_click_outside(self):
        self.open_by_mouse()
        x, y = self.outside_point()
        self.move(x, y)
        self.rec.wait_quiet(250)
        self.press(x, y)
        self.rec.wait_quiet(250)
        self.release(x, y)
        wait_until("the menus to close", self.all_closed)

    def seq_by_action(self):
        since = len(self.app.lines)
        action = self.leaf.get_action_iface()
        name = action.get_action_name(0)
        self.rec.comment(f'input atspi do_action 0 "{name}" on {label(self.leaf)}')
        action.do_action(0)
        self.wait_service(clean(self.leaf.get_name()), since)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--out", default=os.path.join(ROOT, "tests", "platform", "linux", "fixtures"))
    parser.add_argument("names", nargs="*")
    args = parser.parse_args()
    if "DBUS_SESSION_BUS_ADDRESS" not in os.environ or "DISPLAY" not in os.environ:
        print("record-menu-fixtures: run inside scripts/desktop-session", file=sys.stderr)
        return 2
    Atspi.set_timeout(2000, 10000)
    os.makedirs(args.out, exist_ok=True)
    failed = 0
    # A document for the editor, so that its Open Recent menu has an entry once it has been opened.
    document = os.path.join(os.environ.get("XDG_RUNTIME_DIR", "/tmp"), "quoddle-fixture.txt")
    with open(document, "w", encoding="utf-8") as out:
        out.write(VIEW_TEXT)
    for target in targets(args.build, document).values():
        wanted = [s for s in target.sequences
                  if not args.names or any(f"{target.stem}-{s}".startswith(n) for n in args.names)]
        if not wanted:
            continue
        app = App(target)
        try:
            session = Session(target, app)
            for sequence in wanted:
                name = session.fixture_name(sequence)
                log(f"recording {name}")
                try:
                    lines = session.record(sequence)
                except Failure as error:
                    log(f"{name}: {error}")
                    failed += 1
                    if session.rec is not None:
                        session.rec.stop()
                        session.rec = None
                    session.leave_menus()
                    continue
                with open(os.path.join(args.out, name + ".events"), "w", encoding="utf-8") as out:
                    out.write("\n".join(lines) + "\n")
                log(f"wrote {name}.events ({len(lines)} lines)")
        finally:
            app.stop()
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
