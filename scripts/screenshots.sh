#!/usr/bin/env bash
# Pictures of the desktop wizard's pages for the documentation: runs the program on the demo disk
# under a virtual X server (Xvfb), lets it walk through its pages, and writes docs/screenshots/*.png.
# Usage: scripts/screenshots.sh [BUILD_DIR]   (default: build; the quarvell target must be built)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${1:-build}
gui="$build/src/ui/quarvell"
[ -x "$gui" ] || { echo "screenshots.sh: build the quarvell target first ($gui is missing)" >&2; exit 1; }
command -v Xvfb >/dev/null || { echo "screenshots.sh: Xvfb is needed (apt-get install xvfb)" >&2; exit 1; }

work=$(mktemp -d)
trap 'kill "${xvfb_pid:-}" 2>/dev/null || true; rm -rf "$work"' EXIT
disk="$work/demo-disk.img"
xz -dc resources/demo/demo-disk.img.xz > "$disk"

# The first free display number from :99 up.
display=99
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done

out="$root/docs/screenshots"
mkdir -p "$out"
rm -f "$out"/*.png
gui=$(realpath "$gui")
# Run beside the disk so that the pictures show its plain name.
(cd "$work" && DISPLAY=":$display" QT_QPA_PLATFORM=xcb QUARVELL_SCREENSHOT_DIR="$out" \
  QUARVELL_INSTANCE_GUARD="quarvell-screenshots-$$" timeout 120 "$gui" demo-disk.img)
ls -1 "$out"
