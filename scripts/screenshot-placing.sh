#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Takes the README's screenshot of « Placer sur la carte »: a photo without position, the map
# opened under it and a click that put the marker and filled the new latitude and longitude, under
# openbox on an Xvfb display, with a French locale.
# Usage: scripts/screenshot-placing.sh [build-dir] [output.png]   (as root, with setup.sh --tests)
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
OUT=${2:-docs/placing-screenshot.png}
SAMPLES=${VANTOREL_SAMPLES:-tests/data/real}

. "$(dirname "$0")/screenshot-common.sh"
run_in_display "$0" "$BUILD" "$OUT"

start_openbox
"$BUILD/src/app/vantorel" -- "$SAMPLES/exifsamples_Canon_40D.jpg" >/dev/null 2>&1 &
app=$!
wait_for 20 main_window
for _ in 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15; do dismiss_notices; sleep 0.2; done
window=$(main_window)
xdotool windowactivate --sync "$window"
xdotool mousemove --window "$window" 92 614 click 1 # « Placer sur la carte »
sleep 6
xdotool mousemove --window "$window" 200 400 click 1 # a place on the map
sleep 2
shoot_window "$window" "$OUT"
kill $app
