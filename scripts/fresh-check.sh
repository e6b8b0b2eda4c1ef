#!/usr/bin/env bash
# Proves the README's two commands on a fresh Debian 12: bootstraps a minimal root, adds only git and
# ca-certificates, clones the committed HEAD into it, then runs `bash scripts/demo.sh` and
# `bash scripts/test.sh` there. Prints each command's wall time and result and every test that ctest
# skipped with its reason; exits non-zero when a command fails or a skip names a missing program or
# package. Needs root. Takes tens of minutes on two cores: run it in the background.
#
#   scripts/fresh-check.sh [WORKDIR]     (default /var/tmp/quarvell-fresh)
#
# WORKDIR keeps the apt package cache and the compiler cache between runs; the root itself is made
# anew each run (a cached object is reused only when every header it was built from is there again).
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
work=${1:-/var/tmp/quarvell-fresh}
[ "$(id -u)" -eq 0 ] || { echo "fresh-check.sh: run as root (debootstrap and the bind mounts need it)" >&2; exit 2; }
command -v debootstrap >/dev/null || { echo "fresh-check.sh: debootstrap is needed (scripts/install-deps.sh installs it)" >&2; exit 2; }

# The mirror and sources of the host: deb822 files first, then one-line lists.
host_sources=()
for f in /etc/apt/sources.list.d/*.sources /etc/apt/sources.list.d/*.list /etc/apt/sources.list; do
  [ -f "$f" ] && grep -qE '^\s*(URIs:|deb\s)' "$f" && host_sources+=("$f")
done
mirror=""
for f in "${host_sources[@]}"; do
  if [[ $f == *.sources ]]; then
    mirror=$(awk '/^URIs:/ { u = $2 } /^Suites:/ { if ($0 ~ /[ \t]bookworm([ \t]|$)/ && u != "") { print u; exit } }' "$f")
  else
    mirror=$(awk '$1 == "deb" { for (i = 2; i <= NF; i++) if ($i !~ /^\[/ && $i ~ /:\/\//) { if ($(i + 1) == "bookworm") { print $i; exit } } }' "$f")
  fi
  [ -n "$mirror" ] && break
done
[ -n "$mirror" ] || { echo "fresh-check.sh: no bookworm mirror found in the host's apt sources" >&2; exit 2; }

root="$work/root"
cache="$work/apt-cache"
mkdir -p "$work" "$cache/archives/partial" "$work/ccache"

mounted=()
cleanup() {
  local m
  # Whatever the tests left mounted inside the root goes first, deepest first.
  if [ -d "$root" ]; then
    while read -r m; do umount -l "$m" 2>/dev/null || true; done < <(awk -v r="$root" '$2 == r || index($2, r "/") == 1 { print $2 }' /proc/mounts | sort -r)
  fi
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount -l "${mounted[i]}" 2>/dev/null || true; done
  # Loop devices left attached to files inside the root.
  losetup -a 2>/dev/null | awk -F: -v r="$root" 'index($0, r) { print $1 }' | while read -r d; do losetup -d "$d" 2>/dev/null || true; done
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
bind() {  # bind SOURCE TARGET [ro]
  mkdir -p "$2"
  mount --bind "$1" "$2"
  mounted+=("$2")
  if [ "${3:-}" = ro ]; then mount -o remount,bind,ro "$2"; fi
}

cleanup
rm -rf "$root"
echo "== bootstrapping Debian 12 (minbase) from $mirror into $root"
t0=$(date +%s)
debootstrap --variant=minbase --cache-dir="$cache/archives" bookworm "$root" "$mirror" >"$work/debootstrap.log" 2>&1 ||
  { tail -n 20 "$work/debootstrap.log"; echo "fresh-check.sh: debootstrap failed" >&2; exit 1; }
echo "bootstrap: $(( $(date +%s) - t0 )) s"

rm -f "$root/etc/apt/sources.list"
mkdir -p "$root/etc/apt/sources.list.d"
for f in "${host_sources[@]}"; do cp "$f" "$root/etc/apt/sources.list.d/$(basename "$f")"; done
[ -f "$root/etc/apt/sources.list.d/sources.list" ] && mv "$root/etc/apt/sources.list.d/sources.list" "$root/etc/apt/sources.list.d/host.list"
# The host's mirror may serve a dated snapshot, whose Release files are past their validity.
printf 'Acquire::Check-Valid-Until "false";\n' >"$root/etc/apt/apt.conf.d/99fresh-check"
cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true

bind /proc "$root/proc"
bind /sys "$root/sys"
bind /dev "$root/dev"
bind /dev/pts "$root/dev/pts"
bind /dev/shm "$root/dev/shm"
bind "$cache/archives" "$root/var/cache/apt/archives"
bind "$work/ccache" "$root/root/.cache/ccache"
if [ -d "$repo/../shared" ]; then bind "$(cd "$repo/../shared" && pwd)" "$root/work/shared" ro; fi

in_root() {
  env -i HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
    TERM=dumb CI="${CI:-}" chroot "$root" /bin/bash -c "$1"
}

echo "== installing git and ca-certificates only"
in_root 'apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends git ca-certificates >/dev/null'
git -C "$repo" bundle create "$work/head.bundle" HEAD >/dev/null 2>&1
cp "$work/head.bundle" "$root/head.bundle"
in_root 'git clone -q /head.bundle /work/main && rm /head.bundle'
echo "cloned $(git -C "$repo" rev-parse --short HEAD)"

status=0
run_step() {  # run_step NAME COMMAND
  local t0 rc
  t0=$(date +%s)
  set +e
  in_root "cd /work/main && unset DISPLAY WAYLAND_DISPLAY && $2" >"$work/$1.log" 2>&1
  rc=$?
  set -e
  echo "$2: exit $rc in $(( $(date +%s) - t0 )) s (log: $work/$1.log)"
  if [ "$rc" -ne 0 ]; then
    tail -n 40 "$work/$1.log"
    status=1
  fi
}
run_step demo 'bash scripts/demo.sh'
run_step test 'bash scripts/test.sh'
grep -E '^all: [0-9]+ passed' "$work/test.log" || true

# Every skipped test with its reason, from the full output ctest keeps of each build's run.
echo "== tests skipped"
skips="$work/skips.txt"
: >"$skips"
for log in "$root"/work/main/build*/Testing/Temporary/LastTest.log; do
  [ -f "$log" ] || continue
  python3 - "$log" >>"$skips" <<'PY'
import re, sys
text = open(sys.argv[1], errors="replace").read()
build = sys.argv[1].split("/work/main/")[1].split("/")[0]
for block in re.split(r'\n(?=\d+/\d+ Testing: )', text):
    name = re.search(r'^\d+/\d+ Test: (\S+)', block, re.M)
    if not name or "[  SKIPPED ]" not in block:
        continue
    reason = re.search(r': Skipped\n(.*?)\n\[  SKIPPED \]', block, re.S)
    print(f"{build}: {name.group(1)}: {reason.group(1).strip() if reason else '(no reason given)'}")
PY
done
if [ -s "$skips" ]; then cat "$skips"; else echo "(none)"; fi
if grep -Eiq 'not installed|is missing|missing tool|is needed|not found|no such file|command not found|package' "$skips"; then
  echo "fresh-check.sh: a test was skipped for a missing program or package" >&2
  status=1
fi
[ "$status" -eq 0 ] && echo "fresh-check: both commands passed" || echo "fresh-check: FAILED" >&2
exit "$status"
