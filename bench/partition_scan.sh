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
    # shellcheck source=SCRIPTDIR/../tests/fixtures/make_volumes.sh
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

# "WALL CPU" seconds of one run of the command given (CPU: user + system). On a machine that
# other work keeps busy the wall times wander; the CPU times show the same comparison steadier.
TIMEFORMAT='%3R %3U %3S'
seconds() {
    local t
    t=$({ time "$@" >/dev/null 2>&1; } 2>&1)
    awk '{ printf "%.3f %.3f\n", $1, $2 + $3 }' <<<"$t"
}
# best COLUMN RUN...: the smallest value of that column over the runs.
best() {
    local column=$1
    shift
    printf '%s\n' "$@" | awk -v c="$column" '{ print $c }' | sort -g | head -n 1
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

cat "$image" >/dev/null  # into the page cache
cat "$image" >/dev/null
cats=() skips=() fulls=()
for ((r = 0; r < rounds; r++)); do
    cats+=("$(seconds cat "$image")")
    skips+=("$(seconds "$cli" partitions "$image" --advanced)")
    fulls+=("$(seconds "$cli" partitions "$image" --advanced --no-skip)")
done

line() {  # TEXT RUNS...
    local text=$1
    shift
    local wall cpu
    wall=$(best 1 "$@")
    cpu=$(best 2 "$@")
    printf '  %-40s %8.3f %8s %8.3f %8s\n' "$text" "$wall" "$(ratio "$wall" "$(best 1 "${cats[@]}")")" \
        "$cpu" "$(ratio "$cpu" "$(best 2 "${cats[@]}")")"
}
echo "volumes found: $("$cli" partitions "$image" --advanced --json 2>/dev/null | grep -c volumeName)"
printf 'image: %s (1 GiB, page cache warm), best of %d runs each\n' "$image" "$rounds"
printf '  %-40s %8s %8s %8s %8s\n' "" "wall s" "ratio" "cpu s" "ratio"
line "cat IMAGE > /dev/null" "${cats[@]}"
line "partitions IMAGE --advanced" "${skips[@]}"
line "partitions IMAGE --advanced --no-skip" "${fulls[@]}"
echo "goal: the --no-skip ratio at most 1.15 (--advanced alone jumps over the volumes' contents)"
