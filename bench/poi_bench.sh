#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Reading the positions of many geotagged photos: vantorel-cli poi against exiv2 and exiftool on the same
# files, in one run:
#   bench/poi_bench.sh [--real | --heic] [--cold] [N]
#     N        photos, 10000 by default
#     --heic   N copies of the synthetic photo as HEIC (the same picture and Exif items, made with
#              heif-enc and exiftool), with vantorel-cli poi on the N JPEG copies timed beside them
#     --real   copies of the real camera samples (tests/data/real) with varied GPS values, in
#              place of N identical synthetic photos: maker notes, profiles and large files as cameras
#              write them
#     --cold   each timed run starts with the set's files out of the page cache (only these files are
#              evicted, with posix_fadvise DONTNEED), and the bytes each tool read from disk are shown
# The floor is build/bench/headfloor_bench: the first 16 KB of each photo read on as many threads as poi
# reads ahead with (3), nothing parsed.
# Environment: VANTOREL_CLI (default build/src/cli/vantorel-cli), BASE_CLI (another build's
# vantorel-cli, timed beside it when given), FLOOR (default build/bench/headfloor_bench), RUNS (timed runs of the fast tools, 5;
# 3 when cold), SAMPLES (the real samples' folder).
# Prints figures only: it never fails because of a result.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
real=0
heic=0
cold=0
count=10000
for arg in "$@"; do
    case "$arg" in
    --real) real=1 ;;
    --heic) heic=1 ;;
    --cold) cold=1 ;;
    *) count=$arg ;;
    esac
done
runs=${RUNS:-$([ "$cold" = 1 ] && echo 3 || echo 5)}
samples=${SAMPLES:-$root/tests/data/real}
cli=${VANTOREL_CLI:-$root/build/src/cli/vantorel-cli}
floor=${FLOOR:-$root/build/bench/headfloor_bench}
base_cli=${BASE_CLI:-}
convert=/usr/bin/convert
out=$here/out/poi
photos=$out/photos-$count
[ "$real" = 1 ] && photos=$out/real-$count

for tool in exiv2 exiftool hyperfine jq python3 "$convert"; do
    command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 2; }
done
[ -x "$cli" ] || echo "note: $cli not found; its line is skipped" >&2

# COUNT copies of BASE in FOLDER, named p00001.EXT...
copies() {
    python3 - "$@" <<'PY'
import shutil, sys
base, folder, count, extension = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
width = len(str(count))
for i in range(1, count + 1):
    shutil.copyfile(base, f"{folder}/p{i:0{width}d}.{extension}")
PY
}

mkdir -p "$out"
if [ "$real" = 1 ]; then
    templates=$out/real-templates
    if [ ! -d "$templates" ]; then
        # Each sample exiv2 can write to gets a position with marker values (31.41592'' and 27.18281''),
        # which the copies below replace with values of their own.
        rm -rf "$templates.tmp"
        mkdir -p "$templates.tmp"
        for f in "$samples"/*.jpg; do
            t=$templates.tmp/$(basename "$f")
            cp "$f" "$t"
            if ! exiv2 -q \
                -M"set Exif.GPSInfo.GPSLatitudeRef Ascii N" \
                -M"set Exif.GPSInfo.GPSLatitude Rational 45/1 10/1 3141592/100000" \
                -M"set Exif.GPSInfo.GPSLongitudeRef Ascii E" \
                -M"set Exif.GPSInfo.GPSLongitude Rational 5/1 43/1 2718281/100000" \
                "$t" 2>/dev/null; then
                rm -f "$t"
            fi
        done
        mv "$templates.tmp" "$templates"
    fi
    if [ ! -d "$photos" ] || [ "$(find "$photos" -name '*.jpg' | wc -l)" -ne "$count" ]; then
        echo "making $count copies of the real samples in $photos..."
        rm -rf "$photos"
        mkdir -p "$photos"
        python3 - "$templates" "$photos" "$count" <<'PY'
import os, struct, sys
templates, folder, count = sys.argv[1], sys.argv[2], int(sys.argv[3])
# (numerator, denominator) of the marker seconds, in either byte order.
markers = {"lat": (3141592, 100000), "lon": (2718281, 100000)}
usable = []
for name in sorted(os.listdir(templates)):
    data = open(os.path.join(templates, name), "rb").read()
    places = {}
    for key, (n, d) in markers.items():
        for fmt in (">II", "<II"):
            at = data.find(struct.pack(fmt, n, d))
            if at >= 0:
                places[key] = (at, fmt)
    if len(places) == 2:
        usable.append((name, bytearray(data), places))
width = len(str(count))
for i in range(count):
    name, data, places = usable[i % len(usable)]
    copy = bytearray(data)
    for k, (at, fmt) in enumerate(sorted(places.values())):
        seconds = (i * (7919 if k == 0 else 104729)) % 6000000  # 0 to 59.99999 seconds
        copy[at:at + 8] = struct.pack(fmt, seconds, 100000)
    # Real copies (not links): every file has blocks of its own on the disk.
    with open(f"{folder}/r{i + 1:0{width}d}-{name}", "wb") as f:
        f.write(copy)
print(f"{len(usable)} samples used")
PY
        sync
    fi
else
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
        copies "$base" "$photos" "$count" jpg
    fi
fi
jpegs=$photos
extension=jpg
if [ "$heic" = 1 ]; then
    for tool in heif-enc exiftool; do command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 2; }; done
    base_heic=$out/base.heic
    if [ ! -s "$base_heic" ]; then
        # The same picture and Exif items as base.jpg (exiv2 0.27 cannot write HEIC: exiftool copies them).
        "$convert" "$out/base.jpg" "PNG24:$out/make.png"
        heif-enc -q 90 "$out/make.png" -o "$out/make.heic" >/dev/null
        exiftool -q -q -overwrite_original -tagsFromFile "$out/base.jpg" -exif:all "$out/make.heic"
        mv "$out/make.heic" "$base_heic"
        rm -f "$out/make.png"
    fi
    photos=$out/heic-$count
    extension=heic
    if [ ! -d "$photos" ] || [ "$(find "$photos" -name '*.heic' | wc -l)" -ne "$count" ]; then
        echo "making $count HEIC photos in $photos..."
        rm -rf "$photos"
        mkdir -p "$photos"
        copies "$base_heic" "$photos" "$count" heic
    fi
    (cd "$jpegs" && ls -1 -- *.jpg) >"$out/jpeg-list.txt"
fi
cd "$photos"
ls -1 -- *."$extension" >"$out/list.txt" # short relative names keep every tool to one command line
echo "$count photos, $(du -sm . | cut -f1) MB in $photos"

each="xargs -s 2000000 -a $out/list.txt"
gps="-g Exif.GPSInfo.GPSLatitudeRef -g Exif.GPSInfo.GPSLatitude -g Exif.GPSInfo.GPSLongitudeRef"
gps="$gps -g Exif.GPSInfo.GPSLongitude -g Exif.GPSInfo.GPSAltitudeRef -g Exif.GPSInfo.GPSAltitude"
declare -a names=() commands=()
if [ -x "$cli" ]; then
    names+=("vantorel-cli poi")
    commands+=("$each $cli poi")
fi
if [ "$heic" = 1 ] && [ -x "$cli" ]; then
    names+=("vantorel-cli poi, JPEG")
    commands+=("cd $jpegs && xargs -s 2000000 -a $out/jpeg-list.txt $cli poi")
fi
names+=("exiv2 -g GPS... -Pv")
commands+=("$each exiv2 $gps -Pv")
if [ -x "$floor" ]; then
    names+=("head floor (16 KB, 3 threads)")
    commands+=("$floor 3 <$out/list.txt")
fi
if [ -n "$base_cli" ]; then
    names+=("base vantorel-cli poi")
    commands+=("$each $base_cli poi")
fi
exiftool_cmd="$each exiftool -n -fast -GPSLatitudeRef -GPSLatitude -GPSLongitudeRef -GPSLongitude"
exiftool_cmd="$exiftool_cmd -GPSAltitudeRef -GPSAltitude -ImageWidth -ImageHeight"

# What each tool printed, as a check that it read the photos.
for i in "${!names[@]}"; do
    lines=$(sh -c "${commands[$i]}" 2>/dev/null | wc -l)
    echo "${names[$i]}: $lines lines of output"
done

if [ "$cold" = 1 ]; then
    # Each run: the set's files dropped from the page cache, then the tool; time and bytes read
    # from disk (the children's block input, getrusage) per tool, the tools taking turns.
    python3 - "$out/list.txt" "$runs" "${names[@]}" -- "${commands[@]}" <<'PY'
import os, resource, statistics, subprocess, sys, time
listing, runs = sys.argv[1], int(sys.argv[2])
rest = sys.argv[3:]
split = rest.index("--")
names, commands = rest[:split], rest[split + 1:]
files = [line.rstrip("\n") for line in open(listing)]
os.sync()

def evict():
    for f in files:
        fd = os.open(f, os.O_RDONLY)
        os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)
        os.close(fd)

results = {n: ([], []) for n in names}
for _ in range(runs):
    for name, command in zip(names, commands):
        evict()
        before = resource.getrusage(resource.RUSAGE_CHILDREN).ru_inblock
        start = time.monotonic()
        subprocess.run(command + " >/dev/null 2>&1", shell=True)
        elapsed = time.monotonic() - start
        blocks = resource.getrusage(resource.RUSAGE_CHILDREN).ru_inblock - before
        results[name][0].append(elapsed * 1000)
        results[name][1].append(blocks * 512 / 1e6)
print(f"{'tool (' + str(len(files)) + ' photos, cold)':<34} {'ms':>10} {'MB read':>10}")
ms = {n: statistics.median(r[0]) for n, r in results.items()}
for name, (times, mb) in results.items():
    print(f"{name:<34} {ms[name]:>10.0f} {statistics.median(mb):>10.1f}")
floor = "head floor (16 KB, 3 threads)"
if "vantorel-cli poi" in ms and floor in ms:
    ratio = ms["vantorel-cli poi"] / ms[floor]
    print(f"vantorel / floor cold = {ratio:.2f} (target <= 1.3: {'met' if ratio <= 1.3 else 'NOT met'})")
if "vantorel-cli poi" in ms and "exiv2 -g GPS... -Pv" in ms:
    ratio = ms["vantorel-cli poi"] / ms["exiv2 -g GPS... -Pv"]
    mb = statistics.median(results["vantorel-cli poi"][1])
    print(f"vantorel / exiv2 cold = {ratio:.2f} (target <= 0.12: {'met' if ratio <= 0.12 else 'NOT met'}); "
          f"vantorel read {mb:.0f} MB (target < 200: {'met' if mb < 200 else 'NOT met'})")
print(f"(median of {runs} runs, each after evicting the set's files from the page cache)")
PY
    exit 0
fi

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
if [ "$heic" = 1 ] && [ -x "$cli" ]; then
    awk -v h="${ms[vantorel-cli poi]}" -v j="${ms[vantorel-cli poi, JPEG]}" 'BEGIN {
        printf "HEIC / JPEG         = %.2f (target <= 2.00: %s)\n", h / j, (h <= 2 * j ? "met" : "NOT met")
    }'
fi
if [ -x "$cli" ]; then
    [ -x "$floor" ] && awk -v v="${ms[vantorel-cli poi]}" -v f="${ms[head floor (16 KB, 3 threads)]}" 'BEGIN {
        printf "vantorel / floor    = %.2f (target <= 3.00: %s)\n", v / f, (v <= 3 * f ? "met" : "NOT met")
    }'
    awk -v v="${ms[vantorel-cli poi]}" -v x="${ms[exiv2 -g GPS... -Pv]}" -v e="${ms[exiftool]}" 'BEGIN {
        printf "vantorel / exiv2    = %.2f (target <= 1.00: %s)\n", v / x, (v <= x ? "met" : "NOT met")
        printf "exiftool / vantorel = %.1f (target >= 40: %s)\n", e / v, (e / v >= 40 ? "met" : "NOT met")
    }'
fi
echo "(median of $runs runs after a warm-up for the fast tools, one run for exiftool; files in the page cache)"
