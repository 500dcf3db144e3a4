#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""vantorel-cli coords on every real-camera sample, against the values another reader found
(expected.tsv): the verdict, the signed decimal degrees and the reference letters. Also checks
that no sample's bytes changed."""
import csv
import hashlib
import os
import subprocess
import sys

cli, samples = sys.argv[1], sys.argv[2]
expected = {row["file"]: row for row in csv.DictReader(open(os.path.join(samples, "expected.tsv")), delimiter="\t")}
files = sorted(os.path.join(samples, f) for f in expected)


def digests():
    return {f: hashlib.sha256(open(f, "rb").read()).hexdigest() for f in files}


before = digests()
env = dict(os.environ, LC_ALL="fr_FR.UTF-8")
out = subprocess.run([cli, "coords", *files], env=env, capture_output=True, check=True, timeout=300).stdout
lines = out.decode("utf-8").splitlines()

passed = failed = 0
if len(lines) != len(files):
    print(f"expected {len(files)} lines, got {len(lines)}")
    failed += 1
for line in lines:
    path, verdict, lat, lon, lat_text, lon_text = line.split("\t")
    e = expected[os.path.basename(path)]
    problems = []
    if verdict != e["has_gps"]:
        problems.append(f"verdict {verdict} != {e['has_gps']}")
    elif verdict == "1":
        # Decimal degrees are shown with 5 decimals from 32-bit floats.
        for name, got, want in (("lat", lat, e["lat"]), ("lon", lon, e["lon"])):
            if "." in got or abs(float(got.replace(",", ".")) - float(want)) > 1.5e-5:
                problems.append(f"{name} {got} != {want}")
        if not lat_text.startswith(e["lat_ref"] + " ") or not lon_text.startswith(e["lon_ref"] + " "):
            problems.append(f"refs {lat_text!r} {lon_text!r} != {e['lat_ref']} {e['lon_ref']}")
    else:
        if lat or lon or lat_text or lon_text:
            problems.append("texts for a photo without position")
    if problems:
        failed += 1
        print(os.path.basename(path), "; ".join(problems))
    else:
        passed += 1

changed = [f for f, d in digests().items() if before[f] != d]
for f in changed:
    print("changed:", f)
failed += len(changed)
print(f"{passed} passed, {failed} failed")
sys.exit(1 if failed else 0)
