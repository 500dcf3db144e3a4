#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Peak memory of `vantorel-cli poi`, `gpx` (standard output and -o) and `coords` over many photos:
# N hard links (100,000 by default) to the real camera samples in a temporary folder, removed
# afterwards; the peak resident size from /usr/bin/time -v, beside the same for BASE_CLI (another
# build) when given, in the same run. The floor is `poi` on one photo: what the program takes
# before any list.
#   bench/poi_memory_bench.sh [N]
# Environment: VANTOREL_CLI (default build/src/cli/vantorel-cli), BASE_CLI, SAMPLES.
# Prints figures only.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
count=${1:-100000}
samples=${SAMPLES:-$root/tests/data/real}
cli=${VANTOREL_CLI:-$root/build/src/cli/vantorel-cli}
[ -x /usr/bin/time ] || { echo "missing: /usr/bin/time" >&2; exit 2; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# Hard links need the samples on the same file system; copies of them otherwise.
mapfile -t sources < <(find "$samples" -maxdepth 1 -name '*.jpg' | sort)
mkdir "$tmp/src"
cp -- "${sources[@]}" "$tmp/src/"
mapfile -t sources < <(find "$tmp/src" -name '*.jpg' | sort)
mkdir "$tmp/photos"
python3 - "$tmp/photos" "$count" "${sources[@]}" <<'PY'
import os, sys
folder, count, sources = sys.argv[1], int(sys.argv[2]), sys.argv[3:]
width = len(str(count))
for i in range(count):
    src = sources[i % len(sources)]
    os.link(src, f"{folder}/p{i + 1:0{width}d}-{os.path.basename(src)}")
PY
cd "$tmp/photos"
ls -1 >"$tmp/list.txt"

# One command line for every name: a larger stack raises the limit of its size.
ulimit -s 262144
mapfile -t names <"$tmp/list.txt"
peak() { # label, photos, cli, arguments... (lines: of standard output, or of the file gpx -o wrote)
    local label=$1 photos=$2
    shift 2
    rm -f "$tmp/out.gpx"
    /usr/bin/time -v -o "$tmp/time.txt" "$@" >"$tmp/rows.txt" 2>/dev/null || true
    local kb rows
    kb=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$tmp/time.txt")
    if [ -f "$tmp/out.gpx" ]; then rows=$(wc -l <"$tmp/out.gpx"); else rows=$(wc -l <"$tmp/rows.txt"); fi
    awk -v n="$label" -v kb="$kb" -v r="$rows" -v c="$photos" \
        'BEGIN { printf "%-30s %8d photos %8d lines  peak %7.1f MB\n", n, c, r, kb / 1024 }'
}
for run in "poi" "gpx" "gpx -o" "coords"; do
    read -r -a words <<<"$run"
    [ "$run" = "gpx -o" ] && words+=("$tmp/out.gpx")
    peak "vantorel-cli $run" "$count" "$cli" "${words[@]}" "${names[@]}"
    [ -n "${BASE_CLI:-}" ] && peak "base vantorel-cli $run" "$count" "$BASE_CLI" "${words[@]}" "${names[@]}"
done
peak "vantorel-cli poi (floor)" 1 "$cli" poi "${names[0]}"
[ -n "${BASE_CLI:-}" ] && peak "base vantorel-cli poi (floor)" 1 "$BASE_CLI" poi "${names[0]}"
echo "(peak resident size of one run each, all the names on one command line)"
