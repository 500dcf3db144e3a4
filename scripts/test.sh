#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets everything up, builds, and runs every test headless.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
"$here/scripts/setup.sh" --tests build
export QT_QPA_PLATFORM=offscreen
cd "$here/build"
ctest --output-on-failure -j"$(nproc)" "$@"
