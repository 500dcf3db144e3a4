#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Writing geotagged copies of 24-megapixel photos: Vantorel's writer against exiv2 -M (setting the
# same four GPS items on copies made beforehand, untimed) and exiftool -o (writing new files), in
# one run, each tool over all the photos in one process:
#   bench/geotag_bench.sh [N]       N photos, 1000 by default
# Environment: GEOTAG_BENCH (default build/bench/geotag_bench), BENCH_DIR (default bench/out/geotag).
# Prints figures only: it never fails because of a result.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
count=${1:-1000}
bench=${GEOTAG_BENCH:-$root/build/bench/geotag_bench}
out=${BENCH_DIR:-$here/out/geotag}
convert=/usr/bin/convert
samples=${SAMPLES:-$root/tests/data/real}

for tool in exiv2 exiftool "$convert" "$bench"; do
    command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 2; }
done

mkdir -p "$out/base"
# Four 6000x4000 photos with a camera's Exif block (maker notes, thumbnail) taken from real samples.
i=0
for donor in mdextract_Canon_EOS_7D.jpg mdextract_Nikon_D5000.jpg mdextract_Apple_iPhone_6.jpg \
             exifsamples_Samsung_SM-G930F_67.jpg; do
    base=$out/base/b$i.jpg
    if [ ! -s "$base" ]; then
        "$convert" -size 1500x1000 -seed $i plasma:fractal -resize 6000x4000\! \
            -attenuate 0.4 +noise Gaussian -quality 92 "$base"
        exiftool -q -q -overwrite_original -TagsFromFile "$samples/$donor" -exif:all "$base" || true
    fi
    i=$((i + 1))
done

rm -rf "$out/src" "$out/exiv2" "$out/exiftool"
mkdir -p "$out/src" "$out/exiv2" "$out/exiftool"
for n in $(seq -w 0 $((count - 1))); do
    ln "$out/base/b$((10#$n % 4)).jpg" "$out/src/p$n.jpg"
done
bytes=$(du -cb "$out"/base/b*.jpg | tail -1 | cut -f1)
echo "photos: $count copies of 4 photos of 6000x4000, $((bytes / 4 / 1024 / 1024)) MiB on average"

now() { date +%s.%N; }
seconds() { /usr/bin/time -f %e "$@" 2>&1 >/dev/null | tail -1; }
# The time until the copies are on disk: the peers do not flush, so a sync is added to their runs.
flushed() { awk -v a="$1" -v b="$2" -v c="$3" 'BEGIN { printf "%.2f", c + b - a }'; }

sync
ours=$("$bench" 48.12345 -2.56789 "$out"/src/p*.jpg | tail -1)
t0=$(now); sync; t1=$(now)
ours_flushed=$(flushed "$t0" "$t1" "$ours")
rm -f "$out"/src/#p*.jpg

# exiv2 rewrites in place: its copies are made first and not timed.
for f in "$out"/src/p*.jpg; do cp "$f" "$out/exiv2/"; done
sync
peer_exiv2=$(seconds exiv2 -q \
    -M"set Exif.GPSInfo.GPSLatitudeRef Ascii N" -M"set Exif.GPSInfo.GPSLatitude Rational 48/1 74069/10000 0/1" \
    -M"set Exif.GPSInfo.GPSLongitudeRef Ascii W" -M"set Exif.GPSInfo.GPSLongitude Rational 2/1 340733/10000 0/1" \
    "$out"/exiv2/p*.jpg)
t0=$(now); sync; t1=$(now)
exiv2_flushed=$(flushed "$t0" "$t1" "$peer_exiv2")
rm -rf "$out/exiv2"

peer_exiftool=$(seconds exiftool -q -q -o "$out/exiftool/" \
    -GPSLatitudeRef=N -GPSLatitude=48.12345 -GPSLongitudeRef=W -GPSLongitude=2.56789 "$out"/src/p*.jpg)
t0=$(now); sync; t1=$(now)
exiftool_flushed=$(flushed "$t0" "$t1" "$peer_exiftool")
rm -rf "$out/exiftool" "$out/src"

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
printf "%-34s %10s %16s\n" "" "time (s)" "until on disk (s)"
printf "%-34s %10s %16s\n" "Vantorel (lossless splice, fsync)" "$ours" "$ours_flushed" \
    "exiv2 -M (in place, on copies)" "$peer_exiv2" "$exiv2_flushed" "exiftool -o" "$peer_exiftool" "$exiftool_flushed"
echo "Vantorel / exiv2: $(ratio "$ours" "$peer_exiv2")x the time ($(ratio "$ours_flushed" "$exiv2_flushed")x until on disk)"
echo "exiftool / Vantorel: $(ratio "$peer_exiftool" "$ours")x ($(ratio "$exiftool_flushed" "$ours_flushed")x until on disk)"
