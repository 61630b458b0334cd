#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, ASan and UBSan and runs each for a while.
# Usage: tools/fuzz.sh [SECONDS-PER-TARGET]   (default 45)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-45}"
"$root/tools/deps.sh"
build="$root/build-fuzz"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DORVENDA_FUZZ=ON -DORVENDA_BUILD_UI=OFF -DORVENDA_BUILD_TESTS=OFF -DORVENDA_BUILD_BENCH=OFF
cmake --build "$build" --target fuzzers -j "$(nproc)"
for target in "$build"/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name="$(basename "$target")"
  corpus="$build/corpus/$name"
  mkdir -p "$corpus"
  seeds=()
  [ -d "$root/fuzz/seeds/${name#fuzz_}" ] && seeds=("$root/fuzz/seeds/${name#fuzz_}")
  echo "== $name for ${seconds}s"
  log="$build/$name.log"
  # The whole log on a finding (its stack and input), only the last lines otherwise.
  if ! (cd "$build" && "$target" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=1 \
    "$corpus" "${seeds[@]}" >"$log" 2>&1); then
    grep -v -E '^#[0-9]+[[:space:]]+(NEW|REDUCE|pulse|INITED|RELOAD)' "$log" | tail -n 120
    exit 1
  fi
  tail -n 12 "$log"
done
