#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what Vantorel needs from Debian 12's packages (as root, or through sudo) and builds it.
# Usage: scripts/setup.sh [--tests] [--bench] [build-dir]
#   without options: what the program needs to build and run;
#   --tests: also what the test run needs; --bench: also the peers the benchmarks measure against.
set -euo pipefail
cd "$(dirname "$0")/.."

PROGRAM_PACKAGES=(
  build-essential cmake pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-webengine-dev qt6-webchannel-dev qt6-translations-l10n libqt6svg6
  libexiv2-dev libjpeg62-turbo-dev zlib1g-dev libheif-dev qt6-image-formats-plugins libgeonames-dev
  libjs-leaflet xdg-utils
  fonts-urw-base35
)
TEST_PACKAGES=(
  libgtest-dev python3 xvfb xauth openbox xdotool imagemagick x11-utils
  exiv2 libxml2-utils gpsbabel clang-format clang libclang-rt-14-dev locales libimage-exiftool-perl
  lintian desktop-file-utils appstream dpkg-dev file man-db groff-base bash-completion
  debhelper devscripts binutils blhc libheif-examples webp
)
BENCH_PACKAGES=(
  libjpeg-turbo-progs libimage-exiftool-perl hyperfine jq imagemagick exiv2 time qt6-httpserver-dev qt6-websockets-dev gpscorrelate gpsbabel
)

packages=("${PROGRAM_PACKAGES[@]}")
BUILD_DIR=build
for arg in "$@"; do
  case "$arg" in
    --tests) packages+=("${TEST_PACKAGES[@]}") ;;
    --bench) packages+=("${BENCH_PACKAGES[@]}") ;;
    *) BUILD_DIR="$arg" ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  mapfile -t missing < <(printf '%s\n' "${missing[@]}" | sort -u)
  if [ "$(id -u)" -eq 0 ]; then
    SUDO=()
  elif command -v sudo >/dev/null 2>&1; then
    SUDO=(sudo env DEBIAN_FRONTEND=noninteractive)
  else
    echo "Paquets manquants : ${missing[*]}" >&2
    echo "Ni root ni sudo : demandez à l'administrateur de lancer, en root :" >&2
    echo "  apt-get install ${missing[*]}" >&2
    echo "puis relancez ce script." >&2
    exit 1
  fi
  echo "Installation de : ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  # Waits for another package manager to finish instead of failing at once.
  APT_OPTS=(-o DPkg::Lock::Timeout=600)
  "${SUDO[@]}" apt-get "${APT_OPTS[@]}" update -qq
  "${SUDO[@]}" apt-get "${APT_OPTS[@]}" install -y -qq --no-install-recommends "${missing[@]}"
fi

cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo ${CMAKE_EXTRA_ARGS:-} >/dev/null
cmake --build "$BUILD_DIR" -j"$(nproc)"
