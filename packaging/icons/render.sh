#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Renders the icon's PNG sizes from vantorel.svg (needs rsvg-convert, package librsvg2-bin). The
# PNGs are committed: run this after changing the SVG.
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 24 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" vantorel.svg -o "vantorel-$size.png"
done
