"""Drives the editor from outside for doc/screenshots.py: a private X display with its own
session and accessibility buses, the editor's widgets found by their accessible names (AT-SPI)
and used with the real mouse and keyboard (xdotool), and the camera that saves what a window
shows. Every process it starts is ended by its id.
"""

import contextlib
import ctypes
import os
import select
import signal
import subprocess
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, Gio, GLib  # noqa: E402

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SCREEN = "1024x768x24"
REST = (1020, 760)  # a point outside every window
TIMEOUT = 15.0

S = Atspi.StateType


class Failure(Exception):
    pass


def wait(predicate, what, timeout=TIMEOUT):
    """Calls predicate until it gives something true and returns that; a GLib error counts as
    not yet. Fails naming what it waited for."""
    deadline = time.monotonic() + timeout
    while True:
        with contextlib.suppress(GLib.Error):
            value = predicate()
            if value:
                return value
        if time.monotonic() > deadline:
            what = what() if callable(what) else what
            raise Failure(f"gave up after {timeout:g} s waiting for {what}")
        time.sleep(0.05)


# -- processes -----------------------------------------------------------------------------

def _die_with_parent():
    ctypes.CDLL(None).prctl(1, signal.SIGTERM, 0, 0, 0)  # PR_SET_PDEATHSIG


def _session_members(sid):
    found = []
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            with contextlib.suppress(OSError, ValueError, IndexError):
                with open(f"/proc/{entry}/stat", "rb") as f:
                    text = f.read().decode(errors="replace")
                if int(text[text.rindex(")") + 2:].split()[3]) == sid:
                    found.append(int(entry))
    return found


class Process:
    """A process started as the leader of a session of its own, so that it and whatever it
    starts (the accessibility bus starts two more) can be ended by their ids."""

    def __init__(self, argv, log, **popen):
        with open(log, "ab") as out:
            self.proc = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=out,
                                         stderr=subprocess.STDOUT, start_new_session=True,
                                         preexec_fn=_die_with_parent, **popen)

    def stop(self):
        members = [p for p in _session_members(self.proc.pid) if p != self.proc.pid]
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait(5)
        for pid in members + [p for p in _session_members(self.proc.pid) if p not in members]:
            with contextlib.suppress(ProcessLookupError):
                os.kill(pid, signal.SIGTERM)


def read_line(fd, what, proc):
    """The first line a starting helper writes to a pipe."""
    deadline, data = time.monotonic() + TIMEOUT, b""
    try:
        while b"\n" not in data and time.monotonic() < deadline and proc.poll() is None:
            if select.select([fd], [], [], 0.2)[0]:
                chunk = os.read(fd, 4096)
                if not chunk:
                    break
                data += chunk
    finally:
        os.close(fd)
    line = data.split(b"\n", 1)[0].decode().strip()
    if not line:
        raise Failure(f"no answer from {what}")
    return line


class Desktop:
    """Xvfb, a session bus and the accessibility bus, private to this run."""

    def __init__(self, run):
        self.run = run
        self.helpers = []

    def helper(self, name, argv, **popen):
        process = Process(argv, os.path.join(self.run, f"{name}.log"), **popen)
        self.helpers.append(process)
        return process

    def start(self, env):
        r, w = os.pipe()
        xvfb = self.helper("xvfb", ["Xvfb", "-displayfd", str(w), "-screen", "0", SCREEN,
                                    "-dpi", "96", "-nolisten", "tcp", "-noreset"],
                           pass_fds=(w,), env=env)
        os.close(w)
        self.display = ":" + read_line(r, "Xvfb", xvfb.proc)
        env["DISPLAY"] = self.display

        r, w = os.pipe()
        dbus = self.helper("dbus", ["dbus-daemon", "--session", "--nofork", "--nopidfile",
                                    f"--print-address={w}"], pass_fds=(w,), env=env)
        os.close(w)
        env["DBUS_SESSION_BUS_ADDRESS"] = read_line(r, "dbus-daemon", dbus.proc)

        self.helper("atspi", ["/usr/libexec/at-spi-bus-launcher", "--launch-immediately",
                              "--a11y=1"], env=env)
        bus = Gio.DBusConnection.new_for_address_sync(
            env["DBUS_SESSION_BUS_ADDRESS"],
            Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT
            | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION, None, None)
        reply = wait(lambda: bus.call_sync("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus",
                                           "GetAddress", None, GLib.VariantType.new("(s)"),
                                           Gio.DBusCallFlags.NO_AUTO_START, 2000, None),
                     "the accessibility bus")
        bus.close_sync(None)
        # libatspi in this process reads these once, at its first call.
        for name in ("DISPLAY", "DBUS_SESSION_BUS_ADDRESS"):
            os.environ[name] = env[name]
        os.environ["AT_SPI_BUS_ADDRESS"] = reply.unpack()[0]
        Atspi.set_timeout(5000, -1)

    def stop(self):
        for process in reversed(self.helpers):
            process.stop()


# -- the program, through AT-SPI, the mouse and the keyboard -------------------------------

class Editor:
    def __init__(self, env, log):
        self.process = Process([env["QUORVEL"]], log, env=env, cwd=env["HOME"])
        self.pid = self.process.proc.pid
        self.acc = None
        self.main = wait(self._main_window, "the editor's window")

    def _main_window(self):
        if self.process.proc.poll() is not None:
            raise Failure(f"the editor ended with status {self.process.proc.returncode}")
        desktop = Atspi.get_desktop(0)
        for i in range(desktop.get_child_count()):
            app = desktop.get_child_at_index(i)
            if app is not None and app.get_process_id() == self.pid:
                self.acc = app
                return next((w for w in children(app) if showing(w)), None)
        return None

    def window(self, title):
        return wait(lambda: next((w for w in children(self.acc)
                                  if showing(w) and w.get_name() == title), None),
                    f"a window titled {title!r}")

    def gone(self, window):
        wait(lambda: not showing(window), f"{window.get_name()!r} to close")

    def stop(self):
        self.process.stop()


def children(acc):
    return [c for c in (acc.get_child_at_index(i) for i in range(acc.get_child_count())) if c]


def showing(acc):
    try:
        return acc.get_state_set().contains(S.SHOWING)
    except GLib.Error:
        return False


def find(within, role, name):
    def search():
        stack = children(within)
        while stack:
            acc = stack.pop(0)
            if not showing(acc):
                continue
            if acc.get_role_name() == role and acc.get_name() == name:
                return acc
            stack[:0] = children(acc)
        return None
    return wait(search, f"[{role}] {name!r} in {within.get_name()!r}")


def extents(acc):
    r = acc.get_extents(Atspi.CoordType.SCREEN)
    return r.x, r.y, r.width, r.height


def xdotool(*args):
    done = subprocess.run(["xdotool", *map(str, args)], capture_output=True, text=True,
                          timeout=30)
    if done.returncode != 0:
        raise Failure(f"xdotool {' '.join(map(str, args))}: {done.stderr.strip()}")
    return done.stdout


def point(acc, dx=None, dy=None):
    x, y, w, h = wait(lambda: showing(acc) and extents(acc)[2] > 0 and extents(acc),
                      "a widget to show")
    return x + (w // 2 if dx is None else dx), y + (h // 2 if dy is None else dy)


def click(acc, dx=None, dy=None):
    xdotool("mousemove", *point(acc, dx, dy), "click", 1)


def set_ticked(acc, ticked):
    """Ticks or unticks a check box, whichever way it stands now."""
    if acc.get_state_set().contains(S.CHECKED) != ticked:
        click(acc)
    wait(lambda: acc.get_state_set().contains(S.CHECKED) == ticked,
         f"{acc.get_name()!r} {'ticked' if ticked else 'unticked'}")


def rest_pointer():
    """Moves the pointer off every window, so nothing is hovered in a picture."""
    xdotool("mousemove", *REST)
    time.sleep(0.3)


def activate(editor, window):
    """Gives the window the keyboard: there is no window manager to do it on a click."""
    if window.get_state_set().contains(S.ACTIVE):
        return
    ids = xdotool("search", "--onlyvisible", "--pid", editor.pid, "--name",
                  f"^{window.get_name()}$").split()
    if not ids:
        raise Failure(f"no X window for {window.get_name()!r}")
    xdotool("windowfocus", "--sync", ids[0])
    wait(lambda: window.get_state_set().contains(S.ACTIVE), f"{window.get_name()!r} active")


def key(*keys):
    xdotool("key", "--delay", 40, *keys)


def focus(editor, window, acc):
    """Puts the keyboard focus on a widget, as a screen reader does."""
    activate(editor, window)
    acc.grab_focus()
    wait(lambda: acc.get_state_set().contains(S.FOCUSED), f"{acc.get_name()!r} focused")


def text_of(acc):
    return Atspi.Text.get_text(acc, 0, -1) or ""


def type_into(editor, window, acc, text):
    focus(editor, window, acc)
    key("ctrl+a")
    xdotool("type", "--delay", 30, "--", text)
    wait(lambda: text_of(acc) == text, f"{acc.get_name()!r} to read {text!r}")


def menu(editor, path):
    """Opens a menu of the main window and points at an item; returns the item."""
    first, item = path.split("/")
    activate(editor, editor.main)
    click(find(editor.main, "menu item", first))
    entry = find(editor.acc, "menu item", item)
    xdotool("mousemove", *point(entry))
    wait(lambda: entry.get_state_set().contains(S.FOCUSED), f"{item!r} highlighted")
    return entry


def choose_file(editor, title, path):
    """Answers a file dialog by typing the file's path, as a user may."""
    dialog = editor.window(title)
    name = find(dialog, "text", "File name:")
    type_into(editor, dialog, name, path)
    key("Return")
    editor.gone(dialog)


# -- pictures ------------------------------------------------------------------------------

class Camera:
    def __init__(self, run, out):
        self.run, self.out = run, out

    def shoot(self, name, acc):
        """Saves what the screen shows inside the window's rectangle (popup menus over it
        included), in few colours where that keeps it sharp."""
        time.sleep(0.5)  # let the last repaint land
        x, y, w, h = extents(acc)
        raw = os.path.join(self.run, f"{name}-raw.png")
        subprocess.run(["import", "-window", "root", "-crop", f"{w}x{h}+{x}+{y}", "+repage",
                        raw], check=True, timeout=60)
        target = os.path.join(self.out, f"{name}.png")
        # 256 colours, dithered, keep the form and the dialogs exact and a photo close to
        # its own; no time or date chunks, so a rerun writes the same bytes.
        subprocess.run(["convert", raw, "-dither", "FloydSteinberg", "-colors", "256",
                        "-strip", "-define", "png:exclude-chunks=date,time",
                        f"PNG8:{target}"], check=True, timeout=60)
        subprocess.run(["optipng", "-quiet", "-o5", "-strip", "all", target], check=True,
                       timeout=300)
        print(f"{os.path.relpath(target, SOURCE)}: {w}x{h}, {os.path.getsize(target)} bytes")
