#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets everything up, builds, and starts Vantorel; photo paths given here are added to its list.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
"$here/scripts/setup.sh" build
exec "$here/build/src/app/vantorel" "$@"
