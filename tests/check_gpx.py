#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""vantorel-cli gpx as other tools see it: every file valid against the published GPX 1.0 schema
(xmllint), read back by gpsbabel with the positions, names and elevations the real photos hold,
hostile file names intact, and the exit codes and messages a script relies on."""
import csv
import io
import os
import resource
import signal
import shutil
import subprocess
import sys
import tempfile

import unprivileged

cli, samples = sys.argv[1], sys.argv[2]
reference = os.environ.get("VANTOREL_REFERENCE_DIR", os.path.join(samples, "..", "reference"))
schema = os.path.join(reference, "gpx10.xsd")
env = dict(os.environ, LC_ALL="fr_FR.UTF-8")
passed = failed = 0


def run(*args):
    return subprocess.run([cli, *args], env=env, capture_output=True, timeout=120)


def check(name, condition, detail=""):
    global passed, failed
    if condition:
        passed += 1
    else:
        failed += 1
        print("FAIL", name, detail)


def schema_errors(path):
    r = subprocess.run(["xmllint", "--noout", "--schema", schema, path], capture_output=True, timeout=60)
    return "" if r.returncode == 0 else r.stderr.decode(errors="replace")


def babel(path):
    """The waypoints as gpsbabel reads them, one dict per waypoint."""
    r = subprocess.run(["gpsbabel", "-i", "gpx", "-f", path, "-o", "unicsv", "-F", "-"],
                       capture_output=True, timeout=60)
    if r.returncode != 0:
        return None, r.stderr.decode(errors="replace")
    return list(csv.DictReader(io.StringIO(r.stdout.decode("utf-8", errors="replace")))), ""


def expected_rows():
    with open(os.path.join(samples, "expected.tsv"), newline="") as f:
        return [r for r in csv.DictReader(f, delimiter="\t") if r["has_gps"] == "1"]


help_text = run("--help").stdout.decode()
check("help: gpx and its exit codes", "gpx [-o FICHIER]" in help_text and "Codes de sortie" in help_text)
check("gpx without photo exits 2", run("gpx").returncode == 2)
check("gpx -o without file exits 2", run("gpx", "-o").returncode == 2)

with tempfile.TemporaryDirectory() as tmp:
    # Every real sample: positions, names, elevations and paths against the expected values.
    photos = sorted(os.path.join(samples, n) for n in os.listdir(samples) if n.lower().endswith(".jpg"))
    out = os.path.join(tmp, "real.gpx")
    r = run("gpx", "-o", out, *photos)
    check("real: exit 0", r.returncode == 0, r.stderr.decode())
    check("real: valid GPX 1.0", schema_errors(out) == "", schema_errors(out))
    waypoints, why = babel(out)
    check("real: gpsbabel reads it", waypoints is not None, why)
    waypoints = waypoints or []
    expected = expected_rows()
    check("real: one waypoint per geotagged photo", len(waypoints) == len(expected),
          f"{len(waypoints)} != {len(expected)}")
    by_name = {w["Name"]: w for w in waypoints}
    for e in expected:
        w = by_name.get(e["file"][:-4])
        if w is None:
            check("real: waypoint of " + e["file"], False)
            continue
        check("real: path of " + e["file"], w["Description"] == os.path.normpath(os.path.join(os.path.abspath(samples), e["file"])), w["Description"])
        for axis, key in (("Latitude", "lat"), ("Longitude", "lon")):
            check(f"real: {axis} of {e['file']}", abs(float(w[axis]) - float(e[key])) < 2e-5,
                  f"{w[axis]} vs {e[key]}")
        altitude = w.get("Altitude") or ""
        if e["alt"]:
            want = float(e["alt"]) * (-1 if e["alt_ref"] == "1" else 1)
            check("real: elevation of " + e["file"], altitude != "" and abs(float(altitude) - want) < 0.06,
                  f"{altitude!r} vs {want}")
        else:
            check("real: no elevation for " + e["file"], altitude == "", altitude)

    # Hostile names: markup, quotes, ampersands, a tab, a line break, a leading dash.
    geo = os.path.join(samples, "exiv2_bug528.jpg")  # N 47.616117, E 1.516928
    names = ['a&b<c>"d\'e.jpg', "<name><x>.jpg", "]]>--&amp;.jpg", "tab\there.jpg", "new\nline.jpg",
             "-o.jpg", "été 東京.jpg"]
    odd = os.path.join(tmp, "odd & <dir>")
    os.makedirs(odd)
    paths = []
    for n in names:
        shutil.copy(geo, os.path.join(odd, n))
        paths.append(os.path.join(odd, n))
    r = subprocess.run([cli, "gpx", "--", *paths], env=env, capture_output=True, timeout=120)
    check("hostile: exit 0", r.returncode == 0, r.stderr.decode(errors="replace"))
    hostile = os.path.join(tmp, "hostile.gpx")
    with open(hostile, "wb") as f:
        f.write(r.stdout)
    check("hostile: valid GPX 1.0", schema_errors(hostile) == "", schema_errors(hostile))
    waypoints, why = babel(hostile)
    check("hostile: gpsbabel reads it", waypoints is not None, why)
    waypoints = waypoints or []
    check("hostile: every photo", len(waypoints) == len(names), len(waypoints))
    got = {w["Name"] for w in waypoints}
    for n in names:
        if "\n" in n or "\t" in n:
            continue  # gpsbabel's CSV folds blanks; the XML reader of the unit tests checks these
        check("hostile: name " + repr(n), n[:-4] in got, sorted(got))
    check("hostile: paths", all(abs(float(w["Latitude"]) - 47.616117) < 2e-5 for w in waypoints))

    # A folder or a missing file: a message each, the others written, exit 1.
    r = run("gpx", geo, tmp, os.path.join(tmp, "missing.jpg"))
    err = r.stderr.decode()
    check("skipped: exit 1", r.returncode == 1, r.returncode)
    check("skipped: folder named", tmp in err and "dossier" in err, err)
    check("skipped: missing file named", "missing.jpg" in err and "introuvable" in err, err)
    check("skipped: the others written", r.stdout.count(b"<wpt ") == 1)

    # Failed writes: nothing half-written, an existing file byte for byte, exit 3.
    r = run("gpx", "-o", os.path.join(tmp, "gone", "x.gpx"), geo)
    check("missing folder: exit 3", r.returncode == 3, r.returncode)
    check("missing folder: message", "Impossible de creer le fichier GPX" in r.stderr.decode(), r.stderr.decode())
    check("missing folder: nothing made", not os.path.exists(os.path.join(tmp, "gone")))
    keep = os.path.join(tmp, "keep")
    os.makedirs(keep)
    target = os.path.join(keep, "WP_photos.gpx")
    with open(target, "wb") as f:
        f.write(b"old contents\r\n")
    os.makedirs(target + ".part")  # the temporary name is taken: the write cannot start
    r = run("gpx", "-o", target, geo)
    check("taken temporary name: exit 3", r.returncode == 3, r.returncode)
    with open(target, "rb") as f:
        check("taken temporary name: old file intact", f.read() == b"old contents\r\n")
    os.rmdir(target + ".part")
    r = run("gpx", "-o", target, geo)
    check("replaced: exit 0", r.returncode == 0, r.stderr.decode())
    check("replaced: nothing left beside", sorted(os.listdir(keep)) == ["WP_photos.gpx"], os.listdir(keep))
    check("replaced: valid", schema_errors(target) == "", schema_errors(target))

    # No geotagged photo: refused as the window refuses it, an existing file left as it was.
    plain = os.path.join(samples, "exifsamples_32_Nikon_D300_prog.jpg")
    with open(target, "rb") as f:
        before = f.read()
    for args in (["-o", target, plain], [plain]):
        r = run("gpx", *args)
        what = "no geotag (" + " ".join(args[:-1] or ["stdout"]) + ")"
        check(what + ": exit 1", r.returncode == 1, r.returncode)
        check(what + ": message", "Il n'y a aucune image géocodée à exporter en Gpx." in r.stderr.decode(),
              r.stderr.decode())
        check(what + ": nothing written", r.stdout == b"")
    with open(target, "rb") as f:
        check("no geotag: existing file intact", f.read() == before)
    check("no geotag: nothing left beside", sorted(os.listdir(keep)) == ["WP_photos.gpx"], os.listdir(keep))

    # The waypoints go to the file as the photos are read: a write failing part way (the file size
    # limit reached, as a full disk would) leaves the old file as it was and nothing beside it.
    def size_limited(limit):
        def limit_file_size():
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))
        return limit_file_size

    many = [geo] * 1000  # about 190 KB of waypoints, written 64 KB at a time
    full = subprocess.run([cli, "gpx", "-o", target, *many], env=env, capture_output=True, timeout=120,
                          preexec_fn=size_limited(100_000))
    check("write failing part way: exit 3", full.returncode == 3, full.returncode)
    check("write failing part way: message", "Impossible de creer le fichier GPX" in full.stderr.decode(),
          full.stderr.decode())
    with open(target, "rb") as f:
        check("write failing part way: old file intact", f.read() == before)
    check("write failing part way: nothing left beside", sorted(os.listdir(keep)) == ["WP_photos.gpx"],
          os.listdir(keep))
    whole = run("gpx", "-o", target, *many)
    check("many: exit 0", whole.returncode == 0, whole.stderr.decode())
    with open(target, "rb") as f:
        written = f.read()
    check("many: every waypoint", written.count(b"<wpt ") == len(many) and written.endswith(b"</gpx>\r\n"))
    # The same bytes on standard output, unreadable photos among them.
    mixed = [geo, tmp, *many[:3], os.path.join(tmp, "missing.jpg"), plain, geo]
    to_file = run("gpx", "-o", target, *mixed)
    to_stdout = run("gpx", *mixed)
    with open(target, "rb") as f:
        check("stdout and file: same bytes", f.read() == to_stdout.stdout)
    check("stdout and file: same messages and exit 1",
          to_file.stderr == to_stdout.stderr and to_file.returncode == to_stdout.returncode == 1,
          (to_file.stderr, to_stdout.stderr))

    # Standard output that cannot be written (a full disk), with one piece or many: exit 3, said.
    if os.path.exists("/dev/full"):
        for count in (1, 1000):
            with open("/dev/full", "wb") as full_device:
                r = subprocess.run([cli, "gpx", *([geo] * count)], env=env, stdout=full_device,
                                   stderr=subprocess.PIPE, timeout=120)
            check(f"full standard output ({count}): exit 3 and message",
                  r.returncode == 3 and "écriture sur la sortie standard impossible" in r.stderr.decode(),
                  (r.returncode, r.stderr.decode()))

    # No geotagged photo is refused before any file is made: a missing folder is not even tried.
    r = run("gpx", "-o", os.path.join(tmp, "gone", "x.gpx"), plain, os.path.join(tmp, "missing.jpg"))
    check("no geotag, missing folder: exit 1", r.returncode == 1, r.returncode)
    check("no geotag, missing folder: refusal and unreadable photo named",
          r.stderr.decode().endswith("Il n'y a aucune image géocodée à exporter en Gpx.\n")
          and "missing.jpg" in r.stderr.decode(), r.stderr.decode())

    # A folder that cannot be written: no file, exit 3; unprivileged, as root writes everywhere.
    nobody = unprivileged.as_nobody(cli, tmp, [geo], env)
    if nobody is None:
        print("SKIP unwritable folder: no unprivileged user to run as")
    else:
        as_user, user_cli, copies = nobody
        locked = os.path.join(tmp, "locked")
        os.makedirs(locked)
        os.chmod(locked, 0o555)
        r = subprocess.run([*as_user, user_cli, "gpx", "-o", os.path.join(locked, "x.gpx"), copies[os.path.basename(geo)],
                            copies[os.path.basename(geo)]], env=env, capture_output=True, timeout=120)
        check("unwritable folder: exit 3", r.returncode == 3, (r.returncode, r.stderr))
        check("unwritable folder: message", "Impossible de creer le fichier GPX" in r.stderr.decode(),
              r.stderr.decode())
        check("unwritable folder: no file", os.listdir(locked) == [], os.listdir(locked))

print(f"{passed} passed, {failed} failed")
sys.exit(1 if failed else 0)
