#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""vantorel-cli parse, write --at and erase over several photos: one line per photo, the worst
exit code, positions read as people write them and refused with a reason."""
import os
import shutil
import subprocess
import sys
import tempfile

cli, samples = sys.argv[1], sys.argv[2]
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


# parse: the same position whatever the locale, written with its separator.
for lang, sep in (("fr_FR.UTF-8", ","), ("C.UTF-8", ".")):
    r = run("parse", "48°51'30.2\"N 2°17'40.2\"W", lang=lang)
    check(f"parse DMS in {lang}", r.returncode == 0 and r.stdout.decode() == f"48{sep}858389\t-2{sep}294500\n",
          r.stdout.decode())
r = run("parse", "48.8584", "2.2945")
check("parse joins its words", r.returncode == 0 and r.stdout.decode() == "48,858400\t2,294500\n", r.stdout)
for refused, reason in (("48,5", "ambigu"), ("48°60'N 2°E", "minutes"),
                        ("https://www.openstreetmap.org/#map=17/95/2", "latitude"), ("\x1b[2J", "contrôle")):
    r = run("parse", refused)
    check(f"parse refuses {refused!r}", r.returncode == 4 and reason in r.stderr.decode() and not r.stdout,
          r.stderr.decode())

with tempfile.TemporaryDirectory() as tmp:
    photos = []
    for name in ("a.jpg", "b.jpg", "c.jpg"):
        photos.append(os.path.join(tmp, name))
        shutil.copy(os.path.join(samples, "exiv2_bug528.jpg"), photos[-1])
    broken = os.path.join(tmp, "broken.jpg")
    with open(broken, "w") as f:
        f.write("not a picture")
    sources = {p: open(p, "rb").read() for p in photos}

    r = run("write", "--at", "geo:-33.8568,151.2153;u=10", *photos)
    lines = r.stdout.decode().splitlines()
    check("write --at: one line per photo", r.returncode == 0 and lines == [
        f"{p}\técrite\t{os.path.join(tmp, '#' + os.path.basename(p))}" for p in photos], r.stdout.decode())
    for p in photos:
        coords = run("coords", os.path.join(tmp, "#" + os.path.basename(p))).stdout.decode().split("\t")
        check("copy holds the position", coords[1:4] == ["1", "-33,85680", "151,21530"], str(coords))
        check("source unchanged", open(p, "rb").read() == sources[p])

    # An existing copy is kept, a broken photo fails: the failure's code wins, every photo is reported.
    os.unlink(os.path.join(tmp, "#b.jpg"))
    r = run("write", "--at", "N 10° 30,5' E 20°", photos[0], broken, photos[1])
    results = [line.split("\t")[1] for line in r.stdout.decode().splitlines()]
    check("worst code wins", r.returncode == 1 and results == ["gardée", "échec", "écrite"], r.stdout.decode())
    r = run("write", "--at", "N 10° 30,5' E 20°", photos[0], photos[1])
    check("kept copies exit 3", r.returncode == 3, r.stdout.decode())
    r = run("write", "--at", "N 10° 30,5' E 20°", "--force", photos[0])
    check("--force replaces", r.returncode == 0 and "\tremplacée\t" in r.stdout.decode(), r.stdout.decode())
    before = {n: open(os.path.join(tmp, n), "rb").read() for n in os.listdir(tmp)}
    r = run("write", "--at", "48,5", "--force", *photos)
    after = {n: open(os.path.join(tmp, n), "rb").read() for n in os.listdir(tmp)}
    check("a refused position writes nothing", r.returncode == 4 and "ambigu" in r.stderr.decode()
          and before == after)
    check("write --at without photo exits 2", run("write", "--at", "1.5 2").returncode == 2)

    r = run("erase", *photos)
    check("erase of several photos", r.returncode == 0 and len(r.stdout.decode().splitlines()) == 3, r.stdout)
    for p in photos:
        coords = run("coords", os.path.join(tmp, "~" + os.path.basename(p))).stdout.decode().split("\t")
        check("erased copy has no position", coords[1] == "0", str(coords))
    # One photo keeps the single-photo output: the copy's path alone.
    os.unlink(os.path.join(tmp, "~a.jpg"))
    r = run("erase", photos[0])
    check("erase of one photo prints its copy", r.stdout.decode() == os.path.join(tmp, "~a.jpg") + "\n")

print(f"{passed} passed, {failed} failed")
sys.exit(1 if failed else 0)
