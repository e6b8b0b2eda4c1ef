#!/bin/bash
# Raw carving benchmark: one run on a 1 GiB image holding 205 real files at sector starts,
# comparing `quarvell-cli carve` with `cat IMAGE > /dev/null`, foremost and photorec.
# Prints times, ratios and how many embedded files each tool gives back byte-exact.
# Not a test: nothing here passes or fails.
#   carve_bench.sh CLI [WORKDIR]       (WORKDIR defaults to /tmp/quarvell-carve-bench)
set -eu
cli=$(readlink -f "${1:?usage: carve_bench.sh CLI [WORKDIR]}")
work=${2:-/tmp/quarvell-carve-bench}
image=$work/image.raw
manifest=$work/manifest.tsv
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
}

make_image() {
    echo "building $image (1 GiB, random filler, 205 files)..." >&2
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
rm -rf "$work/out-quarvell"
t_ours=$(seconds "$cli" carve "$image" --out "$work/out-quarvell")
n_ours=$(exact "$work/out-quarvell")

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
for kind in jpg png gif pdf zip bmp; do
    all=$(grep -c "\.$kind\$" "$manifest" || true)
    cut -f3,4 "$manifest" | grep "\.$kind\$" | cut -f1 | sort > "$work/kind.sha"
    find "$work/out-quarvell" -type f -exec sha256sum {} + | cut -c1-64 | sort -u > "$work/found.sha"
    printf '  %s: ours byte-exact %s/%s\n' "$kind" "$(comm -12 "$work/kind.sha" "$work/found.sha" | wc -l)" "$all"
done
