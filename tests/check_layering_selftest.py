#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""check_layering.py on small planted trees: a clean tree passes; an upward include, a widget header,
a picture room included by another room, a Qt Gui header outside the picture rooms and a circle of rooms on one floor (direct or through a third room) are each refused and named.
Arguments (the CLI path and samples folder ctest passes) are unused."""
import pathlib
import subprocess
import sys
import tempfile

CHECK = pathlib.Path(__file__).resolve().parent / "check_layering.py"

CASES = [
    # name, {file: text}, expected exit code, texts the report must contain
    ("clean", {
        "files/a.cpp": '#include "files/a.h"\n#include "text/b.h"\n',
        "text/b.cpp": '#include "tables/c.h"\n',
        "metadata/m.cpp": '#include "files/a.h"\n',
        "display/d.cpp": '#include "metadata/m.h"\n#include <QImage>\n',
        "controller/c.cpp": '#include "display/d.h"\n#include "maps/p.h"\n#include <QColor>\n',
    }, 0, ["0 layering fault(s)"]),
    ("upward include", {
        "files/a.cpp": '#include "metadata/m.h"\n',
    }, 1, ["files (floor 0) includes metadata (floor 1)"]),
    ("widget header", {
        "controller/c.cpp": "#include <QWidget>\n",
    }, 1, ["widget header in the core"]),
    ("picture room included", {
        "tracks/t.cpp": '#include "display/d.h"\n',
        "metadata/m.cpp": '#include "display/d.h"\n',
    }, 1, ["tracks includes the picture room display", "metadata includes the picture room display",
           "2 layering fault(s)"]),
    ("Qt Gui header", {
        "tables/grid.h": "#include <QColor>\n",
        "display/d.cpp": "#include <QImage>\n",
    }, 1, ["tables/grid.h:1: Qt Gui header outside the picture rooms", "1 layering fault(s)"]),
    ("circle of two", {
        "files/regular.cpp": '#include "text/escape.h"\n',
        "text/escape.cpp": '#include "files/names.h"\n',
    }, 1, ["circle on floor 0: files -> text -> files", "files/regular.cpp:1", "text/escape.cpp:1"]),
    ("circle of three", {
        "maps/a.cpp": '#include "export/b.h"\n',
        "export/b.h": '#pragma once\n#include "geotag/c.h"\n',
        "geotag/c.cpp": '#include "maps/a.h"\n',
        "display/d.cpp": '#include "metadata/m.h"\n',
    }, 1, ["circle on floor 2: export -> geotag -> maps -> export", "1 layering fault(s)"]),
]

failures = 0
for name, files, code, expected in CASES:
    with tempfile.TemporaryDirectory() as root:
        for rel, text in files.items():
            path = pathlib.Path(root, rel)
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_text(text, encoding="utf-8")
        run = subprocess.run([sys.executable, str(CHECK), "--core", root], capture_output=True, text=True)
        missing = [e for e in expected if e not in run.stdout]
        if run.returncode != code or missing:
            failures += 1
            print(f"FAIL {name}: exit {run.returncode} (expected {code}), missing {missing}\n{run.stdout}")
        else:
            print(f"ok   {name}")
sys.exit(1 if failures else 0)
