#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""vantorel-cli correlate on a trip across two zones: photos without an offset of their own, taken in
Lisbon then in Madrid, placed on a track made here. With --tz track (and without --tz) each photo is
read in the zone of the town nearest the track at its time; with one zone for all (Europe/Lisbon) the
Madrid photos are placed an hour late. A photo with its own offset keeps it. The photos' times are
set with exiftool on copies of a sample; skipped without exiftool."""
import datetime
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


def correlate(*args):
    return subprocess.run([cli, "correlate", *args], env=env, capture_output=True, timeout=300)


if shutil.which("exiftool") is None:
    print("SKIP: exiftool is not installed")
    sys.exit(0)

day = datetime.datetime(2024, 6, 1)


def at(hours, minutes=0):
    return day + datetime.timedelta(hours=hours, minutes=minutes)


# Where the track is at each time (UTC): around Lisbon from 08:00 to 10:00, on the road to Madrid
# until 15:00, then across Madrid until 18:00, a fix a minute.
LISBON, MADRID = (38.7223, -9.1393), (40.4168, -3.7038)


def where(t):
    h = (t - day).total_seconds() / 3600
    if h <= 10:
        return LISBON[0] + (h - 8) * 0.005, LISBON[1] + (h - 8) * 0.005
    if h <= 15:
        f = (h - 10) / 5
        start = (LISBON[0] + 0.01, LISBON[1] + 0.01)
        return start[0] + f * (MADRID[0] - start[0]), start[1] + f * (MADRID[1] - start[1])
    return MADRID[0] + (h - 15) * 0.01, MADRID[1] - (h - 15) * 0.01


with tempfile.TemporaryDirectory() as tmp:
    fixes = []
    t = at(8)
    while t <= at(18):
        lat, lon = where(t)
        fixes.append(f'<trkpt lat="{lat:.7f}" lon="{lon:.7f}"><time>{t.strftime("%Y-%m-%dT%H:%M:%S")}Z</time>'
                     '</trkpt>\n')
        t += datetime.timedelta(minutes=1)
    track = os.path.join(tmp, "trip.gpx")
    with open(track, "w") as f:
        f.write('<?xml version="1.0"?>\n<gpx version="1.1" creator="t" xmlns="http://www.topografix.com/GPX/1/1">'
                "<trk><trkseg>\n" + "".join(fixes) + "</trkseg></trk></gpx>\n")

    # (name, camera time, own offset, true UTC time)
    photos = [("lisbon.jpg", "2024:06:01 09:30:00", None, at(8, 30)),
              ("madrid.jpg", "2024:06:01 17:30:00", None, at(15, 30)),
              ("madrid-late.jpg", "2024:06:01 19:00:00", None, at(17)),
              ("own-offset.jpg", "2024:06:01 21:00:00", "+05:00", at(16))]
    paths = []
    for name, taken, offset, _ in photos:
        path = os.path.join(tmp, name)
        shutil.copy(os.path.join(samples, "exifsamples_Canon_40D.jpg"), path)
        tags = [f"-DateTimeOriginal={taken}", "-OffsetTimeOriginal=", "-OffsetTime=", "-OffsetTimeDigitized="]
        if offset:
            tags.append(f"-OffsetTimeOriginal={offset}")
        subprocess.run(["exiftool", "-q", "-overwrite_original", *tags, path], check=True)
        paths.append(path)

    def rows(result):
        return {os.path.basename(r[0]): r for r in (l.split("\t") for l in result.stdout.decode().splitlines())}

    def placed_at(row, when):
        lat, lon = where(when)
        return (row[1] == "would-write" and row[5] == when.strftime("%Y-%m-%dT%H:%M:%SZ")
                and abs(float(row[2]) - lat) < 1e-6 and abs(float(row[3]) - lon) < 1e-6)

    from_track = correlate("--track", track, "--tz", "track", "--dry-run", *paths)
    by_default = correlate("--track", track, "--dry-run", *paths)
    one_zone = correlate("--track", track, "--tz", "Europe/Lisbon", "--dry-run", *paths)
    for result in (from_track, by_default, one_zone):
        check("exit 0, every photo placed", result.returncode == 0, result.stderr.decode())
        check("7 fields a line", all(len(r) == 7 for r in rows(result).values()), result.stdout.decode())
    check("without --tz as with --tz track", from_track.stdout == by_default.stdout,
          from_track.stdout.decode() + by_default.stdout.decode())
    track_rows, lisbon_rows = rows(from_track), rows(one_zone)
    for name, _, _, utc in photos:
        check(f"--tz track: {name} at its true time and place", placed_at(track_rows[name], utc), repr(track_rows[name]))
    check("--tz Europe/Lisbon: the Lisbon photo right", placed_at(lisbon_rows["lisbon.jpg"], at(8, 30)),
          repr(lisbon_rows["lisbon.jpg"]))
    for name, utc in (("madrid.jpg", at(15, 30)), ("madrid-late.jpg", at(17))):
        check(f"--tz Europe/Lisbon: {name} an hour late", placed_at(lisbon_rows[name], utc + datetime.timedelta(hours=1)),
              repr(lisbon_rows[name]))
    check("--tz Europe/Lisbon: the photo's own offset kept", placed_at(lisbon_rows["own-offset.jpg"], at(16)),
          repr(lisbon_rows["own-offset.jpg"]))

    # The copies take each photo's own GPS time.
    written = correlate("--track", track, *paths)
    check("written: exit 0", written.returncode == 0, written.stderr.decode())
    stamp = subprocess.run(["exiftool", "-T", "-GPSTimeStamp", "-GPSDateStamp", os.path.join(tmp, "#madrid.jpg")],
                           capture_output=True, text=True).stdout.split()
    check("the Madrid copy's GPS time", stamp == ["15:30:00", "2024:06:01"], repr(stamp))

    # A flight: boarding in Lisbon at 09:00Z, landing in Madrid at 09:50Z; the two photos on either
    # side, less than an hour apart, are named on standard error, and their lines stay as they are.
    flight = os.path.join(tmp, "flight.gpx")
    with open(flight, "w") as f:
        f.write('<?xml version="1.0"?>\n<gpx version="1.1" creator="t" xmlns="http://www.topografix.com/GPX/1/1">'
                "<trk><trkseg>\n"
                f'<trkpt lat="{LISBON[0]}" lon="{LISBON[1]}"><time>2024-06-02T08:00:00Z</time></trkpt>\n'
                f'<trkpt lat="{LISBON[0]}" lon="{LISBON[1]}"><time>2024-06-02T09:10:00Z</time></trkpt>\n'
                f'<trkpt lat="{MADRID[0]}" lon="{MADRID[1]}"><time>2024-06-02T09:40:00Z</time></trkpt>\n'
                f'<trkpt lat="{MADRID[0]}" lon="{MADRID[1]}"><time>2024-06-02T11:00:00Z</time></trkpt>\n'
                "</trkseg></trk></gpx>\n")
    boarding, landing = os.path.join(tmp, "boarding.jpg"), os.path.join(tmp, "landing.jpg")
    for path, taken in ((boarding, "2024:06:02 10:00:00"), (landing, "2024:06:02 11:50:00")):
        shutil.copy(os.path.join(samples, "exifsamples_Canon_40D.jpg"), path)
        subprocess.run(["exiftool", "-q", "-overwrite_original", f"-DateTimeOriginal={taken}", "-OffsetTime*=", path],
                       check=True)
    flown = correlate("--track", flight, "--dry-run", boarding, landing)
    flown_rows = rows(flown)
    check("flight: exit 0", flown.returncode == 0, flown.stderr.decode())
    check("flight: each photo at its own time",
          [flown_rows[n][5] for n in ("boarding.jpg", "landing.jpg")] == ["2024-06-02T09:00:00Z", "2024-06-02T09:50:00Z"],
          repr(flown_rows))
    check("flight: both photos named on standard error", flown.stderr.decode().splitlines() == [
        "boarding.jpg : Europe/Lisbon d'après la trace, changement de fuseau proche (Europe/Madrid)",
        "landing.jpg : Europe/Madrid d'après la trace, changement de fuseau proche (Europe/Lisbon)"],
        flown.stderr.decode())

    helped = subprocess.run([cli, "--help"], capture_output=True, text=True).stdout
    check("the help names --tz track", "track, le défaut sans --tz" in helped)

print(f"{passed} passed, {failed} failed")
sys.exit(1 if failed else 0)
