#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package as a maintainer would, from a clean copy of the tracked files
# (dpkg-buildpackage -us -uc -b), then checks it: lintian without error or warning, hardened
# programs, its files and programs as installed (tests/desktop/check_desktop.py package).
# Usage: scripts/package.sh [output-dir]   (build-deb/ by default; needs the test packages of setup.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-build-deb}")
version=$(dpkg-parsechangelog -S Version)
project=$(sed -n 's/^project(Vantorel VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
if [ "$version" != "$project" ]; then
  echo "debian/changelog dit $version, CMakeLists.txt dit $project" >&2
  exit 1
fi
# The copy is made afresh at each run, always in the same folder (so a compiler cache finds it again);
# dpkg-buildpackage leaves the package beside it.
src="$out/vantorel-$version"
rm -rf "$src"
mkdir -p "$src"
git ls-files -z | tar --null -T - -cf - | tar -xf - -C "$src"
(cd "$src" && dpkg-buildpackage -us -uc -b) 2>&1 | tee "$out/build.log"
rm -rf "$src"
# Every compile and link line had the hardening flags (PIE is the compiler's default in Debian).
blhc --bindnow --arch="$(dpkg --print-architecture)" "$out/build.log"
python3 tests/desktop/check_desktop.py package "$out/vantorel_${version}_$(dpkg --print-architecture).changes" "$version"
echo "Paquet : $(ls "$out"/vantorel_"$version"_*.deb)"
