#!/usr/bin/env python3
"""Checks the core's floors: a room includes only rooms of its floor or below, and no core file
includes a widget header. Arguments (the CLI path and samples folder ctest passes) are unused."""
import pathlib
import re
import sys

FLOORS = {
    "tables": 0, "files": 0, "text": 0,
    "metadata": 1, "display": 1,
    "maps": 2, "export": 2, "geotag": 2, "tracks": 2,
    "controller": 3,
}
WIDGETS = re.compile(r'#include\s*<(QtWidgets/|QWidget|QApplication|QMainWindow|QDialog|QLabel|QMessageBox|'
                     r'QWebEngine|QtWebEngine)')
INCLUDE = re.compile(r'#include\s*"([a-z]+)/')

core = pathlib.Path(__file__).resolve().parent.parent / "src" / "core"
faults = []
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
        m = INCLUDE.search(line)
        if m and m.group(1) in FLOORS and FLOORS[m.group(1)] > floor:
            faults.append(f"{path}:{n}: {room} (floor {floor}) includes {m.group(1)} (floor {FLOORS[m.group(1)]})")
for f in faults:
    print(f)
print(f"{len(faults)} layering fault(s)")
sys.exit(1 if faults else 0)
