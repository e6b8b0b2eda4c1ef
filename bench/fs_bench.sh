#!/usr/bin/env bash
# FAT32, exFAT, ext3, ext4 and NTFS benchmark, reported in one run (never a test, never gating).
# On each image, with the image in the page cache:
#   - `quarvell-cli ls IMAGE --start 0 --fs LABEL --json` against `fls -r -p IMAGE`: time ratio
#     (goal below 1.0);
#   - `quarvell-cli recover ... --path ROOT --out DIR --yes` into a tmpfs folder against
#     `tsk_recover -e IMAGE DIR` into the same tmpfs: throughput ratio, bytes saved per second
#     (goal at least 1.0); the live files saved are checked against the tree's SHA-256 sums;
#   - FAT32 and exFAT: saving one 1 GiB file into tmpfs against `cat IMAGE` into tmpfs:
#     throughput ratio (goal at least 0.80), the saved file's SHA-256 checked;
#   - NTFS: `ls --mode deep` against `cat IMAGE > /dev/null` (goal at most 1.3);
#   - peak memory (max RSS) of every command.
# Each figure is the best of --rounds runs (wall and CPU = user + system taken apart: on a busy
# machine the wall times wander, the CPU times show the same comparison steadier).
#
# usage: bench/fs_bench.sh [options] WORK_DIR
#   --cli PATH          quarvell-cli (default: build/quarvell-cli beside this folder)
#   --only LIST         comma-separated subset of fat32,exfat,ext3,ext4,ntfs (default: all;
#                       ntfs only when the CLI knows the kind)
#   --rounds N          runs per command (default 3)
#   --fat-files N --fat-mib M --fat-deleted D     FAT32/exFAT tree (default 20000, 1024, 500)
#   --ext-files N --ext-mib M --ext-deleted D     ext3/ext4 tree (default 100000, 1024, 500)
#   --ntfs-files N --ntfs-mib M --ntfs-deleted D  NTFS tree (default 100000, 1024, 1000)
#   --big-mib M         size of the single large file (default 1024)
#   --tmpfs DIR         where saves go (default /dev/shm/quarvell-fs-bench; removed at the end)
# WORK_DIR keeps the generated trees and the images (named by their sizes), so a rerun only
# measures. Making images needs root (loop devices, FUSE and kernel mounts), mkfs.fat, mtools,
# mkfs.exfat, mount.exfat-fuse, mke2fs, mkntfs, ntfs-3g, python3; measuring needs fls and
# tsk_recover (The Sleuth Kit) and /usr/bin/time.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
cli=$here/../build/quarvell-cli
only=fat32,exfat,ext3,ext4,ntfs
rounds=3
fat_files=20000 fat_mib=1024 fat_deleted=500
ext_files=100000 ext_mib=1024 ext_deleted=500
ntfs_files=100000 ntfs_mib=1024 ntfs_deleted=1000
big_mib=1024
shm=/dev/shm/quarvell-fs-bench
work=""
while (($#)); do
    case $1 in
        --cli) cli=$2; shift ;;
        --only) only=$2; shift ;;
        --rounds) rounds=$2; shift ;;
        --fat-files) fat_files=$2; shift ;;
        --fat-mib) fat_mib=$2; shift ;;
        --fat-deleted) fat_deleted=$2; shift ;;
        --ext-files) ext_files=$2; shift ;;
        --ext-mib) ext_mib=$2; shift ;;
        --ext-deleted) ext_deleted=$2; shift ;;
        --ntfs-files) ntfs_files=$2; shift ;;
        --ntfs-mib) ntfs_mib=$2; shift ;;
        --ntfs-deleted) ntfs_deleted=$2; shift ;;
        --big-mib) big_mib=$2; shift ;;
        --tmpfs) shm=$2; shift ;;
        -h | --help) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
        -*) echo "unknown option $1 (see --help)" >&2; exit 2 ;;
        *) [[ -z $work ]] || { echo "one WORK_DIR only" >&2; exit 2; }; work=$1 ;;
    esac
    shift
done
[[ -n $work ]] || { echo "usage: $0 [options] WORK_DIR (see --help)" >&2; exit 2; }
[[ -x $cli ]] || { echo "no quarvell-cli at $cli (build it, or pass --cli)" >&2; exit 2; }
for tool in fls tsk_recover python3 /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "$tool is needed" >&2; exit 2; }
done
wanted() { [[ ,$only, == *,$1,* ]]; }
# A label the CLI does not know gets no answer at all.
if wanted ntfs && [[ -z $("$cli" ls /dev/null --start 0 --fs ntfs 2>&1 || true) ]]; then
    echo "this quarvell-cli has no NTFS kind: NTFS left out" >&2
    only=${only//ntfs/}
fi
mkdir -p "$work"
work=$(cd "$work" && pwd)

# ---- cleanup of everything this run mounts or attaches --------------------------------------
mounts=() loops=()
cleanup() {
    local i
    for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
        umount "${mounts[i]}" 2>/dev/null || fusermount -u "${mounts[i]}" 2>/dev/null || true
    done
    for i in "${loops[@]}"; do losetup -d "$i" 2>/dev/null || true; done
    rm -rf "$shm"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
attach() { local l; l=$(losetup -f --show "$1"); loops+=("$l"); echo "$l"; }
# without WORD ITEM...: the items other than WORD.
without() { local w=$1 x; shift; for x; do [[ $x == "$w" ]] || printf '%s\n' "$x"; done; }
detach() { losetup -d "$1"; mapfile -t loops < <(without "$1" "${loops[@]}"); }
mount_at() {  # MOUNT-COMMAND... MOUNTPOINT
    local at=${*: -1}
    mkdir -p "$at"
    "$@"
    mounts+=("$at")
}
unmount() {
    umount "$1" 2>/dev/null || fusermount -u "$1"
    mapfile -t mounts < <(without "$1" "${mounts[@]}")
}
need_root() { [[ $EUID -eq 0 ]] || { echo "making $1 needs root" >&2; exit 1; }; }
need() { local t; for t; do command -v "$t" >/dev/null || { echo "$t is needed to make the images" >&2; exit 1; }; done; }
log() { printf '[%s] %s\n' "$(date +%H:%M:%S)" "$*" >&2; }

# ---- trees and images -----------------------------------------------------------------------
# tree FILES MIB DELETED: sets tree_dir to the generated tree (made once, shared by every
# deletion count), tree_info to "files bytes bytes_in_4k_clusters bytes_in_32k_clusters folders",
# and writes tree_dir.deleted-DELETED: every n-th file, the ones removed after copying.
tree() {
    local t=$work/tree-$1f-$2m
    if [[ ! -f $t.info ]]; then
        log "writing tree $t"
        rm -rf "$t"
        python3 "$here/make_tree.py" "$t" "$1" "$2" 1 >"$t.info.part"
        mv "$t.info.part" "$t.info"
    fi
    tree_info=$(cat "$t.info")
    tree_dir=$t
    tree_gone=$t.deleted-$3
    awk -v n="$1" -v d="$3" 'BEGIN { step = (d > 0) ? int(n / d) : 0; if (d > 0 && step < 1) step = 1 }
        step > 0 && NR - 1 >= int(step / 2) && (NR - 1 - int(step / 2)) % step == 0 && kept < d {
            sub(/^[0-9a-f]+  /, ""); print; kept++ }' "$t.sha256" >"$tree_gone"
}
# fat_spc MIB: 4 KiB clusters, or smaller on a small image so it stays FAT32 (>= 65525 clusters).
fat_spc() { local s=8; while ((s > 1 && $1 * 2048 / s < 66000)); do s=$((s / 2)); done; echo $s; }
mib_up() { echo $((($1 + 1048575) / 1048576)); }

make_fat32() {  # IMAGE TREE DELETED-LIST
    need mkfs.fat mcopy mdel
    local img=$1 t=$2 gone=$3 r4 size_mib
    r4=$(awk '{ print $3 }' <<<"$tree_info")
    size_mib=$(($(mib_up "$r4") * 105 / 100 + 64))
    log "making $img ($size_mib MiB): mcopy -s, then mdel of $(wc -l <"$gone") files"
    rm -f "$img.part"
    mkfs.fat -F 32 -s "$(fat_spc $size_mib)" -n BENCH -C "$img.part" $((size_mib * 1024)) >/dev/null
    MTOOLS_SKIP_CHECK=1 mcopy -i "$img.part" -s -Q "$t"/* ::/
    sed 's|^|::/|' "$gone" | MTOOLS_SKIP_CHECK=1 xargs -r mdel -i "$img.part"
    mv "$img.part" "$img"
}

# make_fuse KIND IMAGE TREE DELETED-LIST SIZE_MIB: mkfs on a loop device, FUSE mount, cp, rm, unmount.
make_fuse() {
    local kind=$1 img=$2 t=$3 gone=$4 size_mib=$5 loop at=$work/mnt
    need_root "$img"
    log "making $img ($size_mib MiB): $kind on a loop device, cp -r, then rm of $(wc -l <"$gone") files"
    rm -f "$img.part"
    truncate -s $((size_mib * 1048576)) "$img.part"
    loop=$(attach "$img.part")
    if [[ $kind == exfat ]]; then
        need mkfs.exfat mount.exfat-fuse
        mkfs.exfat -L BENCH "$loop" >/dev/null
        mount_at mount.exfat-fuse "$loop" "$at"
    else
        need mkntfs ntfs-3g
        mkntfs -F -Q -q -L BENCH "$loop" >/dev/null
        mount_at ntfs-3g "$loop" "$at"
    fi
    cp -r "$t"/. "$at"/
    if [[ -s $t.deleted ]]; then (cd "$at" && xargs -r -d '\n' rm -f <"$gone"); fi
    sync
    unmount "$at"
    detach "$loop"
    mv "$img.part" "$img"
}

make_ext() {  # TYPE IMAGE TREE DELETED-LIST
    need mke2fs
    need_root "$2"
    local type=$1 img=$2 t=$3 gone=$4 r4 files folders size_mib loop at=$work/mnt
    read -r files _ r4 _ folders <<<"$tree_info"
    size_mib=$(($(mib_up "$r4") * 110 / 100 + 160 + files / 4096))
    log "making $img ($size_mib MiB): mke2fs -t $type -d, then rm of $(wc -l <"$gone") files on a loop mount"
    rm -f "$img.part"
    mke2fs -q -F -t "$type" -b 4096 -N $((files + folders + files / 10 + 64)) -L bench -d "$t" \
        "$img.part" "${size_mib}M"
    loop=$(attach "$img.part")
    mount_at mount -t "$type" "$loop" "$at"
    if [[ -s $t.deleted ]]; then (cd "$at" && xargs -r -d '\n' rm -f <"$gone"); fi
    unmount "$at"
    detach "$loop"
    mv "$img.part" "$img"
}

# big_image KIND: image holding one file of big_mib MiB (its SHA-256 in IMAGE.sha256).
big_image() {
    local kind=$1 img=$work/big-$1-${big_mib}m.img src=$work/big-${big_mib}m.bin at=$work/mnt loop
    big_img=$img
    [[ -f $img ]] && return
    [[ -f $src.sha256 ]] || { python3 "$here/make_tree.py" --big "$src" "$big_mib" 2 >"$src.sha256.part"; mv "$src.sha256.part" "$src.sha256"; }
    log "making $img: one $big_mib MiB file"
    rm -f "$img.part"
    if [[ $kind == fat32 ]]; then
        need mkfs.fat mcopy
        mkfs.fat -F 32 -s "$(fat_spc $((big_mib + 64)))" -n BENCH -C "$img.part" $(((big_mib + 64) * 1024)) >/dev/null
        MTOOLS_SKIP_CHECK=1 mcopy -i "$img.part" "$src" ::/big.bin
    else
        need_root "$img"
        need mkfs.exfat mount.exfat-fuse
        truncate -s $(((big_mib + 64) * 1048576)) "$img.part"
        loop=$(attach "$img.part")
        mkfs.exfat -L BENCH "$loop" >/dev/null
        mount_at mount.exfat-fuse "$loop" "$at"
        cp "$src" "$at/big.bin"
        sync
        unmount "$at"
        detach "$loop"
    fi
    cp "$src.sha256" "$img.sha256"
    mv "$img.part" "$img"
}

# ---- measuring ------------------------------------------------------------------------------
# run_best PREPARE COMMAND...: runs PREPARE (a shell snippet, not timed) then COMMAND, rounds
# times; prints "best_wall best_cpu peak_kib" (peak: the largest max RSS of the runs).
run_best() {
    local prepare=$1 tf=$work/.time r i wall cpu rss best_wall="" best_cpu="" peak=0
    shift
    for ((i = 0; i < rounds; i++)); do
        eval "$prepare"
        /usr/bin/time -f '%e %U %S %M' -o "$tf" "$@" >/dev/null 2>&1 || true
        r=$(tail -n 1 "$tf")
        read -r wall cpu rss <<<"$(awk '{ printf "%s %.2f %s\n", $1, $2 + $3, $4 }' <<<"$r")"
        if [[ -z $best_wall ]] || awk -v a="$wall" -v b="$best_wall" 'BEGIN { exit !(a < b) }'; then best_wall=$wall; fi
        if [[ -z $best_cpu ]] || awk -v a="$cpu" -v b="$best_cpu" 'BEGIN { exit !(a < b) }'; then best_cpu=$cpu; fi
        if ((rss > peak)); then peak=$rss; fi
    done
    echo "$best_wall $best_cpu $peak"
}
tree_bytes() { find "$1" -type f -printf '%s\n' | awk '{ s += $1 } END { printf "%d\n", s }'; }
tree_files() { find "$1" -type f | wc -l; }
# live_exact TREE DELETED-LIST OUT: "matching/expected" for the files not deleted, by their SHA-256.
live_exact() {
    local sums=$1.sha256 gone=$2 expected ok
    expected=$(grep -cvFf <(sed 's/^/  /' "$gone") "$sums" || true)
    ok=$(cd "$3" || exit 1; grep -vFf <(sed 's/^/  /' "$gone") "$sums" | sha256sum -c 2>/dev/null | grep -c ': OK$') || true
    echo "$ok/$expected"
}
warm() { cat "$1" >/dev/null; cat "$1" >/dev/null; }

rows=()
# add_row FS MEASURE OURS REF KIND GOAL NOTE [OURS_BYTES REF_BYTES]
# KIND time: ratio = ours / reference; rate: ratio = ours bytes per second / reference's.
add_row() {
    local fs=$1 measure=$2 ours=$3 ref=$4 kind=$5 goal=$6 note=$7 ob=${8:-1} rb=${9:-1}
    rows+=("$(awk -v fs="$fs" -v m="$measure" -v o="$ours" -v r="$ref" -v k="$kind" -v g="$goal" \
        -v n="$note" -v ob="$ob" -v rb="$rb" 'BEGIN {
        split(o, a, " "); split(r, b, " ");
        # A time below the 0.01 s the clock shows gives no ratio ("-").
        rw = "-"; rc = "-"
        if (a[1] > 0 && b[1] > 0) rw = sprintf("%.2f", (k == "time") ? a[1] / b[1] : (ob / a[1]) / (rb / b[1]))
        if (a[2] > 0 && b[2] > 0) rc = sprintf("%.2f", (k == "time") ? a[2] / b[2] : (ob / a[2]) / (rb / b[2]))
        printf "%-6s %-34s %7.2f %7.2f %7.1f | %7.2f %7.2f %7.1f | %5s %5s %-7s %s",
               fs, m, a[1], a[2], a[3] / 1024, b[1], b[2], b[3] / 1024, rw, rc, g, n }')")
}
mibs() { awk -v b="$1" -v s="$2" 'BEGIN { printf "%.0f", (s > 0) ? b / s / 1048576 : 0 }'; }

bench_volume() {  # FS LABEL IMAGE TREE DELETED-LIST
    local fs=$1 label=$2 img=$3 t=$4 gone=$5 ours ref items lines ob rb of rf oe re
    log "measuring $fs on $img"
    warm "$img"
    ours=$(run_best : "$cli" ls "$img" --start 0 --fs "$label" --json)
    ref=$(run_best : fls -r -p "$img")
    items=$("$cli" ls "$img" --start 0 --fs "$label" --json 2>/dev/null | grep -c '"path"' || true)
    lines=$(fls -r -p "$img" 2>/dev/null | wc -l)
    add_row "$fs" "ls --json vs fls -r -p" "$ours" "$ref" time "< 1.0" "entries: ours $items, fls $lines"

    mkdir -p "$shm"
    ours=$(run_best "rm -rf '$shm/out'; mkdir -p '$shm/out'" \
        "$cli" recover "$img" --start 0 --fs "$label" --path ROOT --out "$shm/out" --yes)
    ob=$(tree_bytes "$shm/out") of=$(tree_files "$shm/out") oe=$(live_exact "$t" "$gone" "$shm/out")
    rm -rf "$shm/out"
    ref=$(run_best "rm -rf '$shm/tsk'; mkdir -p '$shm/tsk'" tsk_recover -e "$img" "$shm/tsk")
    rb=$(tree_bytes "$shm/tsk") rf=$(tree_files "$shm/tsk") re=$(live_exact "$t" "$gone" "$shm/tsk")
    rm -rf "$shm/tsk"
    add_row "$fs" "recover ROOT vs tsk_recover -e" "$ours" "$ref" rate ">= 1.0" \
        "$(mibs "$ob" "${ours%% *}") vs $(mibs "$rb" "${ref%% *}") MiB/s; files $of vs $rf, $((ob / 1048576)) vs $((rb / 1048576)) MiB; live exact $oe vs $re" \
        "$ob" "$rb"
}

bench_big() {  # FS LABEL
    local fs=$1 label=$2 ours ref expected actual check fb ib
    big_image "$fs"
    log "measuring the $big_mib MiB save on $big_img"
    warm "$big_img"
    mkdir -p "$shm"
    ours=$(run_best "rm -rf '$shm/out'; mkdir -p '$shm/out'" \
        "$cli" recover "$big_img" --start 0 --fs "$label" --path ROOT/big.bin --out "$shm/out" --yes)
    expected=$(cut -d' ' -f1 "$big_img.sha256")
    actual=$(sha256sum "$shm/out/big.bin" 2>/dev/null | cut -d' ' -f1 || true)
    [[ $expected == "$actual" ]] && check="sha256 matches" || check="SHA-256 MISMATCH"
    rm -rf "$shm/out"
    ref=$(run_best "rm -f '$shm/copy'" sh -c "exec cat '$big_img' > '$shm/copy'")
    rm -f "$shm/copy"
    fb=$((big_mib * 1048576)) ib=$(stat -c %s "$big_img")
    add_row "$fs" "save ${big_mib} MiB file vs cat image" "$ours" "$ref" rate ">= 0.80" \
        "$(mibs "$fb" "${ours%% *}") vs $(mibs "$ib" "${ref%% *}") MiB/s; $check" "$fb" "$ib"
}

bench_deep() {  # FS LABEL IMAGE
    local ours ref
    log "measuring the deep scan of $3"
    warm "$3"
    ours=$(run_best : "$cli" ls "$3" --start 0 --fs "$2" --mode deep --json)
    ref=$(run_best : cat "$3")
    add_row "$1" "ls --mode deep vs cat image" "$ours" "$ref" time "<= 1.3" ""
}

started=$(date +%s)
if wanted fat32 || wanted exfat; then
    tree "$fat_files" "$fat_mib" "$fat_deleted"
    fat_tree=$tree_dir fat_info=$tree_info fat_gone=$tree_gone
fi
if wanted fat32; then
    img=$work/fat32-${fat_files}f-${fat_mib}m-${fat_deleted}d.img
    tree_info=$fat_info
    [[ -f $img ]] || make_fat32 "$img" "$fat_tree" "$fat_gone"
    bench_volume fat32 fat32 "$img" "$fat_tree" "$fat_gone"
    bench_big fat32 fat32
fi
if wanted exfat; then
    img=$work/exfat-${fat_files}f-${fat_mib}m-${fat_deleted}d.img
    [[ -f $img ]] || make_fuse exfat "$img" "$fat_tree" "$fat_gone" \
        $(($(mib_up "$(awk '{ print $4 }' <<<"$fat_info")") * 105 / 100 + 64))
    bench_volume exfat exFat "$img" "$fat_tree" "$fat_gone"
    bench_big exfat exFat
fi
for type in ext3 ext4; do
    wanted $type || continue
    tree "$ext_files" "$ext_mib" "$ext_deleted"
    img=$work/$type-${ext_files}f-${ext_mib}m-${ext_deleted}d.img
    [[ -f $img ]] || make_ext $type "$img" "$tree_dir" "$tree_gone"
    bench_volume $type extX "$img" "$tree_dir" "$tree_gone"
done
if wanted ntfs; then
    tree "$ntfs_files" "$ntfs_mib" "$ntfs_deleted"
    img=$work/ntfs-${ntfs_files}f-${ntfs_mib}m-${ntfs_deleted}d.img
    [[ -f $img ]] || make_fuse ntfs "$img" "$tree_dir" "$tree_gone" \
        $(($(mib_up "$(awk '{ print $3 }' <<<"$tree_info")") * 110 / 100 + ntfs_files / 800 + 128))
    bench_volume ntfs ntfs "$img" "$tree_dir" "$tree_gone"
    bench_deep ntfs ntfs "$img"
fi

echo
echo "quarvell-cli against The Sleuth Kit / cat; images in the page cache, saves into tmpfs ($shm);"
echo "best of $rounds runs; peak = largest max RSS; ratio: time ours/theirs, or throughput ours/theirs."
echo "trees: FAT32/exFAT $fat_files files, $fat_mib MiB, $fat_deleted deleted; ext3/ext4 $ext_files files, $ext_mib MiB, $ext_deleted deleted; NTFS $ntfs_files files, $ntfs_mib MiB, $ntfs_deleted deleted"
printf '%-6s %-34s %7s %7s %7s | %7s %7s %7s | %5s %5s %-7s %s\n' fs measure "wall s" "cpu s" "MiB" \
    "wall s" "cpu s" "MiB" wall cpu goal note
printf '%-6s %-34s %-23s | %-23s | %-11s\n' "" "" "---------- ours -------" "------ reference ------" "-- ratio --"
printf '%s\n' "${rows[@]}"
echo "($(($(date +%s) - started)) s in all, making images included)"
