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

# The targets write their files under /dev/shm and remove them when they end normally; a target
# that is interrupted or stopped by a finding leaves them, so they go here in any case.
cleanup() { rm -rf /dev/shm/fdc_capture_fuzz_* /dev/shm/fdc_option_fuzz_*; }
trap cleanup EXIT

# A seed for the capture run target as its input format has it (byte 0 the options, bytes 1 and 2
# where the files part): a generated three-minute run with damage, large enough that reading it
# refills the reader's buffer.
capture_seed() {
  local dir="$1" scratch
  scratch=$(mktemp -d)
  "$build/tools/fdcgen" --out "$scratch/run" --start 2359 --minutes 3 --baud 1M5 --seed 9 \
    --records-per-minute 14000 --damage garbage,split,malformed --quiet
  local a b c total
  a=$(stat -c %s "$scratch/run2359.FdcCapt")
  b=$(stat -c %s "$scratch/run0000.FdcCapt")
  c=$(stat -c %s "$scratch/run0001.FdcCapt")
  total=$((a + b + c))
  printf "\\$(printf %03o 0)\\$(printf %03o $((a * 255 / total)))\\$(printf %03o $(((a + b) * 255 / total)))" \
    > "$dir/generated_run"
  cat "$scratch/run2359.FdcCapt" "$scratch/run0000.FdcCapt" "$scratch/run0001.FdcCapt" \
    >> "$dir/generated_run"
  rm -rf "$scratch"
}

targets=(capture_run_fuzzer option_file_fuzzer show_only_fuzzer)
[ "$which" = all ] || targets=("$which")
for target in "${targets[@]}"; do
  name=${target%_fuzzer}
  corpus="$build/corpus/$name"
  mkdir -p "$corpus"
  seeds="$root/fuzz/corpus/$name"
  args=(-rss_limit_mb=2048 -timeout=10)
  if [ "$name" = capture_run ]; then
    # Runs of up to 1 MiB: long enough that the reader refills its 256 KiB buffer.
    args+=(-max_len=1048576)
    [ -f "$corpus/generated_run" ] || capture_seed "$corpus"
  fi
  [ "$seconds" != 0 ] && args+=("-max_total_time=$seconds")
  echo "== $target"
  "$build/fuzz/$target" "${args[@]}" "$corpus" $( [ -d "$seeds" ] && echo "$seeds" )
done
