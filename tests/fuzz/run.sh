#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (their own build folder) and runs each on the seed corpus.
# Usage: tests/fuzz/run.sh --runs N      each target for N executions, fixed seed (CI)
#        tests/fuzz/run.sh --seconds S   each target for S seconds (bench/fuzz.sh)
#        FUZZ_PARALLEL=1 runs the targets at the same time (one process each) instead of in turn.
# Prints one line per target (executions, seconds, executions per second) and the total; stops at
# the first finding, leaving the input in build-fuzz/findings/.
set -euo pipefail
here="$(cd "$(dirname "$0")/../.." && pwd)"
limit=(-runs=500 -seed=1)
case "${1:-}" in
  --runs) limit=(-runs="$2" -seed=1) ;;
  --seconds) limit=(-max_total_time="$2") ;;
  "") ;;
  *) echo "usage: $0 [--runs N | --seconds S]" >&2; exit 2 ;;
esac
build="${VANTOREL_FUZZ_BUILD:-$here/build-fuzz}"
CC=clang CXX=clang++ cmake -S "$here" -B "$build" -DVANTOREL_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  ${CMAKE_EXTRA_ARGS:-} >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$build/findings"
export ASAN_OPTIONS=detect_leaks=0:allocator_may_return_null=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# Each input is written to a file the readers open: in memory when the machine has /dev/shm.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; else export TMPDIR="$work"; fi
run_target() {
  local name="$1" target="$build/tests/fuzz/$1" start seconds runs
  mkdir -p "$work/$name"
  start=$(date +%s.%N)
  if ! "$target" "${limit[@]}" -max_len=65536 -timeout=20 -rss_limit_mb=2048 \
      -artifact_prefix="$build/findings/$name-" "$work/$name" "$here/tests/fuzz/corpus" >"$work/$name.log" 2>&1; then
    tail -40 "$work/$name.log"
    echo "FINDING in $name (input in $build/findings/)" >&2
    return 1
  fi
  seconds=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { print b - a }')
  runs=$(grep -o 'Done [0-9]* runs' "$work/$name.log" | grep -o '[0-9]*' || echo 0)
  echo "$runs" >"$work/$name.runs"
  awk -v n="$name" -v r="$runs" -v s="$seconds" \
    'BEGIN { printf "%-20s %10d executions %8.1f s %10.0f exec/s\n", n, r, s, r / s }'
}

names=()
for source in "$here"/tests/fuzz/fuzz_*.cpp; do names+=("$(basename "$source" .cpp)"); done
if [ -n "${FUZZ_PARALLEL:-}" ]; then
  pids=()
  for name in "${names[@]}"; do run_target "$name" & pids+=($!); done
  status=0
  for pid in "${pids[@]}"; do wait "$pid" || status=1; done
  [ "$status" -eq 0 ] || exit 1
else
  for name in "${names[@]}"; do run_target "$name" || exit 1; done
fi
total=$(cat "$work"/*.runs | awk '{ t += $1 } END { print t }')
echo "total: $total executions, no finding"
