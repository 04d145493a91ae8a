#!/usr/bin/env bash
# Rewrites the expected output of every golden run (tests/golden/cases.txt) from what fdcdump
# writes now.
#
#   scripts/update-golden.sh [BUILD_DIR]      (default: build)
#
# The golden runs are the record of what the dump looks like. Read the diff of tests/golden/
# line by line before committing it: every changed line must be a change you meant to make. A
# refactoring must leave the diff empty.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
[[ "$build" = /* ]] || build="$root/$build"
cmake -S "$root" -B "$build" -G Ninja > /dev/null
cmake --build "$build" --target fdcdump > /dev/null
fdcdump="$build/cli/fdcdump"

expected="$root/tests/golden/expected"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
rm -f "$expected"/*.dump "$expected"/*.result
mkdir -p "$expected"

cd "$root"
count=0
while read -r name args; do
  [[ -z "$name" || "$name" == \#* ]] && continue
  output="$scratch/$name.txt"
  # shellcheck disable=SC2086  # the arguments are words without blanks
  set +e
  "$fdcdump" --quiet --output "$output" $args > /dev/null 2> "$scratch/stderr"
  status=$?
  set -e
  { echo "exit $status"; cat "$scratch/stderr"; } > "$expected/$name.result"
  [[ -f "$output" ]] && cp "$output" "$expected/$name.dump"
  count=$((count + 1))
done < tests/golden/cases.txt
echo "wrote $count golden runs into tests/golden/expected; now read: git diff -- tests/golden"
