#!/usr/bin/env bash
# Installs the Debian 12 packages Corvane needs to build and test, only when some are missing.
# Usage: install-deps.sh [fuzz]
set -euo pipefail

packages=(
  g++ cmake make pkg-config
  libavcodec-dev libavformat-dev libavfilter-dev libavutil-dev
  libswscale-dev libswresample-dev libavcodec-extra ffmpeg
  libboost-dev libboost-thread-dev libboost-chrono-dev libboost-date-time-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev libqt6svg6
  libgtest-dev libgmock-dev
  xvfb xauth fonts-dejavu-core fontconfig time bc dbus-daemon
  appstream desktop-file-utils dpkg-dev
)

# `install-deps.sh fuzz` adds the compiler the fuzz targets need.
if [[ "${1:-}" == "fuzz" ]]; then
  packages+=(clang-14 libclang-rt-14-dev)
fi

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing missing packages: ${missing[*]}"
sudo=""
if [[ $(id -u) -ne 0 ]]; then
  command -v sudo >/dev/null || { echo "Need root or sudo to install: ${missing[*]}" >&2; exit 1; }
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
