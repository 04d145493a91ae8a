#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs them.
#   scripts/fuzz.sh BUILD_DIR TARGET|all SECONDS     (SECONDS 0: until interrupted)
# FDC_WERROR=ON builds with warnings as errors.
# TARGET: capture_run_fuzzer, capture_run_refill, option_file_fuzzer, show_only_fuzzer,
# dp_decoders_fuzzer, record_details_fuzzer, gsd_parser_fuzzer.
set -euo pipefail
build=${1:-build-fuzz}
which=${2:-all}
seconds=${3:-20}
root=$(cd "$(dirname "$0")/.." && pwd)

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DFDC_FUZZ=ON -DFDC_BUILD_UI=OFF \
  -DFDC_BUILD_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFDC_WERROR="${FDC_WERROR:-OFF}" > /dev/null
cmake --build "$build" -j "$(nproc)"

# The targets write their files under /dev/shm and remove them when they end normally; a target
# that is interrupted or stopped by a finding leaves them, so they go here in any case.
cleanup() { rm -rf /dev/shm/fdc_capture_fuzz_* /dev/shm/fdc_option_fuzz_*; }
trap cleanup EXIT

# A seed for the capture run target as its input format has it (byte 0 the options, bytes 1 and 2
# where the files part): a generated three-minute run with damage of RECORDS records a minute.
capture_seed() {
  local file="$1" records="$2" limit="$3" scratch
  scratch=$(mktemp -d)
  "$build/tools/fdcgen" --out "$scratch/run" --start 2359 --minutes 3 --baud 1M5 --seed 9 \
    --records-per-minute "$records" --damage garbage,split,malformed --quiet
  local a b c total
  a=$(stat -c %s "$scratch/run2359.FdcCapt")
  b=$(stat -c %s "$scratch/run0000.FdcCapt")
  c=$(stat -c %s "$scratch/run0001.FdcCapt")
  total=$((a + b + c))
  printf "\\$(printf %03o 0)\\$(printf %03o $((a * 255 / total)))\\$(printf %03o $(((a + b) * 255 / total)))" \
    > "$file"
  cat "$scratch/run2359.FdcCapt" "$scratch/run0000.FdcCapt" "$scratch/run0001.FdcCapt" >> "$file"
  rm -rf "$scratch"
  # libFuzzer would cut a longer seed short, losing its last files.
  if [ "$(stat -c %s "$file")" -gt "$limit" ]; then
    echo "fuzz.sh: the seed $file is longer than $limit bytes" >&2
    rm -f "$file"
    exit 1
  fi
}

# capture_run_refill is the capture run target with inputs of up to 1 MiB, long enough that the
# reader refills its 256 KiB buffer; such inputs take a tenth of a second and more each, so the
# capture run target itself keeps to 64 KiB, where it runs ten times as many inputs and more.
targets=(capture_run_fuzzer capture_run_refill option_file_fuzzer show_only_fuzzer
  dp_decoders_fuzzer record_details_fuzzer gsd_parser_fuzzer)
[ "$which" = all ] || targets=("$which")
for target in "${targets[@]}"; do
  name=${target%_fuzzer}
  program=$target
  corpus="$build/corpus/$name"
  mkdir -p "$corpus"
  seeds=("$root/fuzz/corpus/$name")
  args=(-rss_limit_mb=2048 -timeout=10)
  # The generated seeds stand in a folder of their own: libFuzzer writes to, and removes inputs
  # from, the first folder only.
  generated="$build/seeds/$name"
  case "$name" in
    capture_run)
      # A small run of three minute files: 1 200 records, under 30 KiB.
      args+=(-max_len=65536)
      mkdir -p "$generated"
      [ -f "$generated/small_run" ] || capture_seed "$generated/small_run" 400 65536
      seeds+=("$generated")
      ;;
    capture_run_refill)
      program=capture_run_fuzzer
      args+=(-max_len=1048576)
      mkdir -p "$generated"
      [ -f "$generated/refill_run" ] || capture_seed "$generated/refill_run" 14000 1048576
      seeds=("$root/fuzz/corpus/capture_run" "$generated")
      ;;
  esac
  [ "$seconds" != 0 ] && args+=("-max_total_time=$seconds")
  present=()
  for folder in "${seeds[@]}"; do [ -d "$folder" ] && present+=("$folder"); done
  echo "== $target"
  "$build/fuzz/$program" "${args[@]}" "$corpus" "${present[@]}"
done
