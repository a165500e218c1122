#!/usr/bin/env bash
# Installs what Quillarend needs to build, test and run on Debian 12.
# Installs nothing when everything is already there.
set -euo pipefail

PACKAGES=(
  cmake g++ ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  qt6-image-formats-plugins qt6-translations-l10n
  libopencv-core-dev libopencv-imgproc-dev libopencv-video-dev libopencv-features2d-dev libopencv-calib3d-dev
  fonts-ipafont-gothic fonts-noto-cjk
  xvfb xauth x11-utils imagemagick xdotool
  ffmpeg appstream
)

if ! command -v dpkg-query >/dev/null 2>&1; then
  echo "setup: not a Debian system; make sure CMake, a C++20 compiler, Qt 6.4+ (Core, Gui, Widgets, Test) and OpenCV 4.6+ (core, imgproc, video, features2d, calib3d) are installed." >&2
  exit 0
fi

missing=()
for pkg in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$pkg")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "setup: these packages are missing: ${missing[*]}" >&2
  echo "Run as root:" >&2
  echo "  apt-get update && apt-get install -y ${PACKAGES[*]}" >&2
  exit 1
fi

echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
