#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs them.
#   scripts/fuzz.sh BUILD_DIR TARGET|all SECONDS     (SECONDS 0: until interrupted)
set -euo pipefail
build=${1:-build-fuzz}
which=${2:-all}
seconds=${3:-20}
root=$(cd "$(dirname "$0")/.." && pwd)

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DFDC_FUZZ=ON -DFDC_BUILD_UI=OFF \
  -DFDC_BUILD_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build "$build" -j "$(nproc)"

targets=(capture_run_fuzzer option_file_fuzzer show_only_fuzzer)
[ "$which" = all ] || targets=("$which")
for target in "${targets[@]}"; do
  name=${target%_fuzzer}
  corpus="$build/corpus/$name"
  mkdir -p "$corpus"
  seeds="$root/fuzz/corpus/$name"
  args=(-rss_limit_mb=2048 -timeout=10)
  [ "$seconds" != 0 ] && args+=("-max_total_time=$seconds")
  echo "== $target"
  "$build/fuzz/$target" "${args[@]}" "$corpus" $( [ -d "$seeds" ] && echo "$seeds" )
done
