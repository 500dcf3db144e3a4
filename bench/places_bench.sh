#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Places of many photos: `vantorel-cli place` on N geotagged photos (10,000 by default, each at a
# random position on land or sea) against `vantorel-cli coords` reading the same positions without
# naming places; then build/bench/places_bench (the index's lookups against brute force).
#   bench/places_bench.sh [N]
# Environment: VANTOREL_CLI (default build/src/cli/vantorel-cli), RUNS (timed runs, 5).
# Prints figures only: it never fails because of a result.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
count=${1:-10000}
runs=${RUNS:-5}
cli=${VANTOREL_CLI:-$root/build/src/cli/vantorel-cli}
out=$here/out/places
photos=$out/photos-$count

for tool in hyperfine python3 convert; do
    command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 2; }
done

mkdir -p "$out"
if [ ! -d "$photos" ] || [ "$(find "$photos" -name '*.jpg' | wc -l)" -ne "$count" ]; then
    echo "making $count geotagged photos in $photos..."
    rm -rf "$photos" && mkdir -p "$photos"
    convert -size 16x16 xc:gray "$out/body.jpg"
    python3 - "$out/body.jpg" "$photos" "$count" <<'PY'
import math, random, struct, sys
body, folder, count = open(sys.argv[1], "rb").read(), sys.argv[2], int(sys.argv[3])
assert body[:2] == b"\xff\xd8"
random.seed(34)

def rationals(value):
    d = int(value); m = int((value - d) * 60); s = round(((value - d) * 60 - m) * 60 * 1000)
    return struct.pack("<6I", d, 1, m, 1, s, 1000)

for i in range(count):
    lat = math.degrees(math.asin(random.uniform(-1, 1))); lon = random.uniform(-180, 180)
    # TIFF header, IFD0 (one entry: the GPS directory's offset), GPS directory (4 entries), values.
    gps_at = 8 + 2 + 12 + 4
    values_at = gps_at + 2 + 4 * 12 + 4
    ifd0 = struct.pack("<H", 1) + struct.pack("<HHII", 0x8825, 4, 1, gps_at) + struct.pack("<I", 0)
    gps = struct.pack("<H", 4)
    gps += struct.pack("<HHI4s", 1, 2, 2, (b"N" if lat >= 0 else b"S") + b"\0\0\0")
    gps += struct.pack("<HHII", 2, 5, 3, values_at)
    gps += struct.pack("<HHI4s", 3, 2, 2, (b"E" if lon >= 0 else b"W") + b"\0\0\0")
    gps += struct.pack("<HHII", 4, 5, 3, values_at + 24)
    gps += struct.pack("<I", 0)
    tiff = b"II*\0" + struct.pack("<I", 8) + ifd0 + gps + rationals(abs(lat)) + rationals(abs(lon))
    exif = b"Exif\0\0" + tiff
    app1 = b"\xff\xe1" + struct.pack(">H", len(exif) + 2) + exif
    with open(f"{folder}/p{i:05d}.jpg", "wb") as f:
        f.write(b"\xff\xd8" + app1 + body[2:])
PY
fi

list=$out/list-$count
find "$photos" -name '*.jpg' | sort >"$list"
echo "== $count photos: place against coords (page cache, $runs runs each)"
hyperfine --warmup 1 --runs "$runs" -N --export-json "$out/hyperfine-$count.json" \
    "sh -c 'xargs -a $list $cli coords >/dev/null'" \
    "sh -c 'xargs -a $list $cli place >/dev/null'" 2>&1 | grep -E 'Time|±|faster|coords|place'
"$cli" place "$(head -1 "$list")"
if [ -x "$root/build/bench/places_bench" ]; then
    echo "== the index"
    "$root/build/bench/places_bench"
fi
