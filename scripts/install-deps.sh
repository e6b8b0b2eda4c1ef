#!/usr/bin/env bash
# Installs what building, testing, the fixture and benchmark scripts and the package step need on
# Debian 12 (as root, or through sudo). Nothing they use is left to a hand install.
set -euo pipefail
packages=(
  # build
  build-essential cmake ninja-build pkg-config git ca-certificates
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev libcli11-dev ccache
  clang libclang-rt-14-dev
  libssl-dev libpcre2-dev nlohmann-json3-dev libxml2-dev libxml2-utils zlib1g-dev
  libewf-dev libvhdi-dev libvmdk-dev libqcow-dev
  libfuse3-dev fuse3
  # tests: oracles, image makers and containers
  sleuthkit e2fsprogs dosfstools mtools exfatprogs exfat-fuse ntfs-3g gdisk fdisk util-linux
  ewf-tools qemu-utils openssl xz-utils zstd zip unzip python3 bc
  # GUI tests and screenshots
  xvfb x11-apps x11-utils imagemagick ghostscript
  # carving samples and the carving benchmark's peers
  p7zip-full sqlite3 libtiff-tools ffmpeg testdisk foremost
  # the ext journal benchmark's peers
  extundelete ext4magic
  # the rescue imaging peer
  gddrescue
  # the package step
  desktop-file-utils dpkg-dev file
  # the fresh-machine check
  debootstrap
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
