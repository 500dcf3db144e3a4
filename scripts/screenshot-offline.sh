#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Takes the README's screenshot of the notice the map shows when its tiles are refused: a loopback
# tile server answers 403 to every tile, the photo's map (with its view sector) in the embedded view.
# Usage: scripts/screenshot-offline.sh [build-dir] [output.png]   (as root, with the test packages)
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
OUT=${2:-docs/offline-screenshot.png}
SAMPLES=${VANTOREL_SAMPLES:-tests/data/real}

. "$(dirname "$0")/screenshot-common.sh"
run_in_display "$0" "$BUILD" "$OUT"

home=$(mktemp -d)
trap 'kill $server 2>/dev/null; rm -rf "$home"' EXIT
python3 -c '
import http.server, sys
class Refuse(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        self.send_response(403); self.send_header("Access-Control-Allow-Origin", "*")
        self.send_header("Content-Length", "0"); self.end_headers()
    def log_message(self, *args): pass
server = http.server.HTTPServer(("127.0.0.1", 0), Refuse)
print(server.server_port, flush=True)
server.serve_forever()' >"$home/port" &
server=$!
wait_for 10 test -s "$home/port"
mkdir -p "$home/config/vantorel"
printf '[maps]\ntileUrl=http://127.0.0.1:%s/{z}/{x}/{y}.png\n' "$(cat "$home/port")" \
  >"$home/config/vantorel/vantorel.ini"
export XDG_CONFIG_HOME="$home/config" XDG_CACHE_HOME="$home/cache"

start_openbox
"$BUILD/src/app/vantorel" -- "$SAMPLES/mdextract_Apple_iPhone_5.jpg" >/dev/null 2>&1 &
app=$!
wait_for 20 main_window
for _ in 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15; do dismiss_notices; sleep 0.2; done
window=$(main_window)
xdotool windowactivate --sync "$window"
# The embedded browser (CheckBox4), then the photo again so its map shows there.
xdotool mousemove --window "$window" 336 248 click 1
sleep 1
xdotool mousemove --window "$window" 60 14 click 1
sleep 6
window=$(main_window)
shoot_window "$window" "$OUT"
kill $app
