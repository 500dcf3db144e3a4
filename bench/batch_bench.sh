#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Many copies in one call, whole process against whole process, in one run (hyperfine):
# vantorel-cli write --at over N typical camera photos (copies of a 102 KB photo, each its own
# file) against exiv2 -M setting the same four GPS items on N copies made beforehand (exiv2 edits
# in place; the copies are made in hyperfine's untimed preparation) and exiftool -o DIR/ writing
# the same N new files. Every preparation ends with a sync, so that no run flushes another's
# writes; the peers do not flush their files, Vantorel does (its copies are on disk when it ends),
# so each peer is also timed with a sync after it ("+ sync").
#   bench/batch_bench.sh [N] [RUNS]    N = 300, RUNS = 10 by default
# Environment: VANTOREL_CLI (default build/src/cli/vantorel-cli), BASE_CLI (another build, timed
# beside), SAMPLES, BENCH_DIR (default bench/out/batch: on disk, not in memory), EXIFTOOL=0 (leave
# exiftool out: a run of it takes about 20 times longer than the others).
# Prints figures only.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
count=${1:-300}
runs=${2:-10}
cli=${VANTOREL_CLI:-$root/build/src/cli/vantorel-cli}
base_cli=${BASE_CLI:-}
samples=${SAMPLES:-$root/tests/data/real}
photo=$samples/mdextract_Nikon_D1X.jpg
out=${BENCH_DIR:-$here/out/batch}
with_exiftool=${EXIFTOOL:-1}
for tool in exiv2 hyperfine "$cli"; do
    command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 2; }
done

rm -rf "$out"
mkdir -p "$out/src" "$out/exiv2" "$out/exiftool"
for i in $(seq -w 1 "$count"); do cp "$photo" "$out/src/p$i.jpg"; done
sync

position="48.8584, 2.2945"
items=(-M"set Exif.GPSInfo.GPSLatitudeRef N" -M"set Exif.GPSInfo.GPSLatitude 48/1 515040/10000 0/1"
       -M"set Exif.GPSInfo.GPSLongitudeRef E" -M"set Exif.GPSInfo.GPSLongitude 2/1 176700/10000 0/1")
exiv2_cmd="exiv2 -q $(printf "'%s' " "${items[@]}") $out/exiv2/*.jpg"
exiftool_cmd="exiftool -q -q -o $out/exiftool/ -GPSLatitudeRef=N -GPSLatitude=48.8584 -GPSLongitudeRef=E -GPSLongitude=2.2945 $out/src/*.jpg"

args=(--warmup 1 --runs "$runs" --export-markdown "$out/results.md")
args+=(-n "vantorel-cli write --at" --prepare "rm -f $out/src/#*; sync"
       "$cli write --at '$position' $out/src/*.jpg")
[ -n "$base_cli" ] && args+=(-n "BASE_CLI write --at" --prepare "rm -f $out/src/#*; sync"
                             "$base_cli write --at '$position' $out/src/*.jpg")
args+=(-n "exiv2 -M" --prepare "rm -f $out/exiv2/*; cp $out/src/*.jpg $out/exiv2/; sync" "$exiv2_cmd")
args+=(-n "exiv2 -M + sync" --prepare "rm -f $out/exiv2/*; cp $out/src/*.jpg $out/exiv2/; sync"
       "$exiv2_cmd; sync")
if [ "$with_exiftool" != 0 ] && command -v exiftool >/dev/null; then
    args+=(-n "exiftool -o DIR/" --prepare "rm -rf $out/exiftool; mkdir $out/exiftool; sync" "$exiftool_cmd")
    args+=(-n "exiftool -o DIR/ + sync" --prepare "rm -rf $out/exiftool; mkdir $out/exiftool; sync"
           "$exiftool_cmd; sync")
fi
echo "$count copies of $(basename "$photo") ($(stat -c %s "$photo") bytes) in $out, load $(cut -d' ' -f1 /proc/loadavg)"
hyperfine "${args[@]}"
rm -rf "$out/src" "$out/exiv2" "$out/exiftool"
