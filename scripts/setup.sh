#!/usr/bin/env bash
# Installs what Vantorel needs from Debian 12's packages (as root, or through sudo) and builds it.
# Usage: scripts/setup.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${1:-build}"

PACKAGES=(
  build-essential cmake pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-webengine-dev qt6-translations-l10n libqt6svg6
  libexiv2-dev libjpeg62-turbo-dev libgtest-dev
  python3 xvfb xauth
  exiv2 libjpeg-turbo-progs libimage-exiftool-perl hyperfine jq imagemagick
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  echo "Installation de : ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo ${CMAKE_EXTRA_ARGS:-} >/dev/null
cmake --build "$BUILD_DIR" -j"$(nproc)"
