#!/bin/sh
# HFS+ benchmark, reported in one run (never a test, never gating):
#  1. `quarvell-cli ls --json` against `fls -r -p` on an image with 100,000 files: time ratio
#     (goal below 1.0) and peak memory of both.
#  2. Saving a 1 GiB file into a tmpfs folder against `cat` of the image into the same folder:
#     throughput ratio (goal at least 0.80) and the save's peak memory.
# Each timing is the best of three, with the image already in the page cache.
#
# usage: bench/hfsplus_bench.sh [BUILD_DIR] [WORK_DIR] [TMPFS_DIR]
set -eu

BUILD=${1:-build}
WORK=${2:-/tmp/quarvell-bench-hfsplus}
SHM=${3:-/dev/shm/quarvell-bench-hfsplus}
CLI=$BUILD/quarvell-cli
WRITER=$(find "$BUILD" -name hfsplus-writer -type f | head -n 1)
[ -x "$CLI" ] && [ -n "$WRITER" ] || { echo "build quarvell-cli and hfsplus-writer in $BUILD first" >&2; exit 2; }
command -v fls >/dev/null || { echo "fls (The Sleuth Kit) is needed for the listing comparison" >&2; exit 2; }
mkdir -p "$WORK"

# best_of3 COMMAND...: prints "seconds peak_kb" of the fastest of three runs (stdout discarded).
best_of3() {
    best=""
    for _ in 1 2 3; do
        r=$(/usr/bin/time -f "%e %M" "$@" 2>&1 >/dev/null | tail -n 1)
        if [ -z "$best" ] || [ "$(echo "$r $best" | awk '{print ($1 < $3)}')" = 1 ]; then best=$r; fi
    done
    echo "$best"
}

[ -f "$WORK/many.img" ] || "$WRITER" --many 100000 "$WORK/many.img" >/dev/null
cat "$WORK/many.img" >/dev/null
ours=$(best_of3 "$CLI" ls "$WORK/many.img" --start 0 --fs HFS+ --json)
theirs=$(best_of3 fls -r -p "$WORK/many.img")
items=$("$CLI" ls "$WORK/many.img" --start 0 --fs HFS+ --json 2>/dev/null | grep -c '"path"')
echo "$ours $theirs $items" | awk '{
    printf "ls --json on %d items: %.2f s, peak %.1f MiB | fls -r -p: %.2f s, peak %.1f MiB | ratio %.2f (goal < 1.0)\n",
           $5, $1, $2 / 1024, $3, $4 / 1024, $1 / $3 }'

[ -f "$WORK/big.img" ] || "$WRITER" --bigfile 1073741824 "$WORK/big.img" >/dev/null
cat "$WORK/big.img" >/dev/null
image_bytes=$(stat -c %s "$WORK/big.img")
file_bytes=1073741824
mkdir -p "$SHM"
ours=$(best_of3 sh -c "rm -rf '$SHM/out' && mkdir -p '$SHM/out' && exec '$CLI' recover '$WORK/big.img' --start 0 --fs HFS+ --path ROOT/big/big.bin --out '$SHM/out' --yes")
theirs=$(best_of3 sh -c "exec cat '$WORK/big.img' > '$SHM/copy'")
expected=$(grep -o '"path":"big/big.bin"[^}]*"sha256":"[0-9a-f]*"' "$WORK/big.img.manifest.json" | sed 's/.*"sha256":"//; s/"$//')
actual=$(sha256sum "$SHM/out/big.bin" | cut -d' ' -f1)
[ "$expected" = "$actual" ] && check="sha256 matches the writer's manifest" || check="SHA256 MISMATCH"
echo "$ours $theirs $file_bytes $image_bytes" | awk -v check="$check" '{
    ours = $5 / $1 / 1048576; cat = $6 / $3 / 1048576;
    printf "save of a 1 GiB file to tmpfs: %.2f s = %.0f MiB/s, peak %.1f MiB | cat of the image: %.2f s = %.0f MiB/s | ratio %.2f (goal >= 0.80); %s\n",
           $1, ours, $2 / 1024, $3, cat, ours / cat, check }'
rm -rf "$SHM"
