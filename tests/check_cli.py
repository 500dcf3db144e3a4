#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""vantorel-cli as a script sees it: exit codes, one line per record whatever the path holds,
the French help, and the reference notices on standard error."""
import os
import shutil
import subprocess
import sys
import tempfile

import unprivileged

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
bare = run()
check("no command: the help on stderr, exit 2",
      bare.returncode == 2 and bare.stdout == b"" and "Commandes" in bare.stderr.decode(), repr(bare.stdout[:200]))
# A command's own help, wherever --help stands before "--": its usage and description, nothing else.
for command, usage in (("coords", "Usage : vantorel-cli coords PHOTO..."), ("exif", "Usage : vantorel-cli exif PHOTO"),
                       ("gpx", "Usage : vantorel-cli gpx [-o FICHIER] PHOTO..."),
                       ("write", "Usage : vantorel-cli write --at POSITION PHOTO... [--force]"),
                       ("correlate", "[--max-gap SECONDES] [--max-distance SECONDES]")):
    for words in ([command, "--help"], [command, "x.jpg", "-h"]):
        r = run(*words)
        out = r.stdout.decode()
        check(f"{' '.join(words)}: that command's help", r.returncode == 0 and usage in out and "Commandes" not in out
              and "parse TEXTE" not in out and r.stderr == b"", repr(out[:300]))
r = run("coords", "--", "--help")
check("coords -- --help: a photo named --help", r.returncode == 1 and "--help" in r.stderr.decode() and r.stdout == b"",
      repr(r.stderr))
check("unknown command exits 2", run("frobnicate", "x.jpg").returncode == 2)
check("coords without photo exits 2", run("coords").returncode == 2)

# The tool starts with Qt Core alone: the libraries of pictures, windows and networks are not even
# loaded (each costs its start-up in the dynamic linker, for every photo a shell loop writes).
if shutil.which("ldd"):
    linked = subprocess.run(["ldd", cli], capture_output=True, text=True).stdout
    # exiv2 too: the full metadata reader is a module loaded when a photo first needs it.
    for lib in ("libQt6Gui", "libQt6Widgets", "libQt6Network", "libX11", "libGL", "libfontconfig", "libexiv2"):
        check(f"links no {lib}", lib not in linked, linked)
    check("links Qt Core", "libQt6Core" in linked, linked)

with tempfile.TemporaryDirectory() as tmp:
    geo = os.path.join(samples, "exiv2_bug528.jpg")  # N 47.616117, E 1.516928
    odd = os.path.join(tmp, "tab\there", "new\nline\\back.jpg")
    os.makedirs(os.path.dirname(odd))
    shutil.copy(geo, odd)
    escaped = odd.replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n")

    coords = run("coords", odd, os.path.join(tmp, "missing.jpg"))
    lines = coords.stdout.decode().split("\n")
    check("coords: one line per readable photo", len(lines) == 2 and lines[1] == "", repr(lines))
    fields = lines[0].split("\t")
    check("coords: escaped path", fields[0] == escaped, repr(fields[0]))
    check("coords: fields", fields[1:4] == ["1", "47,61612", "1,51693"], repr(fields))
    check("coords: missing file is named, not called not geotagged",
          coords.returncode == 1 and "missing.jpg » : fichier introuvable" in coords.stderr.decode(),
          repr(coords.stderr))

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

    # Unreadable photos: a French message naming each on standard error, the others still read, exit 1.
    fifo = os.path.join(tmp, "fifo.jpg")
    os.mkfifo(fifo)
    folder = os.path.join(tmp, "folder.jpg")
    os.mkdir(folder)
    broken = os.path.join(tmp, "broken.jpg")
    os.symlink("nowhere.jpg", broken)
    too_long = "/" + "a" * 5000 + ".jpg"
    unreadable = [
        (os.path.join(tmp, "missing.jpg"), "fichier introuvable"),
        (fifo, "ce n'est pas un fichier ordinaire"),
        (folder, "ce n'est pas un fichier ordinaire"),
        (broken, "fichier introuvable"),
        (too_long, "nom trop long"),
    ]
    for command in ("coords", "poi"):
        result = run(command, geo, *[p for p, _ in unreadable])
        err = result.stderr.decode().splitlines()
        check(f"{command}: unreadable exits 1", result.returncode == 1, str(result.returncode))
        check(f"{command}: the readable photo still read", result.stdout.decode().count("\n") == 1
              and "exiv2_bug528.jpg" in result.stdout.decode(), repr(result.stdout))
        check(f"{command}: one message per unreadable photo", len(err) == len(unreadable), repr(err))
        for (path, reason), line in zip(unreadable, err):
            check(f"{command}: message for {os.path.basename(path)[:20]}",
                  line == f"Photo illisible « {path} » : {reason}" or
                  (line.startswith(f"Photo illisible « {path} » : {reason}")), repr(line[:200]))
        check(f"{command}: all readable exits 0", run(command, geo).returncode == 0)

    # No read permission: root reads everything, so the case runs as an unprivileged user when it can.
    nobody = unprivileged.as_nobody(cli, tmp, env=env)
    if nobody is None:
        print("SKIP no read permission: no unprivileged user to run as")
    else:
        as_user, user_cli, _ = nobody
        locked = os.path.join(tmp, "locked.jpg")
        shutil.copy(geo, locked)
        os.chmod(locked, 0)
        denied = subprocess.run([*as_user, user_cli, "coords", locked], env=env, capture_output=True, timeout=60)
        check("coords: no permission exits 1", denied.returncode == 1, str(denied.returncode))
        check("coords: no permission named", f"« {locked} » : lecture non autorisée" in denied.stderr.decode(),
              repr(denied.stderr))

    # Names on standard error are escaped like standard output: no terminal control reaches it.
    esc_missing = os.path.join(tmp, "bell\x07esc\x1b[2Jline\nsep\u2028.jpg")
    esc = run("coords", esc_missing)
    text = esc.stderr.decode()
    check("stderr: no control characters", not any(c in text for c in "\x07\x1b\u2028") and text.count("\n") == 1,
          repr(text))
    check("stderr: escaped like stdout", "bell\\x07esc\\x1B[2Jline\\nsep\\u2028.jpg" in text, repr(text))
    noref_esc = os.path.join(tmp, "noref\x1b]0;title\x07.jpg")
    shutil.copy(noref, noref_esc)
    notice = run("coords", noref_esc).stderr.decode()
    check("stderr: reference notice escaped", "\x1b" not in notice and "noref\\x1B]0;title\\x07.jpg : " in notice,
          repr(notice))

    # A name in Latin-1 bytes: read, and written back as \xNN.
    latin1 = os.path.join(tmp.encode(), b"\xe9t\xe9.jpg")
    shutil.copy(geo, latin1)
    result = subprocess.run([cli, "coords", latin1], env=env, capture_output=True, timeout=60)
    fields = result.stdout.decode().rstrip("\n").split("\t")
    check("latin-1: geotagged", result.returncode == 0 and fields[1:2] == ["1"], repr(result))
    check("latin-1: bytes as \\xNN", fields[0].endswith("/\\xE9t\\xE9.jpg"), repr(fields[0]))
    result = subprocess.run([cli, "poi", latin1], env=env, capture_output=True, timeout=60)
    check("latin-1: poi row", result.returncode == 0 and result.stdout.startswith(b"\\xE9t\\xE9.jpg\t"),
          repr(result.stdout[:80]))

    # Names relative to the working folder, each read as its absolute path shows it (the commands
    # read their names as they go, the working folder unchanged): three spellings of one photo, and an
    # empty name, which names no photo.
    here = os.path.join(tmp, "here")
    os.makedirs(here)
    shutil.copy(geo, os.path.join(here, "rel.jpg"))
    spellings = ["rel.jpg", "./rel.jpg", "nofolder/../rel.jpg", ""]
    shown = os.path.join(here, "rel.jpg")
    for command, rows_of, empty_message in (
            ("coords", lambda out: [line.split("\t")[0] for line in out.splitlines()], "«  » : fichier introuvable"),
            ("poi", lambda out: [line.split("\t")[5] for line in out.splitlines()], f"« {here} » : ce n'est pas"),
            ("gpx", lambda out: [line.strip()[6:-7] for line in out.splitlines() if "<desc>" in line],
             f"« {here} » : ce n'est pas")):
        r = subprocess.run([os.path.abspath(cli), command, *spellings], env=env, capture_output=True, timeout=60,
                           cwd=here)
        err = r.stderr.decode()
        check(f"relative names, {command}: one row each, absolute", rows_of(r.stdout.decode()) == [shown] * 3,
              repr(r.stdout.decode()[:400]))
        check(f"relative names, {command}: the empty name named, exit 1",
              r.returncode == 1 and err.count("\n") == 1 and empty_message in err, (r.returncode, err))

    # A geotagged photo cut inside the XMP segment after its whole Exif segment.
    data = open(geo, "rb").read()
    pos = 2
    while data[pos + 1] != 0xE1 or data[pos + 4:pos + 10] != b"Exif\0\0":
        pos += 2 + data[pos + 2] * 256 + data[pos + 3]
    end = pos + 2 + data[pos + 2] * 256 + data[pos + 3]
    xmp = b"http://ns.adobe.com/xap/1.0/\0<x:xmpmeta xmlns:x='adobe:ns:meta/'>" + b" " * 3000 + b"</x:xmpmeta>"
    segment = b"\xff\xe1" + (len(xmp) + 2).to_bytes(2, "big") + xmp
    cut = os.path.join(tmp, "cut.jpg")
    with open(cut, "wb") as f:
        f.write(data[:end] + segment[:len(segment) // 2])
    result = run("coords", cut)
    check("cut xmp: coords", result.stdout.decode().split("\t")[1:4] == ["1", "47,61612", "1,51693"],
          repr(result.stdout))
    result = run("exif", cut)
    check("cut xmp: exif listed", result.returncode == 0 and "GpsLatitude\t" in result.stdout.decode(),
          repr(result.stderr))
    check("cut xmp: poi row", run("poi", cut).stdout.decode().count("\n") == 1)

    # Every command checks its standard output once done: a full disk is said, with exit 3.
    if os.path.exists("/dev/full"):
        for words in (["coords", geo], ["poi", geo], ["exif", geo], ["parse", "48.5 2.5"], ["map", geo],
                      ["overview", geo], ["--help"], ["coords", "--help"], ["coords", *[geo] * 2000]):
            with open("/dev/full", "wb") as full_device:
                r = subprocess.run([cli, *words], env=env, stdout=full_device, stderr=subprocess.PIPE, timeout=120)
            err = r.stderr.decode()
            check(f"full standard output, {words[0]} ({len(words)} words): exit 3 and message, once",
                  r.returncode == 3 and err.count("écriture sur la sortie standard impossible") == 1, (r.returncode, err))

    # "--" ends the options: names that look like options are photos, and options after it are names.
    dashed = os.path.join(tmp, "dashes")
    os.mkdir(dashed)
    for name in ("-h", "--force", "--google"):
        shutil.copy(geo, os.path.join(dashed, name))
    r = subprocess.run([cli, "coords", "--", "-h", "--force"], env=env, capture_output=True, timeout=60, cwd=dashed)
    check("coords --: dashed names are photos", r.returncode == 0 and r.stdout.decode().count("\t1\t") == 2, repr(r))
    r = subprocess.run([cli, "exif", "--", "-h"], env=env, capture_output=True, timeout=60, cwd=dashed)
    check("exif --: a dashed name", r.returncode == 0 and "GpsLatitude" in r.stdout.decode(), repr(r.stderr))
    r = subprocess.run([cli, "erase", "--", "--force"], env=env, capture_output=True, timeout=60, cwd=dashed)
    check("erase --: --force is a photo", r.returncode == 0 and os.path.exists(os.path.join(dashed, "~--force")),
          repr(r.stderr))
    r = subprocess.run([cli, "erase", "--", "--force"], env=env, capture_output=True, timeout=60, cwd=dashed)
    check("erase --: not forced, the copy kept", r.returncode == 3, repr(r.stderr))
    r = subprocess.run([cli, "write", "--at", "1, 2", "--", "--force"], env=env, capture_output=True, timeout=60,
                       cwd=dashed)
    check("write --at ... --: a dashed photo", r.returncode == 0 and os.path.exists(os.path.join(dashed, "#--force")),
          repr(r.stderr))
    r = subprocess.run([cli, "write", "--", "-h", "-33.5", "151.25"], env=env, capture_output=True, timeout=60,
                       cwd=dashed)
    check("write --: a dashed photo, a negative latitude", r.returncode == 0 and os.path.exists(os.path.join(dashed, "#-h")),
          repr(r.stderr))
    r = subprocess.run([cli, "map", "--", "--google"], env=env, capture_output=True, timeout=60, cwd=dashed)
    check("map --: --google is a photo", r.returncode == 0 and b"leaflet" in r.stdout.lower(), repr(r.stderr))
    r = run("parse", "--", "-33.5", "151.25")
    check("parse --", r.returncode == 0 and r.stdout.decode().startswith("-33"), repr(r))

    # A name with direction controls keeps its order on a terminal: escaped as a tab is.
    tricky = os.path.join(tmp, "a\u202egpj.exe\u2066.jpg")
    shutil.copy(geo, tricky)
    r = run("coords", tricky)
    check("coords: direction controls escaped", "\u202e" not in r.stdout.decode() and "\u2066" not in r.stdout.decode()
          and "a\\u202Egpj.exe\\u2066.jpg" in r.stdout.decode(), repr(r.stdout))

print(f"{passed} passed, {failed} failed")
sys.exit(1 if failed else 0)
