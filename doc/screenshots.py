#!/usr/bin/python3
"""Takes the README's pictures of the editor: makes a company from a photo of Debian's
mate-backgrounds package as a user would, on a private X display, and saves each window it
shows as a small PNG in doc/screenshots/.

    doc/screenshots.py [--build DIR] [--out DIR] [--keep]

The editor is driven from outside: widgets are found by their accessible names (AT-SPI) and
used with the real mouse and keyboard (xdotool). Everything that shows in a picture is fixed
(screen, fonts, style, clock, time zone, folders), so a rerun gives the same files.

Needs Debian's python3 with python3-pyatspi, and xvfb, dbus-daemon, at-spi2-core, xdotool,
imagemagick, optipng, fonts-dejavu-core, mate-backgrounds and opencv-doc (./dev.sh screenshots
installs them), and a build of quorvel and quorvel-tool.
"""

import argparse
import contextlib
import fcntl
import os
import shutil
import signal
import subprocess
import sys
import time

from screendriver import (REST, SOURCE, Atspi, Camera, Desktop, Editor, S, choose_file, click,
                          extents, find, focus, key, menu, point, rest_pointer, set_ticked,
                          text_of, type_into, wait, xdotool)

PHOTOS = "/usr/share/backgrounds/mate/nature"
# A fixed folder, because the file dialogs show its path in the pictures.
RUN = "/tmp/quorvel-screenshots"

# The walk-through's company, made in the editor at this time (UTC): 2026-03-14 09:30.
OWNER, WORD, EPOCH = "Brenda Vale", "Vale", 1773480600
# Ratings, set with the keyboard: intelligence, aggressiveness, competitiveness.
RATINGS = {"Intelligence": 7, "Aggressiveness": 3, "Competitiveness": 8}
# The ladybird in LadyBird.jpg (2560x1600), which opens fitted whole into the picture area: the
# square drawn over it, corners in picture pixels.
LADYBIRD = "LadyBird.jpg"
LADYBIRD_SIZE = (2560, 1600)
LADYBIRD_BOX = (1640, 680, 1940, 980)
# A portrait from opencv-doc, for the box the dialog proposes around a face.
PORTRAIT = "/usr/share/doc/opencv-doc/opencv4/html/230501201_1.jpg"

# Companies already installed in a second game folder, the one the company is imported into:
# owner, photo, rectangle, date stamp.
OTHERS = [
    ("Petra Lind", "Garden.jpg", "1400,400,2400,1400", 1767432000),    # 2026-01-03 09:20
    ("Tomas Reed", "TwoWings.jpg", "1000,300,2300,1600", 1770894000),  # 2026-02-12 11:00
    ("Oskar Brook", "Aqua.jpg", "1380,600,2200,1420", 1772361000),     # 2026-03-01 10:30
]


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
    area = find(grab, "filler", "Picture")

    # A portrait first: it comes with the box proposed around the face.
    click(find(grab, "push button", "Open image.."))
    choose_file(editor, "Open", PORTRAIT)
    wait(lambda: "1 face found. Faces cut from" in area.get_description(),
         lambda: f"the box around the face (the description is {area.get_description()!r})")
    rest_pointer()
    camera.shoot("grab-face", grab)

    click(find(grab, "push button", "Open image.."))
    choose_file(editor, "Open", f"{PHOTOS}/{LADYBIRD}")
    status = f"{LADYBIRD}, 2560 × 1600 pixels."
    wait(lambda: area.get_description().startswith(status), "the photo to load")

    # The face search has had its say (a photo with a face would come with a box and these
    # ticks set); then a square box of any size: "Don't stretch" off lets "Square" be ticked.
    wait(lambda: "found." in area.get_description(), "the face search to end")
    set_ticked(find(grab, "check box", "Don't stretch"), False)
    square = find(grab, "check box", "Square")
    wait(lambda: square.get_state_set().contains(S.ENABLED), "Square to be enabled")
    set_ticked(square, True)

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
    if not os.path.isfile(PORTRAIT):
        sys.exit(f"{PORTRAIT}: missing; install opencv-doc")
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
