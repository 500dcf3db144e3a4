#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Takes the README's overview screenshot: a few hundred geotagged photos on one map (Form3, the
# embedded browser), under openbox on an Xvfb display, with a French locale.
# Usage: scripts/screenshot-overview.sh [build-dir] [output.png]   (as root, with setup.sh --tests)
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
OUT=${2:-docs/overview-screenshot.png}
SAMPLES=${VANTOREL_SAMPLES:-tests/data/real}

. "$(dirname "$0")/screenshot-common.sh"
run_in_display "$0" "$BUILD" "$OUT"

# 300 copies of one sample, each written with its own position along a loop over France.
photos=$(mktemp -d)
trap 'rm -rf "$photos"' EXIT
for i in $(seq 1 300); do
  cp "$SAMPLES/exifsamples_gps_DSCN0010.jpg" "$photos/p$i.jpg"
  lat=$(awk -v i="$i" 'BEGIN { printf "%.5f", 46.5 + 2.5 * sin(i / 300 * 6.2832) + (i % 7) * 0.05 }')
  lon=$(awk -v i="$i" 'BEGIN { printf "%.5f", 2.5 + 3.5 * cos(i / 300 * 6.2832) + (i % 5) * 0.05 }')
  "$BUILD/src/cli/vantorel-cli" write "$photos/p$i.jpg" "$lat" "$lon" >/dev/null
  rm "$photos/p$i.jpg"
done

start_openbox
"$BUILD/src/app/vantorel" -- "$photos"/*.jpg >/dev/null 2>&1 &
app=$!
wait_for 30 main_window
for _ in 1 2 3 4 5 6 7 8 9 10; do dismiss_notices; sleep 0.2; done
window=$(main_window)
xdotool windowactivate --sync "$window"
xdotool mousemove --window "$window" 336 248 click 1 # "Navigateur interne"
sleep 1
xdotool mousemove --window "$window" 932 132 click 1 # "Voir carte"
sleep 8
import -window root "$OUT"
kill $app
