#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the libFuzzer targets with clang (their own build folder) and runs each on its seeds.
# Usage: tests/fuzz/run.sh [--seconds S | --runs N] [--merge] [TARGET...]
#   --seconds S  each target for S seconds (CI: 60; bench/fuzz.sh)
#   --runs N     each target for N executions, fixed seed
#   --merge      afterwards, keep in tests/fuzz/corpus/TARGET/merged/ the inputs that reach code
#                the seeds do not (libFuzzer's -merge=1: the smallest set that covers as much)
#   TARGET...    only these targets (fuzz_gpxtrack ...); all of tests/fuzz/fuzz_*.cpp otherwise
#   FUZZ_PARALLEL=1 runs the targets at the same time (one process each) instead of in turn.
# Seeds: tests/fuzz/corpus/TARGET/ (read with its subfolders) when it holds files of its own;
# otherwise the pictures at the top of tests/fuzz/corpus/ (the picture targets share them) and
# TARGET/merged/. tests/fuzz/TARGET.dict is the target's dictionary and tests/fuzz/TARGET.options
# its own libFuzzer flags, one a line, when they exist.
# Prints one line per target (executions, seconds, executions per second, inputs kept) and the
# total; stops at the first finding, leaving the input in build-fuzz/findings/.
set -euo pipefail
here="$(cd "$(dirname "$0")/../.." && pwd)"
corpus="$here/tests/fuzz/corpus"
limit=(-runs=500 -seed=1)
merge=""
names=()
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) limit=(-runs="$2" -seed=1); shift 2 ;;
    --seconds) limit=(-max_total_time="$2"); shift 2 ;;
    --merge) merge=1; shift ;;
    fuzz_*) names+=("$1"); shift ;;
    *) echo "usage: $0 [--seconds S | --runs N] [--merge] [TARGET...]" >&2; exit 2 ;;
  esac
done
if [ ${#names[@]} -eq 0 ]; then
  for source in "$here"/tests/fuzz/fuzz_*.cpp; do names+=("$(basename "$source" .cpp)"); done
fi
build="${VANTOREL_FUZZ_BUILD:-$here/build-fuzz}"
CC=clang CXX=clang++ cmake -S "$here" -B "$build" -DVANTOREL_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  ${CMAKE_EXTRA_ARGS:-} >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${names[@]}" >/dev/null

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$build/findings"
export ASAN_OPTIONS=detect_leaks=0:allocator_may_return_null=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# Each input is written to a file the readers open: in memory when the machine has /dev/shm.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; else export TMPDIR="$work"; fi

# The seeds' folder a target is given (libFuzzer reads folders with their subfolders, so the
# shared pictures are copied into one of their own).
seeds_of() {
  local name="$1" own="$corpus/$1"
  if [ -n "$(find "$own" -maxdepth 1 -type f 2>/dev/null | head -1)" ]; then
    echo "$own"
    return
  fi
  mkdir -p "$work/$name.seeds"
  find "$corpus" -maxdepth 1 -type f -exec cp {} "$work/$name.seeds/" \;
  [ -d "$own/merged" ] && cp "$own/merged/"* "$work/$name.seeds/" 2>/dev/null
  echo "$work/$name.seeds"
}

flags_of() {
  local name="$1" options="$here/tests/fuzz/$1.options"
  echo "-max_len=65536 -timeout=20 -rss_limit_mb=2048"
  [ -f "$here/tests/fuzz/$name.dict" ] && echo "-dict=$here/tests/fuzz/$name.dict"
  [ -f "$options" ] && grep -v '^#' "$options"
  return 0
}

# The inputs of this run and of merged/ that reach code the hand-made seeds do not, as merged/.
merge_into_corpus() {
  local name="$1" target="$2" seeds="$3" base="$work/$name.base" kept="$work/$name.kept"
  mkdir -p "$base" "$kept"
  # The hand-made seeds: the folder's own files, or the shared pictures.
  if [ "$seeds" = "$corpus/$name" ]; then
    find "$seeds" -maxdepth 1 -type f -exec cp {} "$base/" \;
  else
    find "$corpus" -maxdepth 1 -type f -exec cp {} "$base/" \;
  fi
  ls "$base" | sort >"$work/$name.before"
  mkdir -p "$corpus/$name/merged"
  # shellcheck disable=SC2046
  "$target" -merge=1 $(flags_of "$name") "$base" "$corpus/$name/merged" "$work/$name" \
    >"$work/$name.merge.log" 2>&1 || { tail -20 "$work/$name.merge.log"; return 1; }
  ls "$base" | sort | comm -13 "$work/$name.before" - | while read -r f; do cp "$base/$f" "$kept/"; done
  rm -f "$corpus/$name/merged/"*
  cp "$kept/"* "$corpus/$name/merged/" 2>/dev/null || rmdir "$corpus/$name/merged"
  echo "$name: $(ls "$kept" | wc -l) inputs kept in tests/fuzz/corpus/$name/merged ($(cat "$kept"/* 2>/dev/null | wc -c) bytes)"
}

run_target() {
  local name="$1" target="$build/tests/fuzz/$1" start seconds runs seeds
  mkdir -p "$work/$name"
  seeds="$(seeds_of "$name")"
  start=$(date +%s.%N)
  # shellcheck disable=SC2046
  if ! "$target" "${limit[@]}" $(flags_of "$name") -artifact_prefix="$build/findings/$name-" \
      "$work/$name" "$seeds" >"$work/$name.log" 2>&1; then
    tail -40 "$work/$name.log"
    echo "FINDING in $name (input in $build/findings/)" >&2
    return 1
  fi
  seconds=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { print b - a }')
  runs=$(grep -o 'Done [0-9]* runs' "$work/$name.log" | grep -o '[0-9]*' || echo 0)
  echo "$runs" >"$work/$name.runs"
  awk -v n="$name" -v r="$runs" -v s="$seconds" -v k="$(ls "$work/$name" | wc -l)" \
    'BEGIN { printf "%-20s %10d executions %8.1f s %10.0f exec/s %6d new inputs\n", n, r, s, r / s, k }'
  if [ -n "$merge" ]; then merge_into_corpus "$name" "$target" "$seeds"; fi
}

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
