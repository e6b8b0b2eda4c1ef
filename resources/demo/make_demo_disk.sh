#!/usr/bin/env bash
# Builds the bundled demo disk: resources/demo/demo-disk.img.xz and demo-disk.manifest.json.
#
# A 150 MiB GPT disk with one volume each of NTFS, FAT32, exFAT and ext3, every one holding
# folders of photos (JPEG and PNG), documents (PDF, CSV, text) and notes, some of them deleted
# again, and a sixth partition "HFS+ demo" (type AF00, 16 MiB). That partition's content comes
# from the command in HFS_WRITER, called as `$HFS_WRITER OUTPUT_FILE SIZE_BYTES`; when the
# writer leaves OUTPUT_FILE.manifest.json, the disk's manifest carries it as that volume's
# "contents". Without HFS_WRITER the partition stays zeros.
#
# The manifest lists per volume its partition name, start sector, sector count, file system and
# files (path, size, SHA-256, deleted). Deleted FAT and exFAT entries keep their data on disk;
# FAT keeps the name but its first character.
#
# Needs root (loop devices, FUSE mounts) and: sgdisk, mkntfs, ntfs-3g, mkfs.fat, mtools,
# mkfs.exfat, mount.exfat-fuse, losetup, mke2fs, debugfs, ImageMagick's convert, openssl, xz.
# Debian 12: apt-get install gdisk ntfs-3g dosfstools mtools exfatprogs exfat-fuse e2fsprogs
#            imagemagick openssl xz-utils
set -euo pipefail
export LC_ALL=C

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=SCRIPTDIR/../../tests/fixtures/make_volumes.sh
source "$here/../../tests/fixtures/make_volumes.sh"

[[ $EUID -eq 0 ]] || { echo "run as root: exFAT and NTFS volumes need loop devices and FUSE mounts" >&2; exit 1; }
vol_need sgdisk mkntfs ntfs-3g mkfs.fat mcopy mmd mdel mkfs.exfat mount.exfat-fuse losetup mke2fs \
    debugfs convert openssl xz sha256sum dd truncate
export MTOOLS_SKIP_CHECK=1

work=$(mktemp -d)
trap 'vol_cleanup; rm -rf "$work"' EXIT

# demo_pdf TITLE LINE: a one-page PDF with a title and one line of text.
demo_pdf() {
    local stream="BT /F1 20 Tf 72 720 Td ($1) Tj 0 -32 Td /F1 12 Tf ($2) Tj ET"
    local -a objects=(
        "<< /Type /Catalog /Pages 2 0 R >>"
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>"
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 4 0 R >> >> /Contents 5 0 R >>"
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"
        "<< /Length ${#stream} >>
stream
$stream
endstream"
    )
    local body="%PDF-1.4
" xref="" i
    for i in "${!objects[@]}"; do
        xref+=$(printf '%010d 00000 n \n' "${#body}")$'\n'
        body+="$((i + 1)) 0 obj
${objects[$i]}
endobj
"
    done
    printf '%sxref\n0 %d\n0000000000 65535 f \n%strailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n' \
        "$body" $((${#objects[@]} + 1)) "$xref" $((${#objects[@]} + 1)) "${#body}"
}

# demo_png SEED W H OUT: a PNG without time stamps, so the same seed gives the same file.
demo_png() {
    convert -seed "$1" -size "$2x$3" plasma:fractal -depth 8 -define png:exclude-chunks=date,time "$4"
}
demo_jpg() {  # SEED W H OUT
    convert -seed "$1" -size "$2x$3" plasma:fractal -quality 88 "$4"
}

# demo_tree DIR SEED NAME: the files of one volume; prints the paths to delete afterwards.
demo_tree() {
    local dir=$1 seed=$2 name=$3
    mkdir -p "$dir/Photos/2019" "$dir/Documents/Archive" "$dir/Notes"
    printf 'Demo volume "%s".\r\nPhotos, documents and notes; some files were deleted.\r\n' "$name" >"$dir/readme.txt"
    demo_jpg "$seed" 1280 960 "$dir/Photos/beach.jpg"
    demo_png "$((seed + 1))" 400 300 "$dir/Photos/garden.png"
    demo_jpg "$((seed + 2))" 1024 768 "$dir/Photos/2019/party.jpg"
    demo_png "$((seed + 3))" 320 240 "$dir/Photos/2019/scan.png"
    demo_pdf "Quarterly report" "Volume $name: revenue grew by $seed percent." >"$dir/Documents/report.pdf"
    demo_pdf "Rental contract" "Signed copy, volume $name." >"$dir/Documents/Archive/contract.pdf"
    printf 'month,income,expenses\r\njanuary,%d,1200\r\nfebruary,%d,1350\r\nmarch,%d,990\r\n' \
        $((seed * 10)) $((seed * 11)) $((seed * 12)) >"$dir/Documents/budget.csv"
    vol_text 30 "$seed" >"$dir/Documents/Archive/letter.txt"
    printf 'buy milk\r\ncall the bank\r\nback up the photos\r\n' >"$dir/Notes/todo.txt"
    vol_text 12 "$((seed + 1))" >"$dir/Notes/ideas.txt"
    printf 'Photos/2019/party.jpg\nPhotos/2019/scan.png\nDocuments/Archive/contract.pdf\nDocuments/Archive/letter.txt\nNotes/ideas.txt\n'
}

disk=$work/demo-disk.img
truncate -s 150M "$disk"
sgdisk -o \
    -n 1:2048:67583 -t 1:0700 -c 1:"Windows" \
    -n 2:67584:149503 -t 2:0700 -c 2:"Camera" \
    -n 3:149504:198655 -t 3:0700 -c 3:"USB stick" \
    -n 4:198656:264191 -t 4:8300 -c 4:"Linux home" \
    -n 5:264192:296959 -t 5:AF00 -c 5:"HFS+ demo" \
    "$disk" >/dev/null

volumes=()
# demo_volume FS PARTITION-NAME START SECTORS SEED
demo_volume() {
    local fs=$1 name=$2 start=$3 sectors=$4 seed=$5
    local dir=$work/tree-$seed img=$work/vol-$seed label
    label=$(printf '%s' "$name" | tr -cd 'A-Za-z' | cut -c1-11)
    local -a deleted
    mapfile -t deleted < <(demo_tree "$dir" "$seed" "$name")
    case $fs in
        NTFS) vol_ntfs "$img" $((sectors * 512)) "$label" "$start" "$dir" "${deleted[@]}" ;;
        FAT32) vol_fat "$img" $((sectors * 512)) 32 "${label^^}" "$start" "$dir" "${deleted[@]}" ;;
        exFAT) vol_exfat "$img" $((sectors * 512)) "$label" "$dir" "${deleted[@]}" ;;
        ext3) vol_ext "$img" $((sectors * 512)) ext3 "$dir" "${deleted[@]}" ;;
    esac
    vol_place "$img" "$disk" "$start"
    volumes+=("$(printf '{"partition": "%s", "startSector": %s, "sectorCount": %s, "fileSystem": "%s", "files": %s}' \
        "$name" "$start" "$sectors" "$fs" "$(vol_manifest_files "$dir" "${deleted[@]}")")")
    rm -rf "$dir" "$img"
}

demo_volume NTFS "Windows" 2048 65536 101
demo_volume FAT32 "Camera" 67584 81920 202
demo_volume exFAT "USB stick" 149504 49152 303
demo_volume ext3 "Linux home" 198656 65536 404

hfs='{"partition": "HFS+ demo", "startSector": 264192, "sectorCount": 32768, "fileSystem": "HFS+"'
if [[ -n ${HFS_WRITER:-} ]]; then
    $HFS_WRITER "$work/hfs.img" $((32768 * 512))
    [[ $(stat -c %s "$work/hfs.img") -le $((32768 * 512)) ]] || { echo "HFS+ volume larger than its partition" >&2; exit 1; }
    vol_place "$work/hfs.img" "$disk" 264192
    [[ ! -f $work/hfs.img.manifest.json ]] || hfs+=", \"contents\": $(cat "$work/hfs.img.manifest.json")"
    volumes+=("$hfs}")
else
    volumes+=("$hfs, \"empty\": true}")
fi

{
    printf '{\n  "image": "demo-disk.img.xz",\n  "bytes": %s,\n  "partitionTable": "GPT",\n  "volumes": [' "$(stat -c %s "$disk")"
    for i in "${!volumes[@]}"; do
        ((i)) && printf ','
        printf '\n    %s' "${volumes[$i]}"
    done
    printf '\n  ]\n}\n'
} >"$here/demo-disk.manifest.json"
xz -9e -T1 -c "$disk" >"$here/demo-disk.img.xz"
ls -l "$here/demo-disk.img.xz"
