#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Every photo of a folder through erase, erase --all-location and write --at: each "~" copy read
by exiftool (-a -G1 -ee, the thumbnail, preview and multi-picture images extracted and read too)
must hold no position, each "#" copy no other position than the new one; and `exiftool -validate
-warning -a` must give no warning on a copy that the source did not give.

    bench/privacy_sweep.py build/src/cli/vantorel-cli tests/data/real
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

cli, folder = sys.argv[1], sys.argv[2]
POSITION = re.compile(r"(?i)(^|:)(gps)?(dest)?(latitude|longitude|longtitude)$")
EMBEDDED = ["ThumbnailImage", "PreviewImage", "MPImage2", "MPImage3", "OtherImage", "EmbeddedImage"]


def exiftool_json(args, data=None):
    r = subprocess.run(["exiftool", "-q", "-q", "-j", "-n", *args], input=data, capture_output=True)
    try:
        return json.loads(r.stdout or b"[]")
    except ValueError:
        return []


def positions(path):
    """Every latitude or longitude exiftool reads in the file and in the pictures it holds."""
    found = []
    for tags in exiftool_json(["-a", "-G1", "-ee", path]):
        found += [(k, v) for k, v in tags.items() if POSITION.search(k) and v not in ("", None)]
    for name in EMBEDDED:
        picture = subprocess.run(["exiftool", "-b", f"-{name}", path], capture_output=True).stdout
        if picture[:2] == b"\xff\xd8":
            for tags in exiftool_json(["-a", "-G1", "-ee", "-"], picture):
                found += [(f"{name}/{k}", v) for k, v in tags.items() if POSITION.search(k) and v not in ("", None)]
    return found


def warnings(path):
    # Text lines: a JSON object keeps only the last of several "Warning" tags.
    out = subprocess.run(["exiftool", "-q", "-q", "-a", "-s", "-validate", "-warning", path],
                         capture_output=True).stdout.decode(errors="replace")
    return set(line.split(":", 1)[1].strip() for line in out.splitlines() if line.startswith("Warning"))


names = sorted(n for n in os.listdir(folder) if n.lower().endswith((".jpg", ".jpeg")))
totals = {"erase": [0, 0, 0], "all": [0, 0, 0], "write": [0, 0, 0]}  # written, refused, leaking
new_warnings = []
with tempfile.TemporaryDirectory() as tmp:
    for mode, args, prefix in (("erase", ["erase"], "~"), ("all", ["erase", "--all-location"], "~"),
                               ("write", ["write", "--at", "48.5 -2.25"], "#")):
        work = os.path.join(tmp, mode)
        os.mkdir(work)
        for name in names:
            shutil.copy(os.path.join(folder, name), work)
        for name in names:
            source = os.path.join(work, name)
            r = subprocess.run([cli, *args, source], capture_output=True)
            copy = os.path.join(work, prefix + name)
            if r.returncode != 0:
                totals[mode][1] += 1
                print(f"{mode}\t{name}\trefused\t{r.stderr.decode().strip().splitlines()[-1]}")
                continue
            totals[mode][0] += 1
            found = positions(copy)
            if mode == "write":
                found = [(k, v) for k, v in found
                         if "Dest" not in k and not (isinstance(v, (int, float)) and abs(abs(v) - (48.5 if "atitude" in k else 2.25)) < 1e-6)]
            if found:
                totals[mode][2] += 1
                print(f"{mode}\t{name}\tLEAK\t{found}")
            added = warnings(copy) - warnings(source)
            if added:
                new_warnings.append((mode, name, sorted(added)))
                print(f"{mode}\t{name}\tnew warnings\t{sorted(added)}")
for mode, (written, refused, leaking) in totals.items():
    print(f"{mode}: {written} written, {refused} refused, {leaking} written with a position left")
print(f"copies with a new exiftool warning: {len(new_warnings)}")
sys.exit(1 if any(t[2] for t in totals.values()) else 0)
