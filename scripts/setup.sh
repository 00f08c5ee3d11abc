#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build, play and test.
# Runs apt-get as root (or through sudo); does nothing when all is there.
set -euo pipefail
need_play=(cmake g++ make zlib1g-dev libsdl2-dev googletest python3)
need_test=(qemu-user clang libclang-rt-14-dev g++-arm-linux-gnueabihf xvfb xdotool x11-utils imagemagick python3-pil sox libsox-fmt-all
           pngcheck pngcrush assimp-utils openmpt123 libbenchmark-dev libpixman-1-dev ffmpeg libxmp-dev
           gifsicle giflib-tools netpbm libjpeg-turbo-progs libgif-dev libjpeg-dev)
need_arm=(zlib1g-dev:armhf)
mode=${1:-test}
pkgs=("${need_play[@]}")
if [ "$mode" = test ]; then pkgs+=("${need_test[@]}" "${need_arm[@]}"); fi

missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
if printf '%s\n' "${missing[@]}" | grep -q ':armhf'; then
  dpkg --print-foreign-architectures | grep -q armhf || $SUDO dpkg --add-architecture armhf
fi
echo "Installing: ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
