#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""XMP sidecars from the command line: a RAW whose own file is never written gets NAME.EXT.xmp
from write and correlate, and its erase is refused with the reason; --sidecar writes sidecars for
any photo without a copy; --short-sidecar-name gives NAME.xmp; the photos are never touched; the
sidecars read back in exiftool and exiv2."""
import json
import os
import shutil
import subprocess
import sys
import tempfile

cli, samples = sys.argv[1], sys.argv[2]
env = dict(os.environ, LC_ALL="C.UTF-8", TZ="UTC")
passed = failed = 0


def check(name, condition, detail=""):
    global passed, failed
    if condition:
        passed += 1
    else:
        failed += 1
        print("FAIL", name, detail)


def run(*args):
    return subprocess.run([cli, *args], env=env, capture_output=True, timeout=300)


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except FileNotFoundError:
        return None


def exiftool_gps(path):
    if not shutil.which("exiftool"):
        return None
    r = subprocess.run(["exiftool", "-j", "-n", "-XMP:GPSLatitude", "-XMP:GPSLongitude", "-XMP:GPSAltitude",
                        "-XMP:GPSDateTime", path], capture_output=True, text=True)
    return json.loads(r.stdout)[0] if r.returncode == 0 else {}


with tempfile.TemporaryDirectory() as tmp:
    raf = os.path.join(tmp, "DSCF0001.RAF")
    with open(raf, "wb") as f:
        f.write(b"FUJIFILMCCD-RAW 0201FF383501" + bytes(range(256)) * 40)
    raf_bytes = read(raf)
    jpeg = os.path.join(tmp, "IMG 1 & <co>.jpg")
    shutil.copy(os.path.join(samples, "mdextract_Nikon_D1X.jpg"), jpeg)
    jpeg_bytes = read(jpeg)

    # A RAW of its own structure: write gives its sidecar, a second write edits it.
    r = run("write", "--at", "48.8584, 2.2945", raf, jpeg)
    lines = [line.split("\t") for line in r.stdout.decode().splitlines()]
    check("write on a RAW and a JPEG exits 0", r.returncode == 0, r.stderr.decode())
    check("the RAW's line names its sidecar",
          lines and lines[0] == [raf, "écrite", raf + ".xmp"], str(lines))
    check("the JPEG still gets its copy", len(lines) == 2 and lines[1][2].endswith("#IMG 1 & <co>.jpg"))
    tags = exiftool_gps(raf + ".xmp")
    if tags is not None:
        check("exiftool reads the sidecar's position",
              abs(tags.get("GPSLatitude", 0) - 48.8584) < 1e-5 and abs(tags.get("GPSLongitude", 0) - 2.2945) < 1e-5,
              str(tags))
    if shutil.which("exiv2"):
        listing = subprocess.run(["exiv2", "-pa", raf + ".xmp"], capture_output=True, text=True).stdout
        check("exiv2 reads the sidecar's position",
              "Xmp.exif.GPSLatitude" in listing and "48,51.5040N" in listing and "2,17.6700E" in listing,
              listing)
    r = run("write", "--at", "-33.5, 151.25", raf)
    check("a second write edits the sidecar",
          r.returncode == 0 and r.stdout.decode().split("\t")[1] == "modifiée" and
          b"33,30.0000S" in read(raf + ".xmp"), r.stdout.decode() + r.stderr.decode())
    r = run("write", raf, "10", "20")
    check("write PHOTO LAT LON on a RAW prints its sidecar", r.stdout.decode().strip() == raf + ".xmp",
          r.stdout.decode())

    # Its erase is refused with the reason; --sidecar cannot erase either.
    r = run("erase", raf)
    check("erase of a RAW is refused, exit 1",
          r.returncode == 1 and "XMP annexe" in r.stderr.decode() and
          not os.path.exists(os.path.join(tmp, "~DSCF0001.RAF")), r.stderr.decode())
    r = run("erase", "--sidecar", jpeg)
    check("erase --sidecar is refused, exit 2", r.returncode == 2 and "XMP annexe" in r.stderr.decode())

    # --sidecar: any photo, no copy; --short-sidecar-name.
    os.unlink(os.path.join(tmp, "#IMG 1 & <co>.jpg"))
    r = run("write", "--sidecar", "--short-sidecar-name", "--at", "1, 2", jpeg)
    check("write --sidecar --short-sidecar-name exits 0", r.returncode == 0, r.stderr.decode())
    check("no copy, NAME.xmp written",
          not os.path.exists(os.path.join(tmp, "#IMG 1 & <co>.jpg")) and
          read(os.path.join(tmp, "IMG 1 & <co>.xmp")) is not None, str(os.listdir(tmp)))
    check("the odd name is escaped in the sidecar",
          b'DerivedFrom="IMG 1 &amp; &lt;co&gt;.jpg"' in (read(os.path.join(tmp, "IMG 1 & <co>.xmp")) or b""))
    # A sidecar that is no XMP is kept unless --force.
    notes = jpeg + ".xmp"
    with open(notes, "wb") as f:
        f.write(b"my notes")
    r = run("write", "--sidecar", "--at", "1, 2", jpeg)
    check("a file that is no XMP is kept, exit 3", r.returncode == 3 and read(notes) == b"my notes",
          r.stderr.decode())
    r = run("write", "--sidecar", "--force", "--at", "1, 2", jpeg)
    check("--force replaces it", r.returncode == 0 and b"exif:GPSLatitude" in read(notes))

    # correlate: sidecars with altitude and time.
    track = os.path.join(tmp, "track.gpx")
    with open(track, "w") as f:
        f.write('<?xml version="1.0"?><gpx version="1.1" creator="t" xmlns="http://www.topografix.com/GPX/1/1">'
                '<trk><trkseg>'
                '<trkpt lat="45.0" lon="6.0"><ele>1000</ele><time>2001-01-01T00:00:00Z</time></trkpt>'
                '<trkpt lat="46.0" lon="7.0"><ele>2000</ele><time>2030-01-01T00:00:00Z</time></trkpt>'
                '</trkseg></trk></gpx>')
    timed = os.path.join(tmp, "timed.jpg")
    shutil.copy(os.path.join(samples, "mdextract_Nikon_D1X.jpg"), timed)
    timed_bytes = read(timed)
    r = run("correlate", "--track", track, "--tz", "UTC", "--max-gap", "1000000000", "--sidecar", timed)
    fields = r.stdout.decode().rstrip("\n").split("\t")
    check("correlate --sidecar writes the sidecar",
          r.returncode == 0 and fields[1] == "written" and fields[-1] == timed + ".xmp" and
          not os.path.exists(os.path.join(tmp, "#timed.jpg")), r.stdout.decode() + r.stderr.decode())
    tags = exiftool_gps(timed + ".xmp")
    if tags is not None:
        check("the correlated sidecar has altitude and time",
              "GPSAltitude" in tags and "GPSDateTime" in tags, str(tags))

    check("the photos are never touched",
          read(raf) == raf_bytes and read(jpeg) == jpeg_bytes and read(timed) == timed_bytes)

print(f"{passed} passed, {failed} failed")
sys.exit(1 if failed else 0)
