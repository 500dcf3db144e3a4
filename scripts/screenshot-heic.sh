#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Takes docs/boxes/heic-selected.png: the program under a window manager (openbox on an Xvfb display),
# with a French locale, a HEIC photo selected: its position, its listing and its preview. The HEIC is
# made here by heif-enc from a geotagged sample photo, whose Exif items it copies.
# Usage: scripts/screenshot-heic.sh [build-dir] [output.png]   (as root, with the test packages of setup.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
OUT=${2:-docs/boxes/heic-selected.png}
SAMPLES=${VANTOREL_SAMPLES:-tests/data/real}

. "$(dirname "$0")/screenshot-common.sh"
run_in_display "$0" "$BUILD" "$OUT"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
heif-enc -q 90 "$SAMPLES/exifsamples_gps_DSCN0010.jpg" -o "$work/DSCN0010.heic" >/dev/null

start_openbox
"$BUILD/src/app/vantorel" "$work/DSCN0010.heic" >/dev/null 2>&1 &
app=$!
wait_for 20 main_window
for _ in 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15; do dismiss_notices; sleep 0.2; done
wait_for 10 sh -c "xdotool search --onlyvisible --pid $app --name '^/.*DSCN0010.heic' >/dev/null"
# The preview is decoded on a worker: given the time a slow machine takes.
sleep 3
window=$(main_window)
shoot_window "$window" "$OUT"
kill $app
