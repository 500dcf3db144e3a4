#!/usr/bin/env bash
# Preview decode of a 24-megapixel photo against djpeg on the same file, in one run:
#   bench/preview_bench.sh [RUNS]
# The program's decode is timed in its own process (bench/preview_bench); djpeg through hyperfine.
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
    echo "making $photo (6000x4000, quality 90)..."
    "$convert" -size 6000x4000 -seed 7 plasma:fractal -attenuate 0.4 +noise Gaussian \
        -sampling-factor 2x2 -quality 90 "$photo.part"
    mv "$photo.part" "$photo"
fi
echo "file: $photo ($(stat -c %s "$photo") bytes)"

json=$out/djpeg.json
hyperfine -N --warmup 3 --runs "$runs" --export-json "$json" \
    -n "djpeg -scale 1/8" "djpeg -scale 1/8 -outfile /dev/null $photo" \
    -n "djpeg full" "djpeg -outfile /dev/null $photo" >/dev/null 2>"$out/hyperfine.log"
eighth=$(jq '.results[0].median * 1000' "$json")
full=$(jq '.results[1].median * 1000' "$json")

line=$("$bench" "$photo" "$runs" | tail -n 1)
preview=$(sed -n 's/.*median_ms=\([0-9.]*\).*/\1/p' <<<"$line")

awk -v p="$preview" -v e="$eighth" -v f="$full" 'BEGIN {
    printf "%-34s %9s\n", "median of runs", "ms"
    printf "%-34s %9.2f\n", "vantorel decodePreview (272x353)", p
    printf "%-34s %9.2f\n", "djpeg -scale 1/8", e
    printf "%-34s %9.2f\n", "djpeg full decode", f
    printf "preview / djpeg -scale 1/8 = %.2f (target <= 1.20: %s)\n", p / e, (p / e <= 1.2 ? "met" : "NOT met")
    printf "preview / djpeg full       = %.2f\n", p / f
}'
echo "(djpeg times include starting its process, about 1 ms; the preview is timed inside its process)"
