#!/usr/bin/python3
"""Takes the README's pictures of the editor: makes a company from a photo of Debian's
mate-backgrounds package as a user would, on a private X display, and saves each window it
shows as a small PNG in doc/screenshots/.

    doc/screenshots.py [--build DIR] [--out DIR] [--keep]

The editor is driven from outside: widgets are found by their accessible names (AT-SPI) and
used with the real mouse and keyboard (xdotool). Everything that shows in a picture is fixed
(screen, fonts, style, clock, time zone, folders), so a rerun gives the same files.

Needs Debian's python3 with python3-pyatspi, and xvfb, dbus-daemon, at-spi2-core, xdotool,
imagemagick, optipng, fonts-dejavu-core and mate-backgrounds (./dev.sh screenshots installs
them), and a build of quorvel and quorvel-tool.
"""

import argparse
import contextlib
import ctypes
import fcntl
import os
import select
import shutil
import signal
import subprocess
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, Gio, GLib  # noqa: E402

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PHOTOS = "/usr/share/backgrounds/mate/nature"
# A fixed folder, because the file dialogs show its path in the pictures.
RUN = "/tmp/quorvel-screenshots"
SCREEN = "1024x768x24"
REST = (1020, 760)  # a point outside every window
TIMEOUT = 15.0

# The walk-through's company, made in the editor at this time (UTC): 2026-03-14 09:30.
OWNER, WORD, EPOCH = "Brenda Vale", "Vale", 1773480600
# Ratings, set with the keyboard: intelligence, aggressiveness, competitiveness.
RATINGS = {"Intelligence": 7, "Aggressiveness": 3, "Competitiveness": 8}
# The ladybird in LadyBird.jpg (2560x1600), which opens fitted whole into the picture area: the
# square drawn over it, corners in picture pixels.
LADYBIRD = "LadyBird.jpg"
LADYBIRD_SIZE = (2560, 1600)
LADYBIRD_BOX = (1640, 680, 1940, 980)

# Companies already installed in a second game folder, the one the company is imported into:
# owner, photo, rectangle, date stamp.
OTHERS = [
    ("Petra Lind", "Garden.jpg", "1400,400,2400,1400", 1767432000),    # 2026-01-03 09:20
    ("Tomas Reed", "TwoWings.jpg", "1000,300,2300,1600", 1770894000),  # 2026-02-12 11:00
    ("Oskar Brook", "Aqua.jpg", "1380,600,2200,1420", 1772361000),     # 2026-03-01 10:30
]

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


# -- the run -------------------------------------------------------------------------------

def prepare_folders(run):
    """A fresh home with a documents folder, and two Wine prefixes that each hold an
    installed game, so the editor finds its object folder as a player's would."""
    if os.path.lexists(run):
        shutil.rmtree(run)
    os.makedirs(os.path.join(run, "home", "Documents"), mode=0o700)
    os.makedirs(os.path.join(run, "runtime"), mode=0o700)
    folders = {}
    for prefix in ("wine", "wine-friend"):
        objdata = os.path.join(run, prefix, "drive_c", "Halvortine", "ObjData")
        os.makedirs(objdata)
        with open(os.path.join(run, prefix, "system.reg"), "w") as reg:
            reg.write("WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n"
                      "[Software\\\\Kavro\\\\Halvortine Setup] 1773480600\n"
                      "\"Path\"=\"C:\\\\Halvortine\"\n")
        folders[prefix] = objdata
    with open(os.path.join(run, "fonts.conf"), "w") as conf:
        conf.write(f"""<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "urn:fontconfig:fonts.dtd">
<fontconfig>
  <dir>/usr/share/fonts/truetype/dejavu</dir>
  <cachedir>{run}/fontconfig</cachedir>
  <match target="pattern">
    <edit name="family" mode="prepend" binding="strong"><string>DejaVu Sans</string></edit>
  </match>
  <match target="font">
    <edit name="antialias" mode="assign"><bool>true</bool></edit>
    <edit name="hinting" mode="assign"><bool>true</bool></edit>
    <edit name="hintstyle" mode="assign"><const>hintslight</const></edit>
    <edit name="rgba" mode="assign"><const>none</const></edit>
  </match>
</fontconfig>
""")
    return folders


def base_env(run, build):
    env = {k: v for k, v in os.environ.items()
           if not k.startswith(("QT_", "XDG_", "DBUS_", "AT_SPI", "LC_", "GTK", "KDE"))
           and k not in ("DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY", "LANGUAGE", "WINEPREFIX",
                         "SESSION_MANAGER", "DESKTOP_SESSION")}
    home = os.path.join(run, "home")
    env.update(HOME=home, LANG="C.UTF-8", LC_ALL="C.UTF-8", TZ="UTC",
               XDG_RUNTIME_DIR=os.path.join(run, "runtime"),
               XDG_CONFIG_HOME=os.path.join(home, ".config"),
               XDG_DATA_HOME=os.path.join(home, ".local", "share"),
               XDG_CACHE_HOME=os.path.join(home, ".cache"),
               FONTCONFIG_FILE=os.path.join(run, "fonts.conf"),
               QT_QPA_PLATFORM="xcb", QT_STYLE_OVERRIDE="Fusion", QT_FONT_DPI="96",
               QT_ENABLE_HIGHDPI_SCALING="0", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
               QT_ACCESSIBILITY="1",
               QUORVEL=os.path.join(build, "app", "quorvel"))
    return env


def install_others(run, build, env, objdata):
    """The second game folder's companies, made and installed with quorvel-tool."""
    tool = os.path.join(build, "tools", "quorvel-tool")
    for owner, photo, rect, epoch in OTHERS:
        made = os.path.join(run, "made.company")
        for argv in ([tool, "new", "-o", made, "--owner", owner, "--word", owner.split()[1],
                      "--face", f"default={PHOTOS}/{photo}@{rect}"],
                     [tool, "import", made, "--objdata", objdata]):
            subprocess.run(argv, env=dict(env, SOURCE_DATE_EPOCH=str(epoch)), check=True,
                           stdout=subprocess.DEVNULL, timeout=60)
        os.remove(made)


def fitted_point(area, picture, point):
    """Where a picture point shows in the picture area at Fit: the picture scaled by the
    narrower of the two ratios and centred, each point rounded to the nearest screen pixel,
    as the editor maps it."""
    _, _, width, height = extents(area)
    num, den = (width, picture[0]) if width * picture[1] <= height * picture[0] \
        else (height, picture[1])

    def axis(value, view, extent):
        scaled = (2 * extent * num + den) // (2 * den)
        return (2 * value * num + den) // (2 * den) + (view - scaled) // 2
    return axis(point[0], width, picture[0]), axis(point[1], height, picture[1])


def make_company(editor, camera, objdata):
    """Grab a face, fill the form, save, export: the walk-through's first three steps."""
    main = editor.main
    click(find(main, "push button", "Default face (large)"))
    grab = editor.window("Grabbing default image.")
    click(find(grab, "push button", "Open image.."))
    choose_file(editor, "Open", f"{PHOTOS}/{LADYBIRD}")
    status = f"{LADYBIRD}, 2560 × 1600 pixels."
    area = find(grab, "filler", "Picture")
    wait(lambda: area.get_description().startswith(status), "the photo to load")

    # A square box of any size: "Don't stretch" off lets "Square" be ticked.
    click(find(grab, "check box", "Don't stretch"))
    square = find(grab, "check box", "Square")
    wait(lambda: square.get_state_set().contains(S.ENABLED), "Square to be enabled")
    if not square.get_state_set().contains(S.CHECKED):
        click(square)

    # At Fit, a drag from one corner of the square to the other; the box stays, with its
    # handles, for the picture.
    start = fitted_point(area, LADYBIRD_SIZE, LADYBIRD_BOX[:2])
    end = fitted_point(area, LADYBIRD_SIZE, LADYBIRD_BOX[2:])
    xdotool("mousemove", *point(area, *start), "mousedown", 1,
            "mousemove", *point(area, (start[0] + end[0]) // 2, (start[1] + end[1]) // 2),
            "sleep", 0.1, "mousemove", *point(area, *end), "sleep", 0.1, "mouseup", 1)
    wait(lambda: "Faces cut from" in area.get_description(),
         lambda: f"a cut in the description (it is {area.get_description()!r})")
    rest_pointer()
    camera.shoot("grab", grab)
    click(find(grab, "push button", "Grab"))
    editor.gone(grab)

    # The rest of the form, with the keyboard.
    type_into(editor, main, find(main, "text", "Owner name"), OWNER)
    type_into(editor, main, find(main, "text", "Specific word"), WORD)
    for name, value in RATINGS.items():
        slider = find(main, "slider", name)
        focus(editor, main, slider)
        key("Home", *["Right"] * (value - 1))
        wait(lambda s=slider, v=value: Atspi.Value.get_current_value(s) == v,
             f"{name} at {value}")
    rest_pointer()
    camera.shoot("main-window", main)

    menu(editor, "File/Save")
    camera.shoot("save", main)
    key("Return")
    wait(lambda: os.listdir(objdata), f"the company to be saved in {objdata}")

    menu(editor, "File/Export...")
    key("Return")
    export = editor.window("Export the company to a file")
    name = find(export, "text", "File name:")
    exported = f"{OWNER} {time.strftime('%Y-%m-%d', time.gmtime(EPOCH))}.company"
    wait(lambda: text_of(name) == exported,
         lambda: f"the offered name {exported!r} (it is {text_of(name)!r})")
    # The keyboard leaves the name field, so no blinking text cursor is caught.
    key("Tab")
    wait(lambda: not name.get_state_set().contains(S.FOCUSED), "the name field to lose focus")
    rest_pointer()
    camera.shoot("export", export)
    focus(editor, export, name)
    key("Return")
    editor.gone(export)
    path = os.path.join(RUN, "home", "Documents", exported)
    wait(lambda: os.path.isfile(path), f"{path} to be written")
    return path


def import_company(editor, camera, exported, objdata):
    """The last step: the file, imported into another game folder, and File > Open."""
    menu(editor, "File/Import..")
    key("Return")
    choose_file(editor, "Open", exported)
    wait(lambda: len(os.listdir(objdata)) == len(OTHERS) + 1,
         f"the company to be installed in {objdata}")
    menu(editor, "File/Open...")
    key("Return")
    dialog = editor.window("Select company")
    shown = f"{OWNER} ({time.strftime('%Y/%m/%d %H:%M', time.gmtime(EPOCH))})"
    first = find(find(dialog, "list", "Companies"), "list item", shown)
    # A click, and the pointer away at once, before the item's tooltip can show.
    xdotool("mousemove", *point(first), "click", 1, "mousemove", *REST)
    wait(lambda: first.get_state_set().contains(S.SELECTED), f"{first.get_name()!r} selected")
    wait(lambda: find(dialog, "push button", "Edit").get_state_set().contains(S.ENABLED),
         "Edit to be enabled")
    time.sleep(0.3)
    camera.shoot("select-company", dialog)
    click(find(dialog, "push button", "Cancel"))
    editor.gone(dialog)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", default=os.path.join(SOURCE, "build"),
                        help="the build folder (default: build)")
    parser.add_argument("--out", default=os.path.join(SOURCE, "doc", "screenshots"),
                        help="where the pictures go (default: doc/screenshots)")
    parser.add_argument("--keep", action="store_true",
                        help=f"keep {RUN} (logs, raw screenshots) afterwards")
    args = parser.parse_args()
    build, out = os.path.abspath(args.build), os.path.abspath(args.out)
    for program in ("app/quorvel", "tools/quorvel-tool"):
        if not os.access(os.path.join(build, program), os.X_OK):
            sys.exit(f"{os.path.join(build, program)}: not built; run ./dev.sh test first")
    if not os.path.isfile(f"{PHOTOS}/{LADYBIRD}"):
        sys.exit(f"{PHOTOS}/{LADYBIRD}: missing; install mate-backgrounds")
    os.makedirs(out, exist_ok=True)

    # One run at a time: the folder's path is fixed.
    lock = open(RUN + ".lock", "w")
    try:
        fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
    except BlockingIOError:
        sys.exit(f"another run holds {RUN}.lock")
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))

    folders = prepare_folders(RUN)
    env = base_env(RUN, build)
    desktop = Desktop(RUN)
    camera = Camera(RUN, out)
    failed = True
    editor = None
    try:
        install_others(RUN, build, env, folders["wine-friend"])
        desktop.start(env)
        env["SOURCE_DATE_EPOCH"] = str(EPOCH)
        editor = Editor(dict(env, WINEPREFIX=os.path.join(RUN, "wine")),
                        os.path.join(RUN, "editor.log"))
        exported = make_company(editor, camera, folders["wine"])
        editor.stop()
        editor = Editor(dict(env, WINEPREFIX=os.path.join(RUN, "wine-friend")),
                        os.path.join(RUN, "editor-friend.log"))
        import_company(editor, camera, exported, folders["wine-friend"])
        failed = False
    except Exception as error:  # noqa: BLE001 - told, with a picture of the screen
        print(f"screenshots: {error}", file=sys.stderr)
        with contextlib.suppress(Exception):
            subprocess.run(["import", "-window", "root", os.path.join(RUN, "failure.png")],
                           timeout=30)
    finally:
        if editor is not None:
            editor.stop()
        desktop.stop()
        if failed or args.keep:
            print(f"screenshots: the run's logs and pictures are in {RUN}", file=sys.stderr)
        else:
            shutil.rmtree(RUN, ignore_errors=True)
    if failed:
        sys.exit(1)


if __name__ == "__main__":
    main()
