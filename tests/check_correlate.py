#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""vantorel-cli correlate against another geotagger: real camera photos placed on a track made for
them, by us and by exiftool -geotag (-geosync for the clock error), agree within 1e-6 degree; a photo
between two track segments takes the nearest fix here, where exiftool interpolates across the break.
Also the command's lines, exit codes and copies as a script sees them. Skips the comparison when
exiftool is absent."""
import datetime
import json
import os
import shutil
import subprocess
import sys
import tempfile

cli, samples = sys.argv[1], sys.argv[2]
env = dict(os.environ, LC_ALL="fr_FR.UTF-8", TZ="UTC")
passed = failed = 0


def check(name, condition, detail=""):
    global passed, failed
    if condition:
        passed += 1
    else:
        failed += 1
        print("FAIL", name, detail)


def run(*args):
    return subprocess.run([cli, "correlate", *args], env=env, capture_output=True, timeout=300)


def gpx_point(t, lat, lon, ele):
    return (f'<trkpt lat="{lat:.9f}" lon="{lon:.9f}"><ele>{ele:.2f}</ele>'
            f'<time>{t.strftime("%Y-%m-%dT%H:%M:%S")}Z</time></trkpt>\n')


with tempfile.TemporaryDirectory() as tmp:
    photos_dir = os.path.join(tmp, "photos")
    os.makedirs(photos_dir)
    # Photos with a plain DateTimeOriginal, no position and no offset of their own.
    chosen = []
    have_exiftool = shutil.which("exiftool") is not None
    names = sorted(n for n in os.listdir(samples) if n.endswith(".jpg")) if have_exiftool else []
    tags = subprocess.run(["exiftool", "-json", "-n", "-EXIF:DateTimeOriginal", "-EXIF:GPSLatitude",
                           "-EXIF:SubSecTimeOriginal", "-EXIF:OffsetTimeOriginal", "-EXIF:OffsetTime",
                           *[os.path.join(samples, n) for n in names]], capture_output=True, text=True).stdout \
        if names else "[]"
    for fields in json.loads(tags):
        name = os.path.basename(fields.pop("SourceFile"))
        if set(fields) != {"DateTimeOriginal"}:
            continue
        # Their Exif values point past the block's end, where a new GPS directory would go: no copy
        # of them is written (the refusal is checked with the other copies).
        if name in ("exiv2_bug495.jpg", "exiv2_bug855.jpg"):
            continue
        try:
            when = datetime.datetime.strptime(str(fields["DateTimeOriginal"]), "%Y:%m:%d %H:%M:%S")
        except ValueError:
            continue
        shutil.copy(os.path.join(samples, name), photos_dir)
        chosen.append((name, when))

    # One track segment around each photo, fixes every 7 to 13 seconds, moving slowly so that
    # interpolating and taking the nearest fix differ by more than the tolerance.
    clock_error = datetime.timedelta(minutes=1, seconds=30)  # the camera is ahead
    track = ['<?xml version="1.0"?>\n<gpx version="1.1" creator="t" xmlns="http://www.topografix.com/GPX/1/1">\n<trk>\n']
    between_segments = None
    for i, (name, when) in enumerate(chosen):
        true_time = when - clock_error
        base_lat, base_lon = -40 + i * 1.7, -175 + i * 8.3
        track.append("<trkseg>\n")
        t = true_time - datetime.timedelta(minutes=20)
        k = 0
        while t < true_time + datetime.timedelta(minutes=20):
            if i == 0 and abs((t - true_time).total_seconds()) < 200 and between_segments is None:
                # A break in the first segment: the logger lost its fix around the first photo.
                track.append("</trkseg>\n<trkseg>\n")
                between_segments = name
                t += datetime.timedelta(seconds=400)
            track.append(gpx_point(t, base_lat + k * 3e-6, base_lon - k * 2e-6, 100 + k * 0.5))
            t += datetime.timedelta(seconds=7 + (k * 5) % 7)
            k += 1
        track.append("</trkseg>\n")
    track.append("</trk>\n</gpx>\n")
    track_path = os.path.join(tmp, "day.gpx")
    with open(track_path, "w") as f:
        f.write("".join(track))
    photos = [os.path.join(photos_dir, name) for name, _ in chosen]

    if not have_exiftool:
        print("SKIP: exiftool is not installed; comparison not run")
    elif len(photos) < 5:
        check("enough samples with a plain DateTimeOriginal", False, repr(chosen))
    else:
        ours = run("--track", track_path, "--tz", "UTC", "--clock-error", "+0:01:30", *photos)
        check("correlate: exit 0 when every photo is placed", ours.returncode == 0, ours.stderr.decode())
        lines = [line.split("\t") for line in ours.stdout.decode().splitlines()]
        check("correlate: one line per photo, 7 fields", len(lines) == len(photos) and all(len(l) == 7 for l in lines),
              repr(lines[:3]))
        out_dir = os.path.join(tmp, "exiftool")
        subprocess.run(["exiftool", "-q", "-q", "-m", "-geotag", track_path, "-geosync=-0:01:30", "-o", out_dir + "/",
                        *photos], env=env, capture_output=True)
        theirs = {}
        read = subprocess.run(["exiftool", "-T", "-n", "-FileName", "-GPSLatitude", "-GPSLongitude", "-GPSAltitude",
                               out_dir], capture_output=True, text=True).stdout
        for row in read.splitlines():
            cells = row.split("\t")
            if len(cells) == 4 and cells[1] != "-":
                theirs[cells[0]] = tuple(float(c) for c in cells[1:])
        compared = 0
        for fields in lines:
            name = os.path.basename(fields[0])
            check("correlate: written", fields[1] == "written", repr(fields))
            if name not in theirs:
                continue
            lat, lon = float(fields[2]), float(fields[3])
            tlat, tlon, talt = theirs[name]
            if name == between_segments:
                check("between segments: exiftool interpolates, we take the nearest fix",
                      abs(lat - tlat) > 1e-6, f"{lat} {tlat}")
                continue
            compared += 1
            check(f"{name}: latitude as exiftool", abs(lat - tlat) <= 1e-6, f"{lat} {tlat}")
            check(f"{name}: longitude as exiftool", abs(lon - tlon) <= 1e-6, f"{lon} {tlon}")
            check(f"{name}: elevation as exiftool", abs(float(fields[4]) - talt) <= 1e-2, f"{fields[4]} {talt}")
            # What we wrote reads back as what we printed.
            copy = subprocess.run(["exiftool", "-T", "-n", "-GPSLatitude", "-GPSLongitude", "-GPSDateTime",
                                   fields[6]], capture_output=True, text=True).stdout.split("\t")
            check(f"{name}: copy's position", abs(float(copy[0]) - lat) < 1e-7 and abs(float(copy[1]) - lon) < 1e-7,
                  repr(copy))
            check(f"{name}: copy's GPS time", copy[2].strip().replace(":", "-", 2).replace(" ", "T")
                  == fields[5].split(".")[0], f"{copy[2]} {fields[5]}")
        check("most photos compared", compared >= len(photos) - 2, f"{compared} of {len(photos)}")

    # The command as a script sees it, on two photos and a small track.
    small = os.path.join(tmp, "small")
    os.makedirs(small)
    geo = os.path.join(small, "geo.jpg")
    shutil.copy(os.path.join(samples, "exiv2_bug528.jpg"), geo)  # geotagged, 2008:04:01 13:40:03
    plain = os.path.join(small, "plain.jpg")
    shutil.copy(os.path.join(samples, "exifsamples_Canon_40D.jpg"), plain)  # 2008:05:30 15:56:01
    nodate = os.path.join(small, "nodate.jpg")
    shutil.copy(os.path.join(samples, "exifsamples_PaintTool_sample.jpg"), nodate)
    gpx = os.path.join(small, "t.gpx")
    with open(gpx, "w") as f:
        f.write('<?xml version="1.0"?>\n<gpx version="1.0" xmlns="http://www.topografix.com/GPX/1/0"><trk><trkseg>\n'
                '<trkpt lat="10" lon="20"><time>2008-05-30T13:50:00Z</time></trkpt>\n'
                '<trkpt lat="11" lon="-20"><time>2008-05-30T14:00:00Z</time></trkpt>\n</trkseg></trk></gpx>\n')
    dry = run("--track", gpx, "--tz", "Europe/Paris", "--dry-run", plain, geo, nodate)
    rows = [l.split("\t") for l in dry.stdout.decode().splitlines()]
    check("dry run: exit 1 when a photo is not placed", dry.returncode == 1, dry.stderr.decode())
    check("dry run: would-write line", rows and rows[0] == [plain, "would-write", "10.601666667", "-4.066666667", "",
                                                             "2008-05-30T13:56:01Z", os.path.join(small, "#plain.jpg")],
          repr(rows))
    check("dry run: already geotagged and no date", [r[1] for r in rows[1:]] == ["already-geotagged", "no-time"],
          repr(rows))
    check("dry run: nothing written", sorted(os.listdir(small)) == ["geo.jpg", "nodate.jpg", "plain.jpg", "t.gpx"])
    outside = run("--track", gpx, "--tz", "+00:00", "--max-distance", "60", "--dry-run", plain)
    check("outside the track", outside.stdout.decode().split("\t")[1:3] == ["outside-track", ""],
          repr(outside.stdout))
    replaced = run("--track", gpx, "--track", gpx, "--tz", "+02:00", "--replace", plain, geo)
    check("replace: exit 1 (geo is outside the track)", replaced.returncode == 1)
    check("replace: geo is placed again", replaced.stdout.decode().splitlines()[1].split("\t")[1] == "outside-track",
          repr(replaced.stdout))
    check("written copy exists", os.path.exists(os.path.join(small, "#plain.jpg")))
    for args, what in [(["--tz", "Mars/Olympus"], "unknown zone"), (["--clock-error", "1:99"], "bad duration"),
                       (["--max-gap", "-3"], "negative gap"), (["--frobnicate"], "unknown option"), ([], "no track")]:
        bad = run(*(args + (["--track", gpx] if args else [])), plain)
        check(f"exit 2: {what}", bad.returncode == 2 and bad.stdout == b"", repr(bad.stderr))
    # An existing copy is kept (exit 3 and "kept", as write does) unless --force.
    plain_copy = os.path.join(small, "#plain.jpg")
    before = open(plain_copy, "rb").read()
    again = run("--track", gpx, "--tz", "+02:00", plain)
    check("existing copy: kept, exit 3", again.returncode == 3 and again.stdout.decode().split("\t")[1] == "kept",
          repr((again.returncode, again.stdout, again.stderr)))
    check("existing copy: named on stderr", "#plain.jpg existe déjà" in again.stderr.decode(), repr(again.stderr))
    check("existing copy: untouched", open(plain_copy, "rb").read() == before)
    forced = run("--track", gpx, "--tz", "+02:00", "--clock-error", "10", "--force", plain)
    check("--force: written", forced.returncode == 0 and forced.stdout.decode().split("\t")[1] == "written",
          repr(forced.stdout))
    check("--force: replaced", open(plain_copy, "rb").read() != before)
    # Zone names the system would take for UTC are refused, nothing written.
    os.remove(plain_copy)
    for zone in ["Paris", "paris", "XYZ"]:
        bad = run("--track", gpx, "--tz", zone, plain)
        check(f"unknown zone {zone}: exit 2, nothing written", bad.returncode == 2 and bad.stdout == b"" and
              "fuseau inconnu" in bad.stderr.decode() and not os.path.exists(plain_copy), repr(bad.stderr))
    # A camera time in the hour repeated when summer time ends (plain's 2008-05-30 15:56:01 read as
    # 2008-10-26 02:30:00 in Paris through the clock error): placed at the earlier instant, said so.
    dst = os.path.join(small, "dst.gpx")
    with open(dst, "w") as f:
        f.write('<?xml version="1.0"?>\n<gpx version="1.1" xmlns="http://www.topografix.com/GPX/1/1"><trk><trkseg>\n'
                + "".join(f'<trkpt lat="{10 + m / 60:.9f}" lon="20"><time>2008-10-26T{m // 60:02d}:{m % 60:02d}:00Z'
                          '</time></trkpt>\n' for m in range(0, 121, 20)) + '</trkseg></trk></gpx>\n')
    ambiguous = run("--track", dst, "--tz", "Europe/Paris", "--clock-error", "-148 10:33:59", plain)
    fields = ambiguous.stdout.decode().rstrip("\n").split("\t")
    check("ambiguous hour: status, earlier instant, copy written",
          ambiguous.returncode == 0 and fields[1:3] == ["ambiguous-time", "10.500000000"] and
          fields[5] == "2008-10-26T00:30:00Z" and os.path.exists(plain_copy), repr(fields))
    chosen_offset = run("--track", dst, "--tz", "+01:00", "--clock-error", "-148 10:33:59", "--dry-run", plain)
    check("ambiguous hour: an offset given decides", chosen_offset.stdout.decode().split("\t")[1:3] ==
          ["would-write", "11.500000000"], repr(chosen_offset.stdout))
    # A track file with no point is named even next to a good one; an empty one says it is empty.
    empty = os.path.join(small, "empty.gpx")
    open(empty, "w").close()
    untimed = os.path.join(small, "untimed.gpx")
    with open(untimed, "w") as f:
        f.write('<?xml version="1.0"?>\n<gpx version="1.1" xmlns="http://www.topografix.com/GPX/1/1">'
                '<wpt lat="1" lon="2"/></gpx>\n')
    warned = run("--track", empty, "--track", gpx, "--track", untimed, "--tz", "+02:00", "--dry-run", plain)
    check("tracks without points: warned, the good one used", warned.returncode == 0 and
          f"La trace « {empty} » est vide." in warned.stderr.decode() and
          f"La trace « {untimed} » ne contient aucun point horodaté." in warned.stderr.decode(),
          repr(warned.stderr.decode()))
    broken = os.path.join(small, "broken.gpx")
    with open(broken, "w") as f:
        f.write('<?xml version="1.0"?>\n<gpx version="1.1">\n<trk><trkseg>\n<trkpt lat="1" lon="2">\n</gpx>')
    bad_track = run("--track", broken, plain)
    check("unreadable track: exit 2, file and line named", bad_track.returncode == 2 and
          "broken.gpx », ligne 5" in bad_track.stderr.decode(), repr(bad_track.stderr.decode()))
    # Photos whose position is also in their XMP packet, written on several threads at once:
    # replaced, Exif and XMP both say the new place.
    xmps = []
    for k in range(12):
        xmps.append(os.path.join(small, f"xmp{k:02d}.jpg"))
        shutil.copy(os.path.join(samples, "mdextract_Nikon_D5000.jpg"), xmps[-1])  # 2011:03:12 15:36:11
    xmp_track = os.path.join(small, "xmp.gpx")
    with open(xmp_track, "w") as f:
        f.write('<?xml version="1.0"?>\n<gpx version="1.1" xmlns="http://www.topografix.com/GPX/1/1"><trk><trkseg>\n'
                '<trkpt lat="-33.25" lon="151.5"><time>2011-03-12T15:30:00Z</time></trkpt>\n'
                '<trkpt lat="-33.35" lon="151.7"><time>2011-03-12T15:40:00Z</time></trkpt>\n</trkseg></trk></gpx>\n')
    replaced_xmp = run("--track", xmp_track, "--tz", "UTC", "--replace", *xmps)
    rows = [line.split("\t") for line in replaced_xmp.stdout.decode().splitlines()]
    check("xmp photos written", replaced_xmp.returncode == 0 and [r[1] for r in rows] == ["written"] * 12,
          repr(replaced_xmp.stderr))
    if have_exiftool and rows:
        read = subprocess.run(["exiftool", "-T", "-n", "-EXIF:GPSLatitude", "-EXIF:GPSLongitude", "-XMP:GPSLatitude",
                               "-XMP:GPSLongitude", *[r[6] for r in rows]], capture_output=True, text=True).stdout
        lat, lon = float(rows[0][2]), float(rows[0][3])
        for line in read.splitlines():
            values = [float(v) for v in line.split("\t")]
            # The Exif values are unsigned (their sign is the reference letter); the XMP ones signed.
            check("xmp photo: Exif and XMP at the new place",
                  all(abs(a - b) < 1e-6 for a, b in zip(values, [abs(lat), abs(lon), lat, lon])), line)
    check("help names correlate", "correlate --track" in subprocess.run([cli, "--help"], capture_output=True,
                                                                         text=True).stdout)

print(f"{passed} passed, {failed} failed")
sys.exit(1 if failed else 0)
