#!/usr/bin/env bash
# Installs what building, testing and running need on Debian 12 (as root, or through sudo).
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev xvfb x11-apps
  clang libclang-rt-14-dev
  libssl-dev libpcre2-dev nlohmann-json3-dev libxml2-dev libxml2-utils
  libewf-dev libvhdi-dev libvmdk-dev libqcow-dev ewf-tools qemu-utils
  desktop-file-utils dpkg-dev file
  sleuthkit xz-utils zstd
  imagemagick ghostscript zip python3
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
echo "Installing: ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
