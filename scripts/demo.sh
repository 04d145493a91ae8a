#!/usr/bin/env bash
# Dumps the bundled sample run with the default option file and shows the start of the dump.
#   scripts/demo.sh BUILD_DIR
set -euo pipefail
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)

first=$(ls "$root"/samples/*.FdcCapt | sort | head -n 1)
count=$(ls "$root"/samples/*.FdcCapt | wc -l)
out_dir="$root/$build/demo"
mkdir -p "$out_dir"
name=$(basename "$first" .FdcCapt)
output="$out_dir/${name}_ORV_PB_All.txt"

echo "Dumping $count minute files from $(basename "$first") with samples/ORV_PB_All.opt"
"$root/$build/cli/fdcdump" --opt "$root/samples/ORV_PB_All.opt" --minutes "$count" \
  --output "$output" "$first"
echo
echo "The dump is $output ($(wc -l < "$output") lines). Its first lines:"
echo
head -n 30 "$output"
echo "..."
