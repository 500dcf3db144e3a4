#!/usr/bin/env python3
"""vantorel-cli as a script sees it: exit codes, one line per record whatever the path holds,
the French help, and the reference notices on standard error."""
import os
import shutil
import subprocess
import sys
import tempfile

cli, samples = sys.argv[1], sys.argv[2]
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


help_run = run("--help")
check("help exits 0", help_run.returncode == 0)
check("help is French", "Commandes" in help_run.stdout.decode() and "coords" in help_run.stdout.decode())
check("no command exits 2", run().returncode == 2)
check("unknown command exits 2", run("frobnicate", "x.jpg").returncode == 2)
check("coords without photo exits 2", run("coords").returncode == 2)

with tempfile.TemporaryDirectory() as tmp:
    geo = os.path.join(samples, "exiv2_bug528.jpg")  # N 47.616117, E 1.516928
    odd = os.path.join(tmp, "tab\there", "new\nline\\back.jpg")
    os.makedirs(os.path.dirname(odd))
    shutil.copy(geo, odd)
    escaped = odd.replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n")

    coords = run("coords", odd, os.path.join(tmp, "missing.jpg"))
    lines = coords.stdout.decode().split("\n")
    check("coords: one line per photo", len(lines) == 3 and lines[2] == "", repr(lines))
    fields = lines[0].split("\t")
    check("coords: escaped path", fields[0] == escaped, repr(fields[0]))
    check("coords: fields", fields[1:4] == ["1", "47,61612", "1,51693"], repr(fields))
    check("coords: missing file is no geotag", lines[1].split("\t")[1:] == ["0", "", "", "", ""], repr(lines[1]))

    poi = run("poi", odd, os.path.join(tmp, "missing.jpg"))
    rows = poi.stdout.decode().splitlines()
    check("poi: one row", len(rows) == 1, repr(rows))
    cells = rows[0].split("\t") if rows else []
    check("poi: ten cells", len(cells) == 10, repr(cells))
    check("poi: escaped name and path", cells[:1] == ["new\\nline\\\\back.jpg"] and cells[5] == escaped, repr(cells))

    exif = run("exif", odd)
    check("exif: exit 0", exif.returncode == 0)
    check("exif: model row", "EquipModel\tASCII\t" in exif.stdout.decode())
    bad = os.path.join(tmp, "text.jpg")
    with open(bad, "w") as f:
        f.write("not a picture")
    broken = run("exif", bad)
    check("exif: unreadable exits 1", broken.returncode == 1)
    check("exif: Erreur ret1 on stderr", "Erreur ret1" in broken.stderr.decode())

    # A geotagged photo without its north/south reference: the notice goes to standard error.
    noref = os.path.join(tmp, "noref.jpg")
    shutil.copy(geo, noref)
    subprocess.run(["exiv2", "-M", "del Exif.GPSInfo.GPSLatitudeRef", noref], check=True, capture_output=True)
    notice = run("coords", noref)
    check("coords: notice on stderr", "Nord sera supposé" in notice.stderr.decode(), notice.stderr.decode())
    check("coords: north assumed", notice.stdout.decode().split("\t")[4].startswith("N "))

print(f"{passed} passed, {failed} failed")
sys.exit(1 if failed else 0)
