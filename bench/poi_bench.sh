#!/usr/bin/env bash
# Reading the positions of many geotagged photos: vantorel-cli poi against exiv2 and exiftool on the same
# files, in one run:
#   bench/poi_bench.sh [N]          N photos, 10000 by default
# Environment: VANTOREL_CLI (default build/src/cli/vantorel-cli), RUNS (timed runs of the fast tools, 5).
# Prints figures only: it never fails because of a result.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
count=${1:-10000}
runs=${RUNS:-5}
cli=${VANTOREL_CLI:-$root/build/src/cli/vantorel-cli}
convert=/usr/bin/convert
out=$here/out/poi
photos=$out/photos-$count

for tool in exiv2 exiftool hyperfine jq python3 "$convert"; do
    command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 2; }
done
[ -x "$cli" ] || echo "note: $cli not found; its line is skipped" >&2

mkdir -p "$out"
base=$out/base.jpg
if [ ! -s "$base" ]; then
    # A 640x480 photo with what a camera writes: IFD0, the Exif directory, a GPS position and a thumbnail.
    "$convert" -size 640x480 -seed 3 plasma:fractal -sampling-factor 2x2 -quality 90 "$out/make.jpg"
    "$convert" "$out/make.jpg" -resize 160x120 -quality 80 "$out/make-thumb.jpg"
    exiv2 \
        -M"set Exif.Image.Make Ascii Vantorel Bench" \
        -M"set Exif.Image.Model Ascii Field Camera 1" \
        -M"set Exif.Image.Orientation Short 1" \
        -M"set Exif.Image.XResolution Rational 72/1" \
        -M"set Exif.Image.YResolution Rational 72/1" \
        -M"set Exif.Image.ResolutionUnit Short 2" \
        -M"set Exif.Image.Software Ascii Firmware 1.0" \
        -M"set Exif.Image.DateTime Ascii 2023:06:14 10:21:33" \
        -M"set Exif.Image.YCbCrPositioning Short 2" \
        -M"set Exif.Photo.ExposureTime Rational 1/250" \
        -M"set Exif.Photo.FNumber Rational 56/10" \
        -M"set Exif.Photo.ExposureProgram Short 2" \
        -M"set Exif.Photo.ISOSpeedRatings Short 100" \
        -M"set Exif.Photo.ExifVersion Undefined 48 50 51 48" \
        -M"set Exif.Photo.DateTimeOriginal Ascii 2023:06:14 10:21:33" \
        -M"set Exif.Photo.DateTimeDigitized Ascii 2023:06:14 10:21:33" \
        -M"set Exif.Photo.ExposureBiasValue SRational 0/3" \
        -M"set Exif.Photo.MaxApertureValue Rational 30/10" \
        -M"set Exif.Photo.MeteringMode Short 5" \
        -M"set Exif.Photo.Flash Short 16" \
        -M"set Exif.Photo.FocalLength Rational 66/10" \
        -M"set Exif.Photo.ColorSpace Short 1" \
        -M"set Exif.Photo.PixelXDimension Long 640" \
        -M"set Exif.Photo.PixelYDimension Long 480" \
        -M"set Exif.Photo.WhiteBalance Short 0" \
        -M"set Exif.Photo.FocalLengthIn35mmFilm Short 35" \
        -M"set Exif.GPSInfo.GPSVersionID Byte 2 2 0 0" \
        -M"set Exif.GPSInfo.GPSLatitudeRef Ascii N" \
        -M"set Exif.GPSInfo.GPSLatitude Rational 45/1 10/1 1234/100" \
        -M"set Exif.GPSInfo.GPSLongitudeRef Ascii E" \
        -M"set Exif.GPSInfo.GPSLongitude Rational 5/1 43/1 2100/100" \
        -M"set Exif.GPSInfo.GPSAltitudeRef Byte 0" \
        -M"set Exif.GPSInfo.GPSAltitude Rational 3512/100" \
        -M"set Exif.GPSInfo.GPSImgDirectionRef Ascii T" \
        -M"set Exif.GPSInfo.GPSImgDirection Rational 12345/100" \
        -M"set Exif.GPSInfo.GPSMapDatum Ascii WGS-84" \
        "$out/make.jpg"
    (cd "$out" && exiv2 -it make.jpg) # the thumbnail from make-thumb.jpg
    mv "$out/make.jpg" "$base"
    rm -f "$out/make-thumb.jpg"
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
gps="-g Exif.GPSInfo.GPSLatitudeRef -g Exif.GPSInfo.GPSLatitude -g Exif.GPSInfo.GPSLongitudeRef"
gps="$gps -g Exif.GPSInfo.GPSLongitude -g Exif.GPSInfo.GPSAltitudeRef -g Exif.GPSInfo.GPSAltitude"
declare -a names=() commands=()
if [ -x "$cli" ]; then
    names+=("vantorel-cli poi")
    commands+=("$each $cli poi")
fi
names+=("exiv2 -g GPS... -Pv")
commands+=("$each exiv2 $gps -Pv")
exiftool_cmd="$each exiftool -n -fast -GPSLatitudeRef -GPSLatitude -GPSLongitudeRef -GPSLongitude"
exiftool_cmd="$exiftool_cmd -GPSAltitudeRef -GPSAltitude -ImageWidth -ImageHeight"

# What each tool printed, as a check that it read the photos.
for i in "${!names[@]}"; do
    lines=$(sh -c "${commands[$i]}" 2>/dev/null | wc -l)
    echo "${names[$i]}: $lines lines of output"
done

json=$out/fast.json
args=()
for i in "${!names[@]}"; do args+=(-n "${names[$i]}" "${commands[$i]} >/dev/null 2>&1"); done
hyperfine --warmup 1 --runs "$runs" --export-json "$json" "${args[@]}" >/dev/null 2>"$out/hyperfine.log" || true
hyperfine --runs 1 --export-json "$out/exiftool.json" -n exiftool "$exiftool_cmd >/dev/null 2>&1" \
    >/dev/null 2>>"$out/hyperfine.log" || true

declare -A ms
for i in "${!names[@]}"; do ms[${names[$i]}]=$(jq ".results[$i].median * 1000" "$json"); done
ms[exiftool]=$(jq '.results[0].mean * 1000' "$out/exiftool.json")

printf '%-26s %12s %14s\n' "tool ($count photos)" "ms" "us per photo"
for name in "${names[@]}" exiftool; do
    awk -v n="$name" -v t="${ms[$name]}" -v c="$count" 'BEGIN { printf "%-26s %12.1f %14.1f\n", n, t, t * 1000 / c }'
done
if [ -x "$cli" ]; then
    awk -v v="${ms[vantorel-cli poi]}" -v x="${ms[exiv2 -g GPS... -Pv]}" -v e="${ms[exiftool]}" 'BEGIN {
        printf "vantorel / exiv2    = %.2f (target <= 1.00: %s)\n", v / x, (v <= x ? "met" : "NOT met")
        printf "exiftool / vantorel = %.1f (target >= 40: %s)\n", e / v, (e / v >= 40 ? "met" : "NOT met")
    }'
fi
echo "(median of $runs runs after a warm-up for the fast tools, one run for exiftool; files in the page cache)"
