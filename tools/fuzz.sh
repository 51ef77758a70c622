#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for the given number of seconds
# (default 20), starting from its seed corpus. New inputs go to build-fuzz/corpus/<name>.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVORNSCR_FUZZ=ON -DVORNSCR_BENCH=OFF >/dev/null
cmake --build build-fuzz -j "$(nproc)"
for binary in build-fuzz/tests/fuzz/fuzz_*; do
  name=$(basename "$binary"); name=${name#fuzz_}
  mkdir -p "build-fuzz/corpus/$name"
  echo "== fuzzing $name for ${seconds}s"
  log="build-fuzz/$name.log"
  status=0
  "$binary" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 \
    "build-fuzz/corpus/$name" "tests/fuzz/corpus/$name" >"$log" 2>&1 || status=$?
  grep -E '^stat::number_of_executed_units|^==[0-9]+==|^SUMMARY|ERROR' "$log" || true
  if [ "$status" -ne 0 ]; then
    tail -50 "$log"
    echo "fuzz target $name failed"
    exit 1
  fi
done
