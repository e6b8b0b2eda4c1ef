#!/usr/bin/env bash
# Sets everything up and runs every test: the full build with ctest, the core tests again under
# AddressSanitizer and UndefinedBehaviorSanitizer, and each fuzz target briefly.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc)

bash scripts/install-deps.sh

echo "== build and test"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARVELL_GUI=ON >/dev/null
cmake --build build -j "$jobs"
(cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$jobs") | tee build/ctest.log
total=$(sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' build/ctest.log | tail -n 1)

echo "== core tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUARVELL_SANITIZE=ON -DQUARVELL_GUI=OFF \
      -DQUARVELL_BENCH=OFF >/dev/null
cmake --build build-asan -j "$jobs"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
   ctest --output-on-failure -j "$jobs" -L core) | tee build-asan/ctest.log
total=$((total + $(sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' build-asan/ctest.log | tail -n 1)))

if ls fuzz/*.cpp >/dev/null 2>&1; then
  echo "== fuzz targets (a short run each)"
  cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARVELL_FUZZ=ON -DQUARVELL_GUI=OFF \
        -DQUARVELL_TESTS=OFF -DQUARVELL_BENCH=OFF -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
  cmake --build build-fuzz -j "$jobs"
  rm -rf build-fuzz/seeds
  bash scripts/fuzz-seeds.sh build-fuzz/seeds
  passed=0
  failed=0
  for target in build-fuzz/fuzz/fuzz_*; do
    [ -x "$target" ] || continue
    name=$(basename "$target")
    corpus="$root/build-fuzz/corpus-$name"
    mkdir -p "$corpus" "build-fuzz/seeds/$name"
    if "$target" -max_total_time="${FUZZ_SECONDS:-30}" -rss_limit_mb=2048 -malloc_limit_mb=1024 -timeout=25 \
         "$corpus" "build-fuzz/seeds/$name" >"build-fuzz/$name.log" 2>&1; then
      passed=$((passed + 1))
      # The last status line: executions, coverage, executions per second.
      stats=$(grep -E '^#[0-9]+' "build-fuzz/$name.log" | tail -n 1 | sed -E 's/^#([0-9]+).*cov: ([0-9]+).* exec\/s: ([0-9]+).*/\1 runs, cov \2, \3 exec\/s/')
      echo "$name: $stats"
    else
      failed=$((failed + 1))
      tail -n 40 "build-fuzz/$name.log"
    fi
  done
  echo "fuzz: $passed passed, $failed failed"
  [ "$failed" -eq 0 ]
  total=$((total + passed))
fi
echo "all: $total passed, 0 failed"
