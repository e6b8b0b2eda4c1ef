#!/usr/bin/env bash
# Sets everything up and runs the tool on the bundled demo disk: lists its volumes, lists the
# files of every volume a parser exists for, then starts the desktop wizard with the disk listed
# (or, without a display, says so and shows the command-line equivalent).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash scripts/install-deps.sh
build="$root/build-demo"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARVELL_TESTS=OFF -DQUARVELL_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"

disk="$build/demo-disk.img"
if [ ! -f "$disk" ] || [ resources/demo/demo-disk.img.xz -nt "$disk" ]; then
  xz -dc resources/demo/demo-disk.img.xz > "$disk.part"
  mv "$disk.part" "$disk"
fi
cli="$build/quarvell-cli"

echo "== Volumes of the demo disk (standard scan of its GPT)"
"$cli" partitions "$disk" --gpt
count=$("$cli" partitions "$disk" --gpt --json 2>/dev/null | grep -c '"volumeName"' || true)
for ((n = 0; n < count; n++)); do
  echo
  echo "== Files of volume $n"
  "$cli" ls "$disk" --volume "$n" --gpt || echo "(volume $n cannot be listed yet)"
done

echo
gui="$build/src/ui/quarvell"
if [ -x "$gui" ]; then
  if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    echo "== Starting the desktop wizard with the demo disk listed"
    exec "$gui" "$disk"
  fi
  echo "No display: the desktop wizard needs one. Start it on a desktop with:"
  echo "  $gui $disk"
fi
echo "Command-line equivalents:"
echo "  $cli partitions $disk --gpt"
echo "  $cli ls $disk --volume N --gpt"
echo "  $cli recover $disk --volume N --gpt --path ROOT --out /tmp/recovered --yes"
echo "  $cli carve $disk --volume N --gpt --out /tmp/carved"
