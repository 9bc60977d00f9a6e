#!/usr/bin/env bash
# Installs the Debian packages the builds and tests need (run as root, or through sudo).
set -euo pipefail

PACKAGES=(
  cmake ninja-build g++ pkg-config
  g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev
  wine wine64
  libcubeb-dev pulseaudio pulseaudio-utils
  nlohmann-json3-dev libssl-dev googletest libbenchmark-dev
  clang-16 libclang-rt-16-dev
)

missing=()
for package in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
echo "Installing: ${missing[*]}"
if ! $SUDO apt-get install -y "${missing[@]}"; then
  $SUDO apt-get update
  $SUDO apt-get install -y "${missing[@]}"
fi
