#!/bin/bash
# Raw carving benchmark: one run on a 1 GiB image holding 280 real files of 16 types at sector
# starts, comparing `quarvell-cli carve` (saving to a tmpfs folder included) with
# `cat IMAGE > /dev/null`, foremost and photorec (installed with apt-get when missing).
# Prints times, ratios and how many embedded files each tool gives back byte-exact, per type.
# Not a test: nothing here passes or fails.
#   carve_bench.sh CLI [WORKDIR]       (WORKDIR defaults to /tmp/quarvell-carve-bench)
set -eu
cli=$(readlink -f "${1:?usage: carve_bench.sh CLI [WORKDIR]}")
work=${2:-/tmp/quarvell-carve-bench}
image=$work/image-v2.raw
manifest=$work/manifest-v2.tsv
outroot=/dev/shm
[ -d "$outroot" ] && [ -w "$outroot" ] || outroot=$work
mkdir -p "$work"

make_files() {
    local dir=$work/files i
    rm -rf "$dir"
    mkdir -p "$dir"
    for i in $(seq 1 60); do
        convert -seed "$i" -size $((320 + i * 8))x$((240 + i * 5)) plasma:fractal -strip -quality $((60 + i % 35)) "$dir/p$i.jpg"
    done
    for i in $(seq 1 50); do convert -seed $((100 + i)) -size $((100 + i * 6))x$((80 + i * 4)) plasma:fractal -strip "$dir/i$i.png"; done
    for i in $(seq 1 30); do convert -size $((40 + i * 4))x$((30 + i * 2)) gradient:red-blue -colors 8 -strip "$dir/g$i.gif"; done
    for i in $(seq 1 25); do
        gs -q -dNOPAUSE -dBATCH -sDEVICE=pdfwrite -sOutputFile="$dir/d$i.pdf" \
           -c "/Helvetica findfont 12 scalefont setfont 1 1 $((i * 3)) { 72 exch 20 mul 60 add moveto (page line $i) show } for showpage"
    done
    for i in $(seq 1 20); do
        (cd "$dir" && seq 1 $((i * 500)) > "m$i.txt" && zip -q -X "z$i.zip" "m$i.txt" "p$i.jpg" && rm "m$i.txt")
    done
    for i in $(seq 1 20); do convert -seed $((200 + i)) -size $((64 + i * 10))x$((48 + i * 6)) plasma:fractal -strip "$dir/b$i.bmp"; done
    local ff="ffmpeg -nostdin -loglevel error -y"
    for i in $(seq 1 10); do
        convert -seed $((300 + i)) -size $((100 + i * 20))x$((80 + i * 10)) plasma:fractal -strip -compress none "$dir/t$i.tif"
        $ff -f lavfi -i "sine=frequency=$((200 + i * 50)):duration=$i" -ar 22050 "$dir/w$i.wav"
        $ff -f lavfi -i "sine=frequency=$((300 + i * 40)):duration=$((i * 2))" -c:a libmp3lame -b:a 96k "$dir/a$i.mp3"
        $ff -f lavfi -i "testsrc=size=$((160 + 16 * i))x120:rate=10:duration=$i" -c:v libx264 -pix_fmt yuv420p "$dir/v$i.mp4"
        seq 1 $((i * 20000)) | gzip -n > "$dir/s$i.gz"
    done
    for i in $(seq 1 5); do
        $ff -f lavfi -i "testsrc=size=128x96:rate=10:duration=$i" -c:v mjpeg "$dir/q$i.mov"
        $ff -f lavfi -i "testsrc=size=128x96:rate=10:duration=$i" -c:v mpeg4 "$dir/r$i.avi"
        convert -seed $((400 + i)) -size $((100 + i * 30))x$((90 + i * 20)) plasma:fractal -strip "$dir/e$i.webp"
        (cd "$dir" && seq 1 $((i * 3000)) > "n$i.txt" && 7z a -bd -bso0 "k$i.7z" "n$i.txt" "p$i.jpg" && rm "n$i.txt")
        sqlite3 "$dir/l$i.db" "create table t(a, b); insert into t select value, randomblob(200) from generate_series(1, $((i * 300)));" 2>/dev/null ||
            sqlite3 "$dir/l$i.db" "create table t(a, b); with recursive c(x) as (select 1 union all select x + 1 from c where x < $((i * 300))) insert into t select x, randomblob(200) from c;"
    done
}

make_image() {
    echo "building $image (1 GiB, random filler, 280 files)..." >&2
    make_files
    python3 - "$work/files" "$image" "$manifest" <<'PY'
import hashlib, os, random, sys
src, image, manifest = sys.argv[1:4]
size = 1 << 30
names = sorted(os.listdir(src))
rng = random.Random(42)
# One file per slot of size/len(names) bytes, at a random sector start inside its slot.
slot = size // len(names) // 512 * 512
placed = []
for k, name in enumerate(names):
    data = open(os.path.join(src, name), 'rb').read()
    room = slot - len(data) - 4096
    offset = k * slot + rng.randrange(0, max(room, 512) // 512) * 512
    placed.append((offset, name, data))
with open(image, 'wb') as out:
    pos = 0
    for offset, name, data in placed:
        while pos < offset:
            n = min(offset - pos, 1 << 24)
            out.write(os.urandom(n))
            pos += n
        out.write(data)
        pos += len(data)
    while pos < size:
        n = min(size - pos, 1 << 24)
        out.write(os.urandom(n))
        pos += n
with open(manifest, 'w') as m:
    for offset, name, data in placed:
        m.write(f"{offset}\t{len(data)}\t{hashlib.sha256(data).hexdigest()}\t{name}\n")
PY
}

for tool in photorec:testdisk foremost:foremost; do
    command -v "${tool%%:*}" >/dev/null || apt-get install -y -qq "${tool#*:}" >/dev/null 2>&1 || true
done
if ! [ -f "$image" ] || ! [ -f "$manifest" ] || [ "$(stat -c %s "$image")" != 1073741824 ]; then make_image; fi

seconds() { local t0 t1; t0=$(date +%s.%N); "$@" >/dev/null 2>&1 || true; t1=$(date +%s.%N); echo "$t1 - $t0" | bc -l; }
best_of() {  # the shortest of N runs: on a shared machine the others measure its load
    local n=$1 best='' t
    shift
    for _ in $(seq 1 "$n"); do
        t=$(seconds "$@")
        if [ -z "$best" ] || [ "$(echo "$t < $best" | bc -l)" = 1 ]; then best=$t; fi
    done
    echo "$best"
}
exact() {  # how many manifest files appear byte-exact among the files under $1
    find "$1" -type f -exec sha256sum {} + 2>/dev/null | cut -c1-64 | sort -u > "$work/found.sha"
    cut -f3 "$manifest" | sort | comm -12 - "$work/found.sha" | wc -l
}
ratio() { printf '%.2f' "$(echo "$1 / $2" | bc -l)"; }

total=$(wc -l < "$manifest")
cat "$image" > /dev/null  # warm the page cache so every tool reads from memory
t_cat=$(best_of 5 sh -c "cat '$image' > /dev/null")
t_list=$(best_of 5 "$cli" carve "$image")
ours=$outroot/quarvell-carve-bench-out
rm -rf "$ours"
t_ours=$(seconds "$cli" carve "$image" --out "$ours")
n_ours=$(exact "$ours")

t_fm=- n_fm=-
if command -v foremost >/dev/null; then
    rm -rf "$work/out-foremost"
    t_fm=$(seconds foremost -t all -i "$image" -o "$work/out-foremost")
    n_fm=$(exact "$work/out-foremost")
fi
t_pr=- n_pr=-
if command -v photorec >/dev/null; then
    rm -rf "$work/out-photorec"
    mkdir -p "$work/out-photorec"
    t_pr=$(seconds photorec /d "$work/out-photorec/recup" /cmd "$image" partition_none,fileopt,everything,enable,search)
    n_pr=$(exact "$work/out-photorec")
fi

printf 'image: %s, 1 GiB, %d embedded files\n' "$image" "$total"
printf '%-34s %8.2f s  (best of 5)\n' "cat IMAGE > /dev/null" "$t_cat"
printf '%-34s %8.2f s  %sx cat  (best of 5)\n' "quarvell-cli carve (list)" "$t_list" "$(ratio "$t_list" "$t_cat")"
printf '%-34s %8.2f s  %sx cat  byte-exact %s/%s\n' "quarvell-cli carve --out" "$t_ours" "$(ratio "$t_ours" "$t_cat")" "$n_ours" "$total"
[ "$t_fm" = - ] || printf '%-34s %8.2f s  %sx ours  byte-exact %s/%s\n' "foremost -t all" "$t_fm" "$(ratio "$t_fm" "$t_ours")" "$n_fm" "$total"
[ "$t_pr" = - ] || printf '%-34s %8.2f s  %sx ours  byte-exact %s/%s\n' "photorec (everything)" "$t_pr" "$(ratio "$t_pr" "$t_ours")" "$n_pr" "$total"
exact_kind() {  # byte-exact files of one type under $1
    [ -d "$1" ] || { echo -; return; }
    find "$1" -type f -exec sha256sum {} + 2>/dev/null | cut -c1-64 | sort -u > "$work/found.sha"
    comm -12 "$work/kind.sha" "$work/found.sha" | wc -l
}
printf '  %-5s %8s %8s %8s\n' type ours photorec foremost
for kind in jpg png gif bmp tif pdf zip gz 7z db wav avi webp mp3 mp4 mov; do
    all=$(grep -c "\.$kind\$" "$manifest" || true)
    cut -f3,4 "$manifest" | grep "\.$kind\$" | cut -f1 | sort > "$work/kind.sha"
    printf '  %-5s %8s %8s %8s\n' "$kind" "$(exact_kind "$ours")/$all" "$(exact_kind "$work/out-photorec")/$all" \
        "$(exact_kind "$work/out-foremost")/$all"
done
rm -rf "$ours"
