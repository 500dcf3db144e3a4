#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A 1,000,000-point GPX track (98 MB) read whole process against whole process: the program's
# track reading (build/bench/trackparse_bench --read, which reads it as the command line does and
# exits) against gpsbabel reading the same file (-o unicsv -F /dev/null), in the same run, RUNS
# runs each with hyperfine, the tools taking turns run after run (two hyperfine calls in turn).
# Usage: bench/trackparse_bench.sh [build-dir] [runs, 5] [points, 1000000]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
RUNS=${2:-5}
POINTS=${3:-1000000}
BENCH=$(realpath "$BUILD/bench/trackparse_bench")
for tool in gpsbabel hyperfine jq; do
  command -v "$tool" >/dev/null || { echo "$tool is needed (scripts/setup.sh --bench)" >&2; exit 1; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/trackparse-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
"$BENCH" --write "$work/track.gpx" "$POINTS"
cat "$work/track.gpx" >/dev/null
echo "$POINTS points, $(( $(stat -c %s "$work/track.gpx") / 1000000 )) MB, $(nproc) processors," \
  "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
for round in $(seq 1 "$RUNS"); do
  hyperfine --runs 1 --export-json "$work/r$round.json" -n vantorel "$BENCH --read $work/track.gpx" \
    -n gpsbabel "gpsbabel -i gpx -f $work/track.gpx -o unicsv -F /dev/null" >/dev/null 2>&1
done
jq -s -r '[.[].results[]] | group_by(.command)[] |
  "\(.[0].command) \([.[].mean] | sort | .[length / 2 | floor]) \([.[] | .user + .system] | sort | .[length / 2 | floor]) \([.[].mean] | min) \([.[].mean] | max)"' \
  "$work"/r*.json | awk '{ printf "  %-10s median wall %6.2f s  cpu %6.2f s  (wall %.2f to %.2f s)\n", $1, $2, $3, $4, $5; w[$1] = $2; c[$1] = $3 }
  END { printf "  vantorel / gpsbabel: wall %.2f, cpu %.2f\n", w["vantorel"] / w["gpsbabel"], c["vantorel"] / c["gpsbabel"] }'
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
