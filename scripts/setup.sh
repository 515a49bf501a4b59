#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing Kelvo need.
# Safe to run again: it asks apt only for what is missing.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libqt6sql6-sqlite libsqlite3-dev libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libxlsxwriter-dev libminizip-dev libshp-dev pxlib-dev libmuparser-dev
  python3-openpyxl python3-xlrd python3-dbfread libwps-tools
  xvfb xauth
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
