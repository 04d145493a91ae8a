#!/usr/bin/env bash
# Regenerates the bundled sample run samples/Line1HHMM.FdcCapt: three minute files of a 500K
# line, 11:59 to 12:01 (the hour rolls over between the first two), with a little damage in the
# middle file: stray bytes that make the reader resynchronise, a burst of malformed telegrams,
# and its last record split across into the third file. The same fdcgen gives the same bytes.
#
# Usage: tools/make_samples.sh [FDCGEN]
#   FDCGEN defaults to build/tools/fdcgen, which is built first if it is missing.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
fdcgen="${1:-$root/build/tools/fdcgen}"
if [[ ! -x "$fdcgen" ]]; then
  cmake -S "$root" -B "$root/build" -G Ninja >/dev/null
  cmake --build "$root/build" --target fdcgen
fi

rm -f "$root"/samples/Line1????.FdcCapt
cd "$root"
"$fdcgen" --out samples/Line1 --start 1159 --minutes 3 --baud 500K --seed 1 \
  --records-per-minute 2000 --ip 192.168.0.5 --module Line1 --damage garbage,malformed,split
