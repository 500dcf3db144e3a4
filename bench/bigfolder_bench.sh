#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Many copies written into a large folder, in one run: vantorel-cli write --at over M photos of a
# folder of N (hard links to one ~100 KB camera photo), against exiv2 -M setting the same four GPS
# items on M copies made beforehand, each tool in one process; BASE_CLI (another build) beside.
# The folder is in memory (/dev/shm) when the machine has it, so that the disk's flushes do not
# hide what each copy costs besides them.
#   bench/bigfolder_bench.sh [N [M]]     N = 10000, M = 1000 by default
# Environment: VANTOREL_CLI (default build/src/cli/vantorel-cli), BASE_CLI, SAMPLES.
# Prints figures only.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
count=${1:-10000}
written=${2:-1000}
cli=${VANTOREL_CLI:-$root/build/src/cli/vantorel-cli}
base_cli=${BASE_CLI:-}
samples=${SAMPLES:-$root/tests/data/real}
photo=$samples/exifsamples_Sanyo_VPC-SX550.jpg
for tool in exiv2 hyperfine "$cli"; do
    command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 2; }
done

parent=/dev/shm
[ -d "$parent" ] && [ -w "$parent" ] || parent=${TMPDIR:-/tmp}
tmp=$(mktemp -d "$parent/vantorel-bigfolder.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
mkdir "$tmp/folder" "$tmp/exiv2"
cp "$photo" "$tmp/photo.jpg"
for i in $(seq -w 1 "$count"); do ln "$tmp/photo.jpg" "$tmp/folder/p$i.jpg"; done
for i in $(seq -w 1 "$written"); do cp "$photo" "$tmp/exiv2/p$i.jpg"; done
(cd "$tmp/folder" && ls) >"$tmp/all.txt"
head -n "$written" "$tmp/all.txt" >"$tmp/list.txt"

cat >"$tmp/write.sh" <<EOS
cd "$tmp/folder" && rm -f ./#* && xargs -a "$tmp/list.txt" -d '\n' "\$1" write --at "48.8584, 2.2945" --force >/dev/null
EOS
args=(-n "vantorel-cli write --at" "sh $tmp/write.sh $cli")
[ -n "$base_cli" ] && args+=(-n "BASE_CLI write --at" "sh $tmp/write.sh $base_cli")
args+=(-n "exiv2 -M" "exiv2 -M'set Exif.GPSInfo.GPSLatitudeRef N' -M'set Exif.GPSInfo.GPSLatitude 48/1 51/1 3024/100' \
-M'set Exif.GPSInfo.GPSLongitudeRef E' -M'set Exif.GPSInfo.GPSLongitude 2/1 17/1 4020/100' $tmp/exiv2/*.jpg")
echo "$written copies written into a folder of $count photos ($(basename "$photo")), in $parent"
hyperfine --warmup 1 --runs 5 "${args[@]}"
