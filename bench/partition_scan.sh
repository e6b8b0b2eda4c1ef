#!/usr/bin/env bash
# Whole-drive volume scan against plain reading: times `quarvell-cli partitions IMAGE --advanced`
# (with and without --no-skip) and `cat IMAGE > /dev/null` on the same 1 GiB image held in the
# page cache, in one run, and prints the times and their ratios. The scan should be bound by
# reading, not by looking at sectors: the no-skip ratio should stay at or below 1.15.
#
# usage: bench/partition_scan.sh [QUARVELL_CLI]      (default: build/quarvell-cli)
# The image is made once in ${QUARVELL_BENCH_DIR:-/tmp/quarvell-bench} and reused: a GPT disk
# with NTFS, FAT32, exFAT and ext3 volumes, every sector written (random data fills the space
# between the volumes' metadata), so neither side reads holes. Making it needs root (a loop
# device for exFAT), sgdisk, mkntfs, mkfs.fat, mkfs.exfat, losetup, mke2fs, openssl.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
cli=${1:-$here/../build/quarvell-cli}
dir=${QUARVELL_BENCH_DIR:-/tmp/quarvell-bench}
image=$dir/partition-scan-1g.img
rounds=5

[[ -x $cli ]] || { echo "no quarvell-cli at $cli (build it, or pass its path)" >&2; exit 2; }

make_image() {
    # shellcheck source=../tests/fixtures/make_volumes.sh
    source "$here/../tests/fixtures/make_volumes.sh"
    vol_need sgdisk mkntfs mkfs.fat mkfs.exfat losetup mke2fs openssl
    [[ $EUID -eq 0 ]] || { echo "making the image needs root (a loop device for exFAT)" >&2; exit 1; }
    local tmp=$image.part loop
    trap 'vol_cleanup; rm -f "$tmp"' EXIT
    mkdir -p "$dir"
    # Random bytes everywhere first; the file systems then write their metadata over them.
    vol_bytes $((1024 * 1048576)) 7 >"$tmp"
    sgdisk -o \
        -n 1:2048:526335 -t 1:0700 -c 1:"ntfs" \
        -n 2:526336:1050623 -t 2:0700 -c 2:"fat32" \
        -n 3:1050624:1574911 -t 3:0700 -c 3:"exfat" \
        -n 4:1574912:2091007 -t 4:8300 -c 4:"ext3" \
        "$tmp" >/dev/null
    loop=$(losetup -f --show -o $((2048 * 512)) --sizelimit $((524288 * 512)) "$tmp")
    VOL_LOOPS+=("$loop")
    mkntfs -F -Q -q -s 512 -p 2048 -H 255 -S 63 "$loop" >/dev/null
    losetup -d "$loop"
    loop=$(losetup -f --show -o $((526336 * 512)) --sizelimit $((524288 * 512)) "$tmp")
    VOL_LOOPS+=("$loop")
    mkfs.fat -F 32 -h 526336 "$loop" >/dev/null
    losetup -d "$loop"
    loop=$(losetup -f --show -o $((1050624 * 512)) --sizelimit $((524288 * 512)) "$tmp")
    VOL_LOOPS+=("$loop")
    mkfs.exfat "$loop" >/dev/null
    losetup -d "$loop"
    loop=$(losetup -f --show -o $((1574912 * 512)) --sizelimit $((516096 * 512)) "$tmp")
    VOL_LOOPS+=("$loop")
    mke2fs -q -F -t ext3 "$loop"
    losetup -d "$loop"
    mv "$tmp" "$image"
    trap - EXIT
}

[[ -f $image ]] || make_image

# Seconds taken by one run of the command given.
seconds() {
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s.%N)
    awk -v a="$start" -v b="$end" 'BEGIN { printf "%.6f\n", b - a }'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
best() { printf '%s\n' "$@" | sort -g | head -n 1; }

cat "$image" >/dev/null  # into the page cache
cat "$image" >/dev/null
cats=() skips=() fulls=()
for ((r = 0; r < rounds; r++)); do
    cats+=("$(seconds cat "$image")")
    skips+=("$(seconds "$cli" partitions "$image" --advanced)")
    fulls+=("$(seconds "$cli" partitions "$image" --advanced --no-skip)")
done
cat_s=$(best "${cats[@]}")
skip_s=$(best "${skips[@]}")
full_s=$(best "${fulls[@]}")
echo "volumes found: $("$cli" partitions "$image" --advanced --json 2>/dev/null | grep -c volumeName)"
printf 'image: %s (1 GiB, page cache warm), best of %d runs each\n' "$image" "$rounds"
printf '  cat IMAGE > /dev/null                      %8.3f s\n' "$cat_s"
printf '  partitions IMAGE --advanced                %8.3f s   ratio %s\n' "$skip_s" "$(ratio "$skip_s" "$cat_s")"
printf '  partitions IMAGE --advanced --no-skip      %8.3f s   ratio %.2f  (goal <= 1.15)\n' "$full_s" "$(ratio "$full_s" "$cat_s")"
