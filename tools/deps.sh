#!/usr/bin/env bash
# Installs the Debian packages the project needs to build, run and test.
# Only packages that are missing are installed; uses sudo when not root.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libgl-dev
  libavcodec-dev libavformat-dev libavutil-dev libavfilter-dev
  libswscale-dev libswresample-dev libavdevice-dev
  libx11-dev libxext-dev libxfixes-dev libxtst-dev libxcb1-dev libxss-dev
  libpulse-dev libcurl4-openssl-dev
  libgtest-dev libgmock-dev
  xvfb xauth x11-utils x11-xserver-utils xdotool
  pulseaudio pulseaudio-utils
  ffmpeg python3 python3-aiosmtpd
  fonts-dejavu-core
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi

echo "Installing missing packages: ${missing[*]}"
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get update
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
