#!/usr/bin/env bash
# A day of photos placed on a one-day track, the whole command writing its copies, against
# exiftool -geotag (copies into a folder) and gpscorrelate (in place, on copies made beforehand,
# untimed), in the same run on the same photos.
# Usage: bench/correlate_bench.sh [build-dir] [photos]   (10,000 photos and 86,400 fixes by default)
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
N=${2:-10000}
CLI=$(realpath "$BUILD/src/cli/vantorel-cli")
SAMPLE=$(realpath "${VANTOREL_SAMPLES:-tests/data/real}/exifsamples_Canon_40D.jpg")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TZ=UTC LC_ALL=C.UTF-8

# N photos taken over 2024-06-01 (the sample's three date items rewritten in place), and a track
# of one fix a second over the whole day.
python3 - "$SAMPLE" "$work" "$N" <<'PY'
import math, os, sys
sample, work, n = sys.argv[1], sys.argv[2], int(sys.argv[3])
data = open(sample, "rb").read()
old = b"2008:05:30 15:56:01"
assert old in data
os.makedirs(os.path.join(work, "src"))
for i in range(n):
    t = 60 + i * (86400 - 120) // n
    stamp = b"2024:06:01 %02d:%02d:%02d" % (t // 3600, t // 60 % 60, t % 60)
    with open(os.path.join(work, "src", "p%06d.jpg" % i), "wb") as f:
        f.write(data.replace(old, stamp))
with open(os.path.join(work, "day.gpx"), "w") as f:
    f.write('<?xml version="1.0" encoding="UTF-8"?>\n<gpx version="1.1" creator="bench" '
            'xmlns="http://www.topografix.com/GPX/1/1">\n<trk><trkseg>\n')
    for s in range(86400):
        lat = 45 + 0.3 * math.sin(s / 5000.0)
        lon = 5 + 0.4 * math.cos(s / 7000.0)
        f.write('<trkpt lat="%.7f" lon="%.7f"><ele>%.1f</ele><time>2024-06-01T%02d:%02d:%02dZ</time></trkpt>\n'
                % (lat, lon, 300 + 100 * math.sin(s / 3000.0), s // 3600, s // 60 % 60, s % 60))
    f.write('</trkseg></trk>\n</gpx>\n')
PY
cd "$work"
cp -r src ours
cp -r src gc
cat src/* ours/* gc/* day.gpx >/dev/null

ms() { date +%s%N | cut -c1-13; }

start=$(ms)
"$CLI" correlate --track day.gpx --tz UTC ours/p*.jpg >ours.tsv || true
ours=$(( $(ms) - start ))
ours_written=$(grep -c $'\twritten\t' ours.tsv || true)

start=$(ms)
gpscorrelate -g day.gpx -z 0 gc/*.jpg >gc.log 2>&1 || true
gc=$(( $(ms) - start ))
gc_written=$(exiftool -q -q -if '$GPSLatitude' -p '$FileName' gc 2>/dev/null | wc -l)

start=$(ms)
exiftool -q -q -m -geotag day.gpx -o exif/ src/*.jpg || true
ex=$(( $(ms) - start ))
ex_written=$(ls exif | wc -l)

echo "photos: $N, track: 86,400 fixes"
printf '%-40s %8d ms  %6d copies\n' "vantorel-cli correlate" "$ours" "$ours_written"
printf '%-40s %8d ms  %6d photos  ours/theirs %.2f\n' "gpscorrelate (in place)" "$gc" "$gc_written" \
  "$(awk -v a="$ours" -v b="$gc" 'BEGIN { print a / b }')"
printf '%-40s %8d ms  %6d copies  %.1fx faster\n' "exiftool -geotag -o DIR/" "$ex" "$ex_written" \
  "$(awk -v a="$ex" -v b="$ours" 'BEGIN { print a / b }')"
