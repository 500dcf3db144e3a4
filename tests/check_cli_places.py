#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""vantorel-cli place: the town, region, country, ISO code, zone and distance of a position or of
each photo, named in the locale's language, escaped for a terminal, with the other commands'
messages for photos it cannot place."""
import os
import shutil
import subprocess
import sys
import tempfile

cli, samples = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
passed = failed = 0


def run(*args, **env):
    environment = {k: v for k, v in os.environ.items() if not k.startswith("LC_") and k not in ("LANG", "LANGUAGE")}
    environment.update(env)
    return subprocess.run([cli, "place", *args], env=environment, capture_output=True, timeout=120)


def check(name, condition, detail=""):
    global passed, failed
    if condition:
        passed += 1
    else:
        failed += 1
        print("FAIL", name, detail)


# The locale's language; French when none is set or it has none; English with LC_MESSAGES=C.
for env, expected in (({}, "Arezzo\tToscane\tItalie\tIT\tEurope/Rome\t0.1\n"),
                      ({"LANG": "C.UTF-8"}, "Arezzo\tToscane\tItalie\tIT\tEurope/Rome\t0.1\n"),
                      ({"LC_ALL": "fr_FR.UTF-8"}, "Arezzo\tToscane\tItalie\tIT\tEurope/Rome\t0,1\n"),
                      ({"LANG": "C.UTF-8", "LC_MESSAGES": "C"}, "Arezzo\tTuscany\tItaly\tIT\tEurope/Rome\t0.1\n"),
                      ({"LC_ALL": "de_DE.UTF-8"}, "Arezzo\tToskana\tItalien\tIT\tEurope/Rome\t0,1\n")):
    r = run("43.4633", "11.8797", **env)
    check(f"Arezzo with {env}", r.returncode == 0 and r.stdout.decode() == expected, r.stdout.decode())

# Across the 180th meridian, at sea, at the poles; a negative latitude after "--"; a comma.
for args, expected in ((["--", "-16.43", "179.5"], "Labasa\tDivision septentrionale\tFidji\tFJ\tPacific/Fiji\t14.5\n"),
                       (["--", "-16.85", "-179.95"], "en mer\t\t\t\t\t86.5\n"),
                       (["90", "0"], "en mer\t\t\t\t\t1309.5\n"),
                       (["--", "-90", "0"], "en mer\t\t\t\t\t3912.9\n"),
                       (["48,8566", "2,3522"], "Paris\tÎle-de-France\tFrance\tFR\tEurope/Paris\t0.4\n")):
    r = run(*args, LANG="C.UTF-8")
    check(f"place {args}", r.returncode == 0 and r.stdout.decode() == expected, r.stdout.decode())

for args, code in ((["91", "0"], 4), (["0", "-180.5"], 4), ([], 2)):
    r = run(*args)
    check(f"place {args} exits {code}", r.returncode == code and not r.stdout and r.stderr, repr(r))

with tempfile.TemporaryDirectory() as tmp:
    geotagged = os.path.join(samples, "exifsamples_gps_DSCN0010.jpg")
    plain = os.path.join(samples, "exifsamples_Canon_40D.jpg")
    # A name with a tab and a line feed is escaped like every other command's.
    odd = os.path.join(tmp, "a\tb\nc.jpg")
    shutil.copy(geotagged, odd)
    # Files named like numbers are photos, not a position.
    shutil.copy(geotagged, os.path.join(tmp, "43"))
    shutil.copy(geotagged, os.path.join(tmp, "11"))
    r = run(geotagged, plain, odd, os.path.join(tmp, "missing.jpg"), LANG="C.UTF-8")
    lines = r.stdout.decode().splitlines()
    check("photos: one line each for the geotagged ones", r.returncode == 1 and len(lines) == 2, repr(r))
    check("photo line", lines[:1] == [geotagged + "\tArezzo\tToscane\tItalie\tIT\tEurope/Rome\t0.6"], lines)
    check("escaped name", lines[1:] == [tmp + "/a\\tb\\nc.jpg\tArezzo\tToscane\tItalie\tIT\tEurope/Rome\t0.6"], lines)
    err = r.stderr.decode()
    check("not geotagged is said", "place : photo non géocodée : " + plain in err, err)
    check("unreadable is said as coords says it", "missing.jpg » : fichier introuvable" in err, err)
    r = subprocess.run([cli, "place", "43", "11"], cwd=tmp, capture_output=True, env=dict(os.environ, LANG="C.UTF-8"))
    check("numbers naming files are photos", r.returncode == 0 and r.stdout.decode().count("Arezzo") == 2, repr(r))

print(f"{passed} passed, {failed} failed")
sys.exit(1 if failed else 0)
