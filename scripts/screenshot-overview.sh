#!/usr/bin/env bash
# Takes the README's overview screenshot: a few hundred geotagged photos on one map (Form3, the
# embedded browser), under openbox on an Xvfb display, with a French locale.
# Usage: scripts/screenshot-overview.sh [build-dir] [output.png]   (as root, with setup.sh --tests)
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
OUT=${2:-docs/overview-screenshot.png}
SAMPLES=${VANTOREL_SAMPLES:-../shared/samples/real}

if [ "${SCREENSHOT_INNER:-}" != 1 ]; then
  if ! locale -a | grep -qi '^fr_FR.utf-\?8$'; then
    sed -i 's/^# *fr_FR.UTF-8 UTF-8/fr_FR.UTF-8 UTF-8/' /etc/locale.gen && locale-gen >/dev/null
  fi
  SCREENSHOT_INNER=1 LC_ALL=fr_FR.UTF-8 LANG=fr_FR.UTF-8 QTWEBENGINE_DISABLE_SANDBOX=1 \
    xvfb-run -a -s "-screen 0 1280x800x24" "$0" "$BUILD" "$OUT"
  echo "$OUT"
  exit 0
fi

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

wait_for() { # seconds, then a command that must succeed
  local end=$((SECONDS + $1)); shift
  until "$@"; do [ $SECONDS -lt $end ] || { echo "timed out: $*" >&2; exit 1; }; sleep 0.1; done
}
dismiss_notices() { # answers the start-up notices (no network, no known browser)
  local w
  for w in $(xdotool search --onlyvisible --pid "$app" --name '^Vantorel$' 2>/dev/null); do
    xdotool windowactivate --sync "$w" key Return 2>/dev/null || true
  done
}
main_window() {
  local w
  dismiss_notices
  for w in $(xdotool search --onlyvisible --pid "$app" --name '^/' 2>/dev/null); do echo "$w"; return 0; done
  return 1
}

openbox --sm-disable >/dev/null 2>&1 &
wait_for 10 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"'
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
