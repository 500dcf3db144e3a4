#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Screenshot of the list after the window's buttons wrote and erased a HEIC and a TIFF photo: each
# "#" and "~" copy listed beside its source. Usage: scripts/screenshot-formats-write.sh [build] [out]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
OUT=${2:-docs/boxes/formats-written.png}
SAMPLES=${VANTOREL_SAMPLES:-tests/data/real}

. "$(dirname "$0")/screenshot-common.sh"
run_in_display "$0" "$BUILD" "$OUT"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
heif-enc -q 90 "$SAMPLES/exifsamples_gps_DSCN0010.jpg" -o "$work/DSCN0010.heic" >/dev/null
convert "$SAMPLES/exifsamples_gps_DSCN0012.jpg" "$work/DSCN0012.tif"
exiftool -q -overwrite_original -tagsFromFile "$SAMPLES/exifsamples_gps_DSCN0012.jpg" -gps:all "$work/DSCN0012.tif"

start_openbox
"$BUILD/src/app/vantorel" "$work/DSCN0010.heic" "$work/DSCN0012.tif" >/dev/null 2>&1 &
app=$!
wait_for 20 main_window
for _ in 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15; do dismiss_notices; sleep 0.2; done
sleep 2
window=$(main_window)
click() { # x y inside the main window
  xdotool mousemove --window "$window" "$1" "$2" click 1
  sleep 1.5
}
answer() { # the result box: its default button
  local w
  for w in $(xdotool search --onlyvisible --pid "$app" --name '^Vantorel$' 2>/dev/null); do
    xdotool windowactivate --sync "$w" key Return 2>/dev/null || true
  done
  sleep 1
}
# Each source in turn (the list keeps its names sorted: the TIFF is second, then the HEIC is):
# selected, its copy with the position in the fields, then its copy
# without position.
for row in 28 28; do
  click 200 "$row"
  for _ in 1 2 3 4 5; do dismiss_notices; sleep 0.3; done
  click 443 644
  answer
  click 623 644
  answer
done
sleep 1
shoot_window "$(main_window)" "$OUT"
kill $app
ls "$work" >/dev/null
