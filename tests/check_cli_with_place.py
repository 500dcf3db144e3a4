#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""vantorel-cli write --with-place: the "#" copy names the position's place in XMP (a photo without
a packet is given one) and in the IPTC block the photo has, every other byte of the packet kept;
nothing at sea; erase --all-location takes the names out again. Read back with exiftool."""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

cli, samples = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
passed = failed = 0


def run(*args, **env):
    environment = {k: v for k, v in os.environ.items() if not k.startswith("LC_") and k not in ("LANG", "LANGUAGE")}
    environment.update(env)
    return subprocess.run([cli, *args], env=environment, capture_output=True, timeout=120)


def check(name, condition, detail=""):
    global passed, failed
    if condition:
        passed += 1
    else:
        failed += 1
        print("FAIL", name, detail)


def tags(path):
    r = subprocess.run(["exiftool", "-j", "-a", "-G1", "-charset", "iptc=latin1", "-XMP:all", "-IPTC:all", path],
                       capture_output=True, timeout=60)
    return json.loads(r.stdout)[0] if r.returncode == 0 else {}


def xmp_packet(path):
    return subprocess.run(["exiftool", "-b", "-XMP", path], capture_output=True, timeout=60).stdout


if not shutil.which("exiftool") or not shutil.which("exiv2") or not shutil.which("convert"):
    print("0 passed, 0 failed, 1 skipped: exiftool, exiv2 or convert missing")
    sys.exit(0)

ARREZZO = {"XMP-photoshop:City": "Arezzo", "XMP-photoshop:State": "Toscane", "XMP-photoshop:Country": "Italie",
           "XMP-iptcCore:CountryCode": "IT"}
with tempfile.TemporaryDirectory() as tmp:
    # A packet of its own: the names are added to it, its other bytes kept.
    with_xmp = os.path.join(tmp, "with-xmp.jpg")
    shutil.copy(os.path.join(samples, "exifsamples_gps_DSCN0010.jpg"), with_xmp)
    r = run("write", with_xmp, "43.4633", "11.83", "--with-place")
    copy = os.path.join(tmp, "#with-xmp.jpg")
    t = tags(copy)
    check("names added to the packet", r.returncode == 0 and all(t.get(k) == v for k, v in ARREZZO.items()), t)
    before, after = xmp_packet(with_xmp), xmp_packet(copy)
    added = re.compile(rb' xmlns:photoshop="[^"]*" xmlns:Iptc4xmpCore="[^"]*" photoshop:City="Arezzo" '
                       rb'photoshop:State="Toscane" photoshop:Country="Italie" Iptc4xmpCore:CountryCode="IT"')
    check("the packet's own text kept", added.search(after) and added.sub(b"", after) == before, after[:400])

    # No packet and no IPTC block: a packet is made, no IPTC block.
    plain = os.path.join(tmp, "plain.jpg")
    subprocess.run(["convert", "-size", "16x16", "xc:gray", plain], check=True)
    r = run("write", "--at", "43.4633, 11.83", plain, "--with-place")
    t = tags(os.path.join(tmp, "#plain.jpg"))
    check("a packet for a photo without one", r.returncode == 0 and all(t.get(k) == v for k, v in ARREZZO.items()), t)
    check("no IPTC block made", not any(k.startswith("IPTC:") for k in t), t)
    check("the position written too", run("coords", os.path.join(tmp, "#plain.jpg")).stdout.split(b"\t")[1] == b"1")

    # An IPTC block (Latin-1): its place datasets replaced, its other datasets kept.
    iptc = os.path.join(tmp, "iptc.jpg")
    shutil.copy(plain, iptc)
    subprocess.run(["exiv2", "-M", "set Iptc.Application2.Caption String hello", "-M",
                    "set Iptc.Application2.City String Nowhere", iptc], check=True)
    r = run("write", iptc, "48.8566", "2.3522", "--with-place", LANG="C.UTF-8")
    t = tags(os.path.join(tmp, "#iptc.jpg"))
    check("IPTC places", r.returncode == 0 and t.get("IPTC:City") == "Paris" and
          t.get("IPTC:Province-State") == "Île-de-France" and t.get("IPTC:Country-PrimaryLocationName") == "France"
          and t.get("IPTC:Country-PrimaryLocationCode") == "FR" and t.get("IPTC:Caption-Abstract") == "hello", t)
    check("XMP places beside them", t.get("XMP-photoshop:City") == "Paris", t)

    # Łódź cannot be written in Latin-1: the old city goes, the XMP packet names it. A block that
    # declares UTF-8 (1:90) takes every name.
    utf8 = os.path.join(tmp, "utf8.jpg")
    shutil.copy(plain, utf8)
    subprocess.run(["exiv2", "-M", "set Iptc.Envelope.CharacterSet String \x1b%G", "-M",
                    "set Iptc.Application2.City String Nowhere", utf8], check=True)
    for photo, city, region in ((iptc, None, None), (utf8, "Łódź", "Voïvodie de Łódź")):
        r = run("write", "--force", photo, "51.7592", "19.456", "--with-place")
        t = tags(os.path.join(tmp, "#" + os.path.basename(photo)))
        check(f"Łódź in {photo}", r.returncode == 0 and t.get("IPTC:City") == city and
              t.get("IPTC:Province-State") == region and t.get("IPTC:Country-PrimaryLocationName") == "Pologne" and
              t.get("XMP-photoshop:City") == "Łódź", t)

    # English names with LC_MESSAGES=C.
    r = run("write", "--force", iptc, "43.4633", "11.83", "--with-place", LANG="C.UTF-8", LC_MESSAGES="C")
    t = tags(os.path.join(tmp, "#iptc.jpg"))
    check("names in English", t.get("IPTC:Province-State") == "Tuscany" and t.get("XMP-photoshop:Country") == "Italy", t)

    # At sea: no town names the place.
    r = run("write", "--force", plain, "35", "-40", "--with-place")
    t = tags(os.path.join(tmp, "#plain.jpg"))
    check("nothing at sea", r.returncode == 0 and "XMP-photoshop:City" not in t, t)

    # erase --all-location takes every name out of a copy with places.
    r = run("erase", "--all-location", os.path.join(tmp, "#iptc.jpg"))
    t = tags(os.path.join(tmp, "~#iptc.jpg"))
    check("erase --all-location removes the names", r.returncode == 0 and not any(
        k in t for k in list(ARREZZO) + ["IPTC:City", "IPTC:Province-State", "IPTC:Country-PrimaryLocationName",
                                         "IPTC:Country-PrimaryLocationCode"]) and t.get("IPTC:Caption-Abstract") == "hello",
          t)
    check("erase says what it took", "4 propriétés XMP, 4 champs IPTC" in r.stderr.decode(), r.stderr.decode())

    # correlate --with-place: a photo taken at 12:00 UTC on a track through Arezzo.
    timed = os.path.join(tmp, "timed.jpg")
    shutil.copy(plain, timed)
    subprocess.run(["exiv2", "-M", "set Exif.Photo.DateTimeOriginal Ascii 2024:05:01 12:00:00", timed], check=True)
    track = os.path.join(tmp, "track.gpx")
    with open(track, "w") as f:
        f.write('<?xml version="1.0"?><gpx version="1.1" creator="t" xmlns="http://www.topografix.com/GPX/1/1">'
                '<trk><trkseg><trkpt lat="43.46" lon="11.87"><time>2024-05-01T11:59:00Z</time></trkpt>'
                '<trkpt lat="43.47" lon="11.89"><time>2024-05-01T12:01:00Z</time></trkpt></trkseg></trk></gpx>')
    r = run("correlate", "--track", track, "--tz", "UTC", "--with-place", timed)
    t = tags(os.path.join(tmp, "#timed.jpg"))
    check("correlate --with-place", r.returncode == 0 and all(t.get(k) == v for k, v in ARREZZO.items()),
          (r.stdout, r.stderr, t))

print(f"{passed} passed, {failed} failed")
sys.exit(1 if failed else 0)
