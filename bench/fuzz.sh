#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs every libFuzzer target of tests/fuzz for as long as asked and prints the executions each
# made, then the total. Usage: bench/fuzz.sh [seconds per target, default 60] [--merge] [TARGET...]
# --merge keeps what the run reached beyond the seeds in tests/fuzz/corpus/TARGET/merged/ (commit
# it). A finding stops the run with the input left in build-fuzz/findings/ (reproduce it with
# build-fuzz/tests/fuzz/<target> <input>).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
seconds=60
if [[ "${1:-}" =~ ^[0-9]+$ ]]; then seconds="$1"; shift; fi
echo "libFuzzer, $seconds s per target, $(nproc) processors, seeds: tests/fuzz/corpus"
# FUZZ_PARALLEL=1 runs the targets at the same time.
exec "$here/tests/fuzz/run.sh" --seconds "$seconds" "$@"
