#!/usr/bin/env bash
# The main job on the bundled sample run: its text dump with the default option file, its bus
# health report, and its export for Wireshark.
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
echo
echo "The bus health report of the same run (fdcstat):"
echo
"$root/$build/cli/fdcstat" --minutes "$count" "$first" | sed -n '1,/^Live list/p' | head -n -1
pcapng="$out_dir/${name}.pcapng"
"$root/$build/cli/fdc2pcapng" --quiet --minutes "$count" --output "$pcapng" "$first"
echo "For Wireshark: $pcapng (open it with: tshark -X lua_script:wireshark/profibus_fdl.lua -r $pcapng)"
