#!/usr/bin/env bash
# Deleted ext3 and ext4 files back through the journal, reported in one run (never a test, never
# gating). On each kind a volume gets 2,000 files in 20 folders through a kernel mount (written,
# synced), 400 of them are deleted (one whole folder of 100 and 300 spread over the others),
# and the volume is unmounted cleanly. Then, on the same image:
#   - `quarvell-cli recover IMAGE --start 0 --fs extX --mode deep --path ROOT --out DIR --yes --json`
#   - `extundelete IMAGE --restore-all` (run in DIR: it writes DIR/RECOVERED_FILES)
#   - `ext4magic -m -d DIR IMAGE`
# and for each it prints how many deleted files came back byte-exact at their original path,
# how many byte-exact anywhere, and the time it took; for this program also how many files it
# marked as overwritten (blocks allocated again since the delete).
#
# usage: bench/ext_undelete_bench.sh [options] WORK_DIR
#   --cli PATH     quarvell-cli (default: build/quarvell-cli beside this folder)
#   --only LIST    ext3, ext4 or ext3,ext4 (default)
#   --files N --deleted D --mib M   the tree (default 2000, 400, 384)
# Needs root (loop mount), mke2fs, python3, extundelete and ext4magic.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
cli=$here/../build/quarvell-cli
only=ext3,ext4
files=2000 deleted=400 mib=384
work=""
while (($#)); do
    case $1 in
        --cli) cli=$2; shift ;;
        --only) only=$2; shift ;;
        --files) files=$2; shift ;;
        --deleted) deleted=$2; shift ;;
        --mib) mib=$2; shift ;;
        -h | --help) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
        -*) echo "unknown option $1 (see --help)" >&2; exit 2 ;;
        *) [[ -z $work ]] || { echo "one WORK_DIR only" >&2; exit 2; }; work=$1 ;;
    esac
    shift
done
[[ -n $work ]] || { echo "usage: $0 [options] WORK_DIR" >&2; exit 2; }
for tool in mke2fs python3 extundelete ext4magic; do
    command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 2; }
done
[[ -x $cli ]] || { echo "no quarvell-cli at $cli" >&2; exit 2; }
[[ $(id -u) -eq 0 ]] || { echo "needs root for the loop mount" >&2; exit 2; }
mkdir -p "$work"
work=$(cd "$work" && pwd)
mnt=$work/mnt
mkdir -p "$mnt"
trap 'mountpoint -q "$mnt" && umount "$mnt"; true' EXIT

# Writes the tree into the mounted volume and deletes files; prints the deleted files' manifest.
make_tree() {
    python3 - "$1" "$files" "$deleted" "$2" <<'EOF'
import hashlib, json, os, random, shutil, sys
root, files, deleted, manifest = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
rnd = random.Random(2024)
folders = 20
paths = []
for i in range(files):
    folder = "folder-%02d" % (i % folders)
    os.makedirs(os.path.join(root, folder), exist_ok=True)
    rel = "%s/file-%04d.%s" % (folder, i, ["bin", "txt", "dat", "log"][i % 4])
    size = rnd.choice([rnd.randint(1, 4096), rnd.randint(4096, 65536), rnd.randint(65536, 400000)])
    data = rnd.randbytes(size)
    with open(os.path.join(root, rel), "wb") as f: f.write(data)
    paths.append((rel, hashlib.sha256(data).hexdigest()))
os.sync()
whole = "folder-%02d" % (folders - 1)
gone = [p for p in paths if p[0].startswith(whole + "/")]
rest = [p for p in paths if not p[0].startswith(whole + "/")]
gone += rnd.sample(rest, max(0, deleted - len(gone)))
for rel, _ in gone:
    if not rel.startswith(whole + "/"): os.remove(os.path.join(root, rel))
shutil.rmtree(os.path.join(root, whole))
os.sync()
with open(manifest, "w") as f: json.dump(dict(gone), f)
EOF
}

# Counts the deleted files found byte-exact in DIR: at their own path, and anywhere.
count() {
    python3 - "$1" "$2" <<'EOF'
import hashlib, json, os, sys
manifest, out = json.load(open(sys.argv[1])), sys.argv[2]
at_path = sum(1 for rel, h in manifest.items() if os.path.isfile(os.path.join(out, rel)) and
              hashlib.sha256(open(os.path.join(out, rel), "rb").read()).hexdigest() == h)
wanted, anywhere = set(manifest.values()), set()
for d, _, names in os.walk(out):
    for n in names:
        p = os.path.join(d, n)
        if os.path.isfile(p) and not os.path.islink(p):
            h = hashlib.sha256(open(p, "rb").read()).hexdigest()
            if h in wanted: anywhere.add(h)
print(at_path, len(anywhere))
EOF
}

seconds() { python3 -c "import time; print(time.monotonic())"; }

printf '%-5s %-12s %10s %10s %9s %s\n' kind program at-path anywhere seconds notes
for kind in ${only//,/ }; do
    img=$work/$kind.img manifest=$work/$kind.deleted.json
    if [[ ! -f $img || ! -f $manifest ]]; then
        rm -f "$img"
        truncate -s "${mib}M" "$img"
        mke2fs -q -F -t "$kind" "$img"
        mount -o loop "$img" "$mnt"
        make_tree "$mnt" "$manifest"
        umount "$mnt"
    fi
    total=$(python3 -c "import json,sys; print(len(json.load(open(sys.argv[1]))))" "$manifest")
    for program in quarvell extundelete ext4magic; do
        out=$work/$kind.$program
        rm -rf "$out"
        mkdir -p "$out"
        notes=""
        t0=$(seconds)
        case $program in
            quarvell)
                "$cli" recover "$img" --start 0 --fs extX --mode deep --path ROOT --out "$out" --yes --json \
                    >"$work/$kind.quarvell.json" 2>"$work/$kind.quarvell.log" || true
                ;;
            extundelete)
                # It writes into ./RECOVERED_FILES (its -o refuses absolute paths here).
                (cd "$out" && extundelete "$img" --restore-all >"$work/$kind.extundelete.log" 2>&1) || true
                ;;
            ext4magic)
                ext4magic -m -d "$out/files" "$img" >"$work/$kind.ext4magic.log" 2>&1 || true
                ;;
        esac
        t1=$(seconds)
        case $program in
            extundelete) out=$out/RECOVERED_FILES ;;
            ext4magic) out=$out/files ;;
        esac
        read -r at any < <(count "$manifest" "$out")
        if [[ $program == quarvell ]]; then
            notes="overwritten: $(python3 -c "import json,sys; print(sum(1 for o in json.load(open(sys.argv[1])) if o.get('overwritten')))" "$work/$kind.quarvell.json")"
        fi
        printf '%-5s %-12s %6d/%-4d %6d/%-4d %9.2f %s\n' "$kind" "$program" "$at" "$total" "$any" "$total" \
            "$(python3 -c "print($t1 - $t0)")" "$notes"
    done
done
