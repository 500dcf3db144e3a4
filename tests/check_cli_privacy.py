#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""vantorel-cli write and erase on files that once let a position through or refused a sound copy:
each is clean, or refused with exit 1 and a reason, never written with a trace of the old
position."""
import os
import shutil
import stat
import struct
import subprocess
import sys
import tempfile

cli, samples = sys.argv[1], sys.argv[2]
findings = os.path.join(os.path.dirname(os.path.abspath(__file__)), "data", "findings")
passed = failed = 0


def run(*args, lang="fr_FR.UTF-8"):
    return subprocess.run([cli, *args], env=dict(os.environ, LC_ALL=lang), capture_output=True, timeout=120)


def check(name, condition, detail=""):
    global passed, failed
    if condition:
        passed += 1
    else:
        failed += 1
        print("FAIL", name, detail)


def gps_table(jpeg):
    """The first Exif segment's GPS directory: its offset in the file and its bytes."""
    at = jpeg.index(b"Exif\0\0") + 6
    base = at
    order = "<" if jpeg[at:at + 2] == b"II" else ">"
    ifd0 = base + struct.unpack_from(order + "I", jpeg, base + 4)[0]
    for k in range(struct.unpack_from(order + "H", jpeg, ifd0)[0]):
        tag, _, _, value = struct.unpack_from(order + "HHII", jpeg, ifd0 + 2 + 12 * k)
        if tag == 0x8825:
            count = struct.unpack_from(order + "H", jpeg, base + value)[0]
            return base + value, jpeg[base + value:base + value + 2 + 12 * count + 4]
    return None, b""


with tempfile.TemporaryDirectory() as tmp:
    # A damaged GPS directory of 256 entries, laid partly over the maker note: every byte of it
    # that nothing else uses goes, with --all-location as with a plain erase.
    source = os.path.join(tmp, "damaged.jpg")
    shutil.copy(os.path.join(findings, "erase-all-location-damaged-gps.jpg"), source)
    original = open(source, "rb").read()
    at, table = gps_table(original)
    check("the finding has its damaged GPS directory", at is not None and len(table) == 2 + 12 * 256 + 4)
    own = table[:220]  # the entries before the maker note starts
    for args in (["erase", "--all-location"], ["erase"]):
        copy = os.path.join(tmp, "~damaged.jpg")
        if os.path.exists(copy):
            os.unlink(copy)
        r = run(*args, source)
        if r.returncode == 0:
            written = open(copy, "rb").read()
            check(f"{args}: the old GPS entries are gone", own not in written and written[at:at + 220] != own)
            check(f"{args}: nothing but the Exif segment changes",
                  len(written) == len(original), f"{len(written)} != {len(original)}")
        else:
            check(f"{args}: refused with a reason", r.returncode == 1 and r.stderr.strip()
                  and not os.path.exists(copy), r.stderr.decode())
        check(f"{args}: the source is unchanged", open(source, "rb").read() == original)

    # A new latitude beside the same longitude is the new position, not a trace of the old one.
    photo = os.path.join(tmp, "a.jpg")
    shutil.copy(os.path.join(samples, "exiv2_bug528.jpg"), photo)
    r = run("write", photo, "45,5", "6,5")
    check("write 45,5 6,5", r.returncode == 0, r.stderr.decode())
    again = os.path.join(tmp, "#a.jpg")
    r = run("write", again, "45,7", "6,5")
    check("write 45,7 6,5 over a copy at 45,5 6,5", r.returncode == 0, r.stderr.decode())
    coords = run("coords", os.path.join(tmp, "##a.jpg")).stdout.decode().split("\t")
    check("the copy holds the new position", coords[1:4] == ["1", "45,70000", "6,50000"], str(coords))
    r = run("write", "--force", again, "6,5", "45,5")
    check("coordinates swapped are a new position too", r.returncode == 0, r.stderr.decode())

    # A photo without GPS directory: the new one states its version, the copy raises no new
    # warning, its coordinates are rounded (33° 51,4080', not 51,4079'), and a set-user-id or
    # set-group-id bit of the source never reaches the copy.
    plain = os.path.join(tmp, "plain.jpg")
    shutil.copy(os.path.join(samples, "exifsamples_Canon_PowerShot_S40.jpg"), plain)
    os.chmod(plain, 0o6755)
    r = run("write", "--at", "-33.8568 151.2153", plain)
    copy = os.path.join(tmp, "#plain.jpg")
    check("write on a photo without GPS", r.returncode == 0, r.stderr.decode())
    if shutil.which("exiftool"):
        tags = subprocess.run(["exiftool", "-n", "-s3", "-GPSVersionID", "-GPSLatitude", "-GPSLongitude", copy],
                              capture_output=True).stdout.decode().split("\n")
        check("the new GPS directory states version 2.3.0.0", tags[0] == "2 3 0 0", str(tags))
        check("the coordinates are rounded", abs(abs(float(tags[1])) - 33.8568) < 1e-9
              and abs(float(tags[2]) - 151.2153) < 1e-9, str(tags))

        def warnings(path):
            out = subprocess.run(["exiftool", "-a", "-s", "-validate", "-warning", path],
                                 capture_output=True).stdout.decode()
            return {line for line in out.splitlines() if line.startswith("Warning")}
        check("no new exiftool warning", warnings(copy) <= warnings(plain), str(warnings(copy) - warnings(plain)))
        # A photo without Exif is given a block that raises no warning either.
        bare = os.path.join(tmp, "bare.jpg")
        shutil.copy(os.path.join(samples, "mdextract_beach_dnl.jpg"), bare)
        r = run("write", bare, "48,5", "-2,25")
        copy_bare = os.path.join(tmp, "#bare.jpg")
        check("write on a photo without Exif", r.returncode == 0, r.stderr.decode())
        check("a new Exif block raises no warning", warnings(copy_bare) <= warnings(bare),
              str(warnings(copy_bare) - warnings(bare)))
    mode = stat.S_IMODE(os.stat(copy).st_mode)
    check("no set-user-id or set-group-id bit", mode == 0o755, oct(mode))

print(f"{passed} passed, {failed} failed")
sys.exit(1 if failed else 0)
