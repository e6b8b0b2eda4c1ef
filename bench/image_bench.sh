#!/usr/bin/env bash
# Raw against EWF: the same 1 GiB ext4 volume listed and recovered from a raw image and from an
# E01 made of it by ewfacquire with its default compression, in one run (a benchmark, never a
# test). Prints per command the best wall and CPU time of --rounds runs, the E01/raw ratios
# (goal: within 2x of raw) and the peak memory (max RSS, /usr/bin/time -v).
#
# usage: bench/image_bench.sh [--cli PATH] [--rounds N] [--files N] [--mib M] [--compression C] WORK_DIR
#   --compression C   passed to ewfacquire -c (none, empty-block, fast, best); default: its own
# WORK_DIR keeps the tree and both images, so a rerun only measures. Needs python3, mke2fs,
# ewfacquire (ewf-tools) and /usr/bin/time. Saves go to a tmpfs folder removed at the end.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
cli=$here/../build/quarvell-cli
rounds=3 files=20000 mib=700 compression=
while [[ $# -gt 1 ]]; do
  case $1 in
    --cli) cli=$2; shift 2 ;;
    --rounds) rounds=$2; shift 2 ;;
    --files) files=$2; shift 2 ;;
    --mib) mib=$2; shift 2 ;;
    --compression) compression=$2; shift 2 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done
[[ $# -eq 1 ]] || { sed -n '2,11p' "$0"; exit 2; }
work=$1
mkdir -p "$work"
shm=$(mktemp -d /dev/shm/quarvell-image-bench.XXXXXX)
trap 'rm -rf "$shm"' EXIT

tree=$work/tree-$files-$mib
raw=$work/ext4-1g-$files-$mib.raw
e01=$work/ext4-1g-$files-$mib${compression:+-$compression}
if [[ ! -f $raw ]]; then
  [[ -d $tree ]] || python3 "$here/make_tree.py" "$tree" "$files" "$mib" 7 >/dev/null
  truncate -s 1G "$raw.part"
  mke2fs -q -F -t ext4 -E root_owner=0:0 -d "$tree" "$raw.part"
  mv "$raw.part" "$raw"
fi
if [[ ! -f $e01.E01 ]]; then
  ewfacquire -u -q ${compression:+-c "$compression"} -t "$e01.part" "$raw" >/dev/null
  mv "$e01.part.E01" "$e01.E01"
fi
echo "raw $(stat -c %s "$raw") bytes; E01 $(stat -c %s "$e01.E01") bytes"
cat "$raw" "$e01.E01" >/dev/null  # both in the page cache

# measure NAME COMMAND...: best wall/CPU of the rounds, peak RSS, into $shm/NAME.
measure() {
  local name=$1; shift
  local best_wall="" best_cpu="" rss=0
  for ((i = 0; i < rounds; i++)); do
    rm -rf "$shm/out"
    /usr/bin/time -v -o "$shm/time" "$@" >/dev/null 2>"$shm/err" || {
      rc=$?; [[ $rc -eq 0 || $rc -eq 3 ]] || { cat "$shm/err"; exit 1; }; }
    read -r wall cpu r < <(python3 - "$shm/time" <<'PY'
import sys
t = {}
for line in open(sys.argv[1]):
    k, _, v = line.strip().rpartition(": ")
    t[k] = v
parts = t["Elapsed (wall clock) time (h:mm:ss or m:ss)"].split(":")
wall = sum(float(p) * 60 ** i for i, p in enumerate(reversed(parts)))
print(wall, float(t["User time (seconds)"]) + float(t["System time (seconds)"]), t["Maximum resident set size (kbytes)"])
PY
)
    best_wall=$(python3 -c "print(min(x for x in [$wall, ${best_wall:-1e9}]))")
    best_cpu=$(python3 -c "print(min(x for x in [$cpu, ${best_cpu:-1e9}]))")
    ((r > rss)) && rss=$r
  done
  echo "$best_wall $best_cpu $rss" >"$shm/$name"
}

for kind in raw e01; do
  image=$raw; [[ $kind == e01 ]] && image=$e01.E01
  measure "ls-$kind" "$cli" ls "$image" --start 0 --fs extX --json
  measure "recover-$kind" "$cli" recover "$image" --start 0 --fs extX --path ROOT --out "$shm/out" --yes
  # The bytes saved from the last round match the tree's.
  (cd "$shm/out" && sha256sum --quiet -c "$tree.sha256") || { echo "recovered bytes differ ($kind)"; exit 1; }
done

printf '%-8s %10s %10s %10s %10s %8s %8s %12s %12s\n' command raw-wall e01-wall raw-cpu e01-cpu wall-x cpu-x raw-rss-KiB e01-rss-KiB
for cmd in ls recover; do
  read -r rw rc rr <"$shm/$cmd-raw"
  read -r ew ec er <"$shm/$cmd-e01"
  python3 -c "print('%-8s %10.2f %10.2f %10.2f %10.2f %8.2f %8.2f %12s %12s' % ('$cmd', $rw, $ew, $rc, $ec, $ew / max($rw, 1e-3), $ec / max($rc, 1e-3), '$rr', '$er'))"
done
