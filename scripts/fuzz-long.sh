#!/usr/bin/env bash
# Runs every fuzz target for MINUTES minutes each, one after another, in the background, with
# corpora that outlive the run in a folder outside the repository (QUARVELL_FUZZ_DIR, by default
# ~/.cache/quarvell-fuzz), started from the seeds scripts/fuzz-seeds.sh makes. Builds the fuzz
# targets first (clang, build-fuzz). Prints where the log goes and returns at once; the log ends
# with one line per target: executions, coverage and executions per second.
# Usage: fuzz-long.sh MINUTES
set -eu
minutes=${1:?usage: fuzz-long.sh MINUTES}
case $minutes in '' | *[!0-9]*) echo "MINUTES must be a whole number" >&2; exit 2 ;; esac
root=$(cd "$(dirname "$0")/.." && pwd)
work=${QUARVELL_FUZZ_DIR:-$HOME/.cache/quarvell-fuzz}
case $work in "$root"/*) echo "the corpus folder must lie outside the repository" >&2; exit 2 ;; esac
mkdir -p "$work"
log="$work/fuzz-long-$(date +%Y%m%d-%H%M%S).log"
(
  cd "$root"
  cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARVELL_FUZZ=ON -DQUARVELL_GUI=OFF \
        -DQUARVELL_TESTS=OFF -DQUARVELL_BENCH=OFF -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
  cmake --build build-fuzz -j "$(nproc)"
  rm -rf "$work/seeds"
  bash scripts/fuzz-seeds.sh "$work/seeds"
  for target in build-fuzz/fuzz/fuzz_*; do
    [ -x "$target" ] || continue
    name=$(basename "$target")
    mkdir -p "$work/corpus-$name" "$work/seeds/$name"
    "$target" -max_total_time=$((minutes * 60)) -rss_limit_mb=2048 -malloc_limit_mb=1024 -timeout=25 \
      -artifact_prefix="$work/$name-" "$work/corpus-$name" "$work/seeds/$name" >"$work/$name.log" 2>&1 ||
      echo "$name: stopped with a finding, see $work/$name.log"
    grep -E '^#[0-9]+' "$work/$name.log" | tail -n 1 |
      sed -E "s/^#([0-9]+).*cov: ([0-9]+).* exec\/s: ([0-9]+).*/$name: \1 runs, cov \2, \3 exec\/s/"
  done
  echo "fuzz-long: done"
) >"$log" 2>&1 &
echo "fuzzing in the background (pid $!); log: $log"
