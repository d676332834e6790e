#!/usr/bin/env bash
# Installs the Debian packages Quillrack needs to build, test and run, but only those missing.
# Usage: tools/deps.sh [extra-package ...]
set -euo pipefail
need=(cmake ninja-build g++ qt6-base-dev libgl-dev pkg-config libarchive-dev libpoppler-qt6-dev
      libmobi-dev libdjvulibre-dev libpng-dev libfuse3-dev fuse3
      libqt6sql6-sqlite "$@")
missing=()
for p in "${need[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "Need root or sudo to install: ${missing[*]}" >&2; exit 1; }
    sudo=sudo
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
