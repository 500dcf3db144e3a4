#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The preview and the full-size viewer's decode of a 24-megapixel photo against djpeg on the same file, in
# one run, whole process against whole process (hyperfine, no shell): bench/preview_bench decodes the file
# once as the window does and exits; djpeg writes its output to /dev/null. Then the viewer's decode and
# libjpeg decoding at 1/2 as djpeg does, both timed inside one process (preview_bench --in-process), so that
# loading Qt (about 20 ms) is not counted.
#   bench/preview_bench.sh [RUNS]
# Environment: VANTOREL_BUILD (build dir, default build), PREVIEW_BENCH (the bench program).
# Prints figures only: it never fails because of a result.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
runs=${1:-30}
build=${VANTOREL_BUILD:-$root/build}
bench=${PREVIEW_BENCH:-$build/bench/preview_bench}
convert=/usr/bin/convert
out=$here/out/preview
photo=$out/photo24mp.jpg

for tool in djpeg hyperfine jq "$convert"; do
    command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 2; }
done
[ -x "$bench" ] || { echo "missing bench program: $bench (build target preview_bench)" >&2; exit 2; }

mkdir -p "$out"
if [ ! -s "$photo" ]; then
    # A fractal with film grain has the detail of a real photo; 4:2:0 at quality 90 like a camera.
    # ImageMagick 6 takes the format from the name's extension: ".part" needs it spelled out.
    echo "making $photo (6000x4000, quality 90)..."
    "$convert" -size 6000x4000 -seed 7 plasma:fractal -attenuate 0.4 +noise Gaussian \
        -sampling-factor 2x2 -quality 90 "jpg:$photo.part"
    mv "$photo.part" "$photo"
fi
echo "file: $photo ($(stat -c %s "$photo") bytes)"

json=$out/preview.json
hyperfine -N --warmup 3 --runs "$runs" --export-json "$json" \
    -n "preview_bench (preview 272x353)" "$bench $photo" \
    -n "djpeg -scale 1/8" "djpeg -scale 1/8 -outfile /dev/null $photo" \
    -n "preview_bench --viewer 1920x1080" "$bench --viewer 1920x1080 $photo" \
    -n "djpeg -scale 1/2" "djpeg -scale 1/2 -outfile /dev/null $photo" \
    -n "djpeg full" "djpeg -outfile /dev/null $photo" >/dev/null 2>"$out/hyperfine.log"
ms() { jq ".results[$1].median * 1000" "$json"; }

awk -v p="$(ms 0)" -v e="$(ms 1)" -v v="$(ms 2)" -v h="$(ms 3)" -v f="$(ms 4)" 'BEGIN {
    printf "%-40s %9s\n", "median of runs, whole processes", "ms"
    printf "%-40s %9.2f\n", "vantorel preview (272x353)", p
    printf "%-40s %9.2f\n", "djpeg -scale 1/8", e
    printf "%-40s %9.2f\n", "vantorel viewer (1920x1080 screen)", v
    printf "%-40s %9.2f\n", "djpeg -scale 1/2", h
    printf "%-40s %9.2f\n", "djpeg full decode", f
    printf "preview / djpeg -scale 1/8 = %.2f (target <= 1.20: %s)\n", p / e, (p / e <= 1.2 ? "met" : "NOT met")
    printf "viewer / djpeg -scale 1/2  = %.2f (target <= 1.00: %s)\n", v / h, (v / h <= 1.0 ? "met" : "NOT met")
}'
echo "(each a whole process started without a shell: loading Qt counts for vantorel, writing its output for djpeg)"
read -r ours theirs < <("$bench" --in-process 1920x1080 "$photo" "$runs")
awk -v o="$ours" -v t="$theirs" 'BEGIN {
    printf "in one process, taking turns (%s runs each, medians):\n", "'"$runs"'"
    printf "%-40s %9.2f\n", "vantorel viewer (1920x1080 screen)", o
    printf "%-40s %9.2f\n", "libjpeg at 1/2 as djpeg decodes", t
    printf "viewer / libjpeg at 1/2 = %.2f\n", o / t
}' 
