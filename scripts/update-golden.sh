#!/usr/bin/env bash
# Rewrites the expected output of every golden run (tests/golden/cases.txt) from what fdcdump,
# fdcstat and fdc2pcapng write now.
#
#   scripts/update-golden.sh [BUILD_DIR]      (default: build)
#
# The golden runs are the record of what the programs write. Read the diff of tests/golden/
# line by line before committing it: every changed line must be a change you meant to make. A
# refactoring must leave the diff empty.
#
# The golden test program writes the files itself (FDC_UPDATE_GOLDEN), so that they are made
# exactly as the test reads them: the same runs, and an export as the same text.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
[[ "$build" = /* ]] || build="$root/$build"
cmake -S "$root" -B "$build" -G Ninja > /dev/null
cmake --build "$build" --target golden_tests > /dev/null

expected="$root/tests/golden/expected"
# The files of a case that is gone, or of an output a case no longer writes, go too.
rm -f "$expected"/*
mkdir -p "$expected"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! FDC_UPDATE_GOLDEN=1 "$build/tests/golden_tests" --gtest_filter='Cases/GoldenRun.*' > "$log"; then
  cat "$log"
  exit 1
fi
# The record details' trees (tests/golden/details), written by their own test program.
cmake --build "$build" --target details_logic_tests > /dev/null
FDC_SOURCE_DIR="$root" FDC_UPDATE_GOLDEN=1 "$build/tests/ui/details_logic_tests" > "$log" || {
  cat "$log"
  exit 1
}
count=$(find "$expected" -name '*.result' | wc -l)
echo "wrote $count golden runs into tests/golden/expected; now read: git diff -- tests/golden"
