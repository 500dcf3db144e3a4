#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Exporting many geotagged photos as GPX: vantorel-cli gpx against exiv2 reading the same GPS
# values and exiftool writing GPX waypoints with the format file its documentation ships, in one run:
#   bench/gpx_bench.sh [N]          N photos, 10000 by default
# The photos are those of bench/poi_bench.sh with a GPS date and time stamp added.
# Environment: VANTOREL_CLI (default build/src/cli/vantorel-cli), RUNS (timed runs of the fast tools, 5),
# GPX_FMT (default: Debian's fmt_files/gpx_wpt.fmt).
# Prints figures only: it never fails because of a result.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
count=${1:-10000}
runs=${RUNS:-5}
cli=${VANTOREL_CLI:-$root/build/src/cli/vantorel-cli}
fmt=${GPX_FMT:-/usr/share/doc/libimage-exiftool-perl/fmt_files/gpx_wpt.fmt}
out=$here/out/gpx
photos=$out/photos-$count

for tool in exiv2 exiftool hyperfine jq python3; do
    command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 2; }
done
[ -f "$fmt" ] || { echo "missing: $fmt (Debian package libimage-exiftool-perl)" >&2; exit 2; }
[ -x "$cli" ] || { echo "missing: $cli (build first)" >&2; exit 2; }

mkdir -p "$out"
base=$out/base.jpg
if [ ! -s "$base" ]; then
    poi_base=$here/out/poi/base.jpg
    # poi_bench.sh makes its photo on its first run; one photo is enough for that.
    [ -s "$poi_base" ] || RUNS=1 "$here/poi_bench.sh" 1 >/dev/null
    cp "$poi_base" "$out/make.jpg"
    exiv2 -M"set Exif.GPSInfo.GPSDateStamp Ascii 2023:06:14" \
        -M"set Exif.GPSInfo.GPSTimeStamp Rational 8/1 21/1 33/1" "$out/make.jpg"
    mv "$out/make.jpg" "$base"
fi

if [ ! -d "$photos" ] || [ "$(find "$photos" -name '*.jpg' | wc -l)" -ne "$count" ]; then
    echo "making $count photos in $photos..."
    rm -rf "$photos"
    mkdir -p "$photos"
    python3 - "$base" "$photos" "$count" <<'PY'
import shutil, sys
base, folder, count = sys.argv[1], sys.argv[2], int(sys.argv[3])
width = len(str(count))
for i in range(1, count + 1):
    shutil.copyfile(base, f"{folder}/p{i:0{width}d}.jpg")
PY
fi
cd "$photos"
ls -1 -- *.jpg >"$out/list.txt" # short relative names keep every tool to one command line
echo "$count photos of $(stat -c %s "$base") bytes in $photos"

each="xargs -s 2000000 -a $out/list.txt"
gps=""
for key in GPSLatitudeRef GPSLatitude GPSLongitudeRef GPSLongitude GPSAltitudeRef GPSAltitude \
    GPSDateStamp GPSTimeStamp; do
    gps="$gps -g Exif.GPSInfo.$key"
done
names=("vantorel-cli gpx" "exiv2 -g GPS... -Pv")
commands=("$each $cli gpx --" "$each exiv2 $gps -Pv")
exiftool_cmd="$each exiftool -p $fmt -ee3"

# What each tool printed, as a check that it read the photos.
echo "vantorel-cli gpx: $(sh -c "${commands[0]}" 2>/dev/null | grep -c '<wpt ') waypoints"
echo "exiv2: $(sh -c "${commands[1]}" 2>/dev/null | wc -l) values"

json=$out/fast.json
args=()
for i in "${!names[@]}"; do args+=(-n "${names[$i]}" "${commands[$i]} >/dev/null 2>&1"); done
hyperfine --warmup 1 --runs "$runs" --export-json "$json" "${args[@]}" >/dev/null 2>"$out/hyperfine.log" || true
# exiftool once, its output kept to count its waypoints.
hyperfine --runs 1 --export-json "$out/exiftool.json" -n exiftool "$exiftool_cmd >$out/exiftool.gpx 2>/dev/null" \
    >/dev/null 2>>"$out/hyperfine.log" || true
echo "exiftool -p gpx_wpt.fmt: $(grep -c '<wpt ' "$out/exiftool.gpx" || true) waypoints"

declare -A ms
for i in "${!names[@]}"; do ms[${names[$i]}]=$(jq ".results[$i].median * 1000" "$json"); done
ms[exiftool]=$(jq '.results[0].mean * 1000' "$out/exiftool.json")

printf '%-26s %12s %14s\n' "tool ($count photos)" "ms" "us per photo"
for name in "${names[@]}" exiftool; do
    awk -v n="$name" -v t="${ms[$name]}" -v c="$count" 'BEGIN { printf "%-26s %12.1f %14.1f\n", n, t, t * 1000 / c }'
done
awk -v v="${ms[vantorel-cli gpx]}" -v x="${ms[exiv2 -g GPS... -Pv]}" -v e="${ms[exiftool]}" 'BEGIN {
    printf "vantorel / exiv2    = %.2f (target <= 1.00: %s)\n", v / x, (v <= x ? "met" : "NOT met")
    printf "exiftool / vantorel = %.1f (target >= 40: %s)\n", e / v, (e / v >= 40 ? "met" : "NOT met")
}'
echo "(median of $runs runs after a warm-up for the fast tools, one run for exiftool; files in the page cache)"
