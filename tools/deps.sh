#!/usr/bin/env bash
# Installs the Debian packages Wavewright builds and tests with, if any are missing.
set -euo pipefail
packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-serialport-dev libgl-dev
          libbenchmark-dev clang)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
