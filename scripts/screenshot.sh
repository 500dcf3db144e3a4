#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Takes the README's screenshot: the program under a window manager (openbox on an Xvfb display),
# with a French locale, after a photo whose longitude passes 100° is selected in the list.
# Usage: scripts/screenshot.sh [build-dir] [output.png]   (as root, with the test packages of setup.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
OUT=${2:-docs/screenshot.png}
SAMPLES=${VANTOREL_SAMPLES:-tests/data/real}

. "$(dirname "$0")/screenshot-common.sh"
run_in_display "$0" "$BUILD" "$OUT"

start_openbox
"$BUILD/src/app/vantorel" "$SAMPLES/exiv2_FurnaceCreekInn.jpg" "$SAMPLES/exifsamples_gps_DSCN0010.jpg" \
  "$SAMPLES/exifsamples_Canon_40D.jpg" >/dev/null 2>&1 &
app=$!
wait_for 20 main_window
for _ in 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15; do dismiss_notices; sleep 0.2; done
window=$(main_window)
# In the list, the photo whose longitude passes 100° is the third entry.
xdotool windowactivate --sync "$window"
xdotool mousemove --window "$window" 200 49 click 1
wait_for 10 sh -c "xdotool search --onlyvisible --pid $app --name '^/.*FurnaceCreekInn' >/dev/null"
sleep 2
window=$(main_window)
shoot_window "$window" "$OUT"
kill $app
