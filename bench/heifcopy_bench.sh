#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The geotagged copy of a 3 MB HEIC (12 megapixels, made by heif-enc from ImageMagick's picture,
# a camera and a position put by exiftool) against exiftool writing the same copy (-o), in one run,
# whole process against whole process (hyperfine, no shell; the copy removed before each run):
# "#" with a new position, "~" without it; also the same for an AVIF of 2 megapixels.
#   bench/heifcopy_bench.sh [RUNS]
# Environment: VANTOREL_BUILD (build dir, default build).
# Prints figures only: it never fails because of a result.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
runs=${1:-10}
build=${VANTOREL_BUILD:-$root/build}
cli=$build/src/cli/vantorel-cli
convert=/usr/bin/convert
out=$here/out/heifcopy

for tool in exiftool hyperfine jq heif-enc "$convert"; do
    command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 2; }
done
[ -x "$cli" ] || { echo "missing: $cli (build target vantorel-cli)" >&2; exit 2; }

mkdir -p "$out"
tags=(-q -m -overwrite_original -GPSLatitude=48.5 -GPSLatitudeRef=N -GPSLongitude=2.25 -GPSLongitudeRef=E
      -Make=Cam -Model=Bench -DateTimeOriginal="2024:05:06 10:20:30")

make_heif() { # SIZE QUALITY OUTPUT [heif-enc options]
    local size=$1 quality=$2 target=$3
    shift 3
    [ -s "$target" ] && return
    echo "making $target ($size)..."
    "$convert" -size "$size" -seed 7 plasma:fractal -blur 0x1 -quality 95 "jpg:$target.jpg"
    exiftool "${tags[@]}" "$target.jpg"
    heif-enc "$@" -q "$quality" "$target.jpg" -o "$target.part.${target##*.}"
    mv "$target.part.${target##*.}" "$target"
    rm -f "$target.jpg"
}
heic=$out/photo3mb.heic
avif=$out/photo2mp.avif
make_heif 4032x3024 80 "$heic"
make_heif 1600x1200 60 "$avif" -A

for file in "$heic" "$avif"; do
    name=$(basename "$file")
    dir=$(dirname "$file")
    copy=$dir/\#$name
    erased=$dir/\~$name
    other=$out/exiftool-$name
    otherErased=$out/exiftool-erased-$name
    echo
    echo "== $name ($(stat -c %s "$file") bytes)"
    json=$out/$name.json
    hyperfine -N --warmup 2 --runs "$runs" --export-json "$json" \
        -n "vantorel-cli write" --prepare "rm -f $copy" "$cli write $file 33.8568 151.2153" \
        -n "exiftool -o (position)" --prepare "rm -f $other" \
        "exiftool -q -o $other -GPSLatitude=33.8568 -GPSLatitudeRef=N -GPSLongitude=151.2153 -GPSLongitudeRef=E $file" \
        -n "vantorel-cli erase" --prepare "rm -f $erased" "$cli erase $file" \
        -n "exiftool -o (GPS removed)" --prepare "rm -f $otherErased" "exiftool -q -o $otherErased -gps:all= $file" \
        >/dev/null
    jq -r '.results[] | "\(.command): median \(.median * 1000 | floor) ms (\(.min * 1000 | floor) to \(.max * 1000 | floor))"' "$json"
    jq -r '"ratio write: \(.results[0].median / .results[1].median * 100 | floor / 100), erase: \(.results[2].median / .results[3].median * 100 | floor / 100)"' "$json"
done
