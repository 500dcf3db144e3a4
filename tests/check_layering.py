#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Checks the core's floors: a room includes only rooms of its floor or below, rooms of one floor
never include each other in a circle, and no core file includes a widget header. The rooms that hold
pictures (GUI_ROOMS, built into their own library with Qt Gui) may include the others, never the
reverse, and only they include Qt Gui headers: the command line links the rest with Qt Core alone.
Usage: check_layering.py [--core DIR] [ignored...]; DIR defaults to this tree's src/core (the CLI
path and samples folder that ctest passes to every script are ignored)."""
import pathlib
import re
import sys

FLOORS = {
    "tables": 0, "files": 0, "text": 0,
    "metadata": 1, "display": 1, "places": 1,
    "maps": 2, "export": 2, "geotag": 2, "tracks": 2,
    "controller": 3,
}
WIDGETS = re.compile(r'#include\s*<(QtWidgets/|QWidget|QApplication|QMainWindow|QDialog|QLabel|QMessageBox|'
                     r'QWebEngine|QtWebEngine)')
GUI_ROOMS = {"display", "controller"}
GUI_HEADERS = re.compile(r'#include\s*<(QtGui/|QImage|QPainter|QColor|QPixmap|QBitmap|QIcon|QFont|QBrush|QPen|'
                         r'QTransform|QPalette|QGuiApplication|QImageReader|QImageWriter|QRgb)')
INCLUDE = re.compile(r'#include\s*"([a-z]+)/')


def core_folder(argv):
    if "--core" in argv:
        return pathlib.Path(argv[argv.index("--core") + 1]).resolve()
    return pathlib.Path(__file__).resolve().parent.parent / "src" / "core"


def find_cycle(edges):
    """One circle of rooms in {room: {included room: where}}, as a list of rooms, or None."""
    state = {}  # room -> 1 while on the path, 2 once done

    def visit(room, path):
        state[room] = 1
        path.append(room)
        for other in sorted(edges.get(room, {})):
            if state.get(other) == 1:
                return path[path.index(other):] + [other]
            if other not in state:
                found = visit(other, path)
                if found:
                    return found
        path.pop()
        state[room] = 2
        return None

    for room in sorted(edges):
        if room not in state:
            found = visit(room, [])
            if found:
                return found
    return None


def check(core):
    faults = []
    same_floor = {}  # room -> {room of the same floor it includes: first place}
    for path in sorted(core.rglob("*")):
        if path.suffix not in (".h", ".cpp"):
            continue
        room = path.relative_to(core).parts[0]
        floor = FLOORS.get(room)
        if floor is None:
            faults.append(f"{path}: room '{room}' has no floor in check_layering.py")
            continue
        for n, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
            if WIDGETS.search(line):
                faults.append(f"{path}:{n}: widget header in the core: {line.strip()}")
            if room not in GUI_ROOMS and GUI_HEADERS.search(line):
                faults.append(f"{path}:{n}: Qt Gui header outside the picture rooms: {line.strip()}")
            m = INCLUDE.search(line)
            if not m or m.group(1) not in FLOORS or m.group(1) == room:
                continue
            other = m.group(1)
            if other in GUI_ROOMS and room not in GUI_ROOMS:
                faults.append(f"{path}:{n}: {room} includes the picture room {other}")
            if FLOORS[other] > floor:
                faults.append(f"{path}:{n}: {room} (floor {floor}) includes {other} (floor {FLOORS[other]})")
            elif FLOORS[other] == floor:
                same_floor.setdefault(room, {}).setdefault(other, f"{path}:{n}")
    # Each circle is reported once, then one of its includes is set aside to look for the next.
    while (cycle := find_cycle(same_floor)) is not None:
        places = [same_floor[a][b] for a, b in zip(cycle, cycle[1:])]
        faults.append(f"circle on floor {FLOORS[cycle[0]]}: {' -> '.join(cycle)} ({'; '.join(places)})")
        del same_floor[cycle[0]][cycle[1]]
    return faults


if __name__ == "__main__":
    faults = check(core_folder(sys.argv[1:]))
    for f in faults:
        print(f)
    print(f"{len(faults)} layering fault(s)")
    sys.exit(1 if faults else 0)
