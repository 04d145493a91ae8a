#!/usr/bin/env bash
# Times fdcdump on a saturated 12M capture run of at least 500 MB, beside the time cp takes to
# copy the same capture and dump bytes on this machine in the same run.
#
# Usage: bench/run_bench.sh BUILD_DIR
#   BUILD_DIR holds cli/fdcdump and tools/fdcgen, and also times cli/fdcstat, cli/fdc2pcapng
#   and bench/index_bench when they are there. The run is generated once into bench/data/
#   and kept there; it is made again only when it is missing or its fdcgen arguments change.
#   Every bench/*.opt is timed after the default options.
set -euo pipefail

if [[ $# -ne 1 ]]; then
  echo "Usage: bench/run_bench.sh BUILD_DIR" >&2
  exit 2
fi
build="$(cd "$1" && pwd)"
bench="$(cd "$(dirname "$0")" && pwd)"
fdcgen="$build/tools/fdcgen"
fdcdump="$build/cli/fdcdump"
data="$bench/data"
scratch="$data/scratch"
for tool in "$fdcgen" "$fdcdump"; do
  if [[ ! -x "$tool" ]]; then
    echo "run_bench: $tool not found; build it first" >&2
    exit 2
  fi
done

# Ten minutes of a busy 12M line make about 560 MB.
name="Bench12M"
start="0800"
minutes=10
gen_args=(--out "$name" --start "$start" --minutes "$minutes" --baud 12M --seed 2024 --saturate
          --module "$name")
summary="$data/$name.summary"
first="$data/$name$start.FdcCapt"

# GNU time reports the peak memory of fdcdump.
if [[ ! -x /usr/bin/time ]]; then
  echo "Installing GNU time for peak memory figures..."
  sudo=""
  [[ $(id -u) -eq 0 ]] || sudo="sudo"
  $sudo apt-get install -y -qq time >/dev/null || { $sudo apt-get update -qq && $sudo apt-get install -y -qq time >/dev/null; }
fi

cached() {
  [[ -f "$summary" && "$(head -n 1 "$summary")" == "args ${gen_args[*]}" ]] || return 1
  local file
  while read -r file; do
    [[ -f "$data/$file" ]] || return 1
  done < <(awk '$1 == "file" { print $2 }' "$summary")
}

if ! cached; then
  echo "Generating the capture run in $data (once)..."
  mkdir -p "$data"
  rm -f "$data/$name"????.FdcCapt "$summary"
  t0=$(date +%s%N)
  (cd "$data" && "$fdcgen" "${gen_args[@]}") > "$summary.new"
  t1=$(date +%s%N)
  { echo "args ${gen_args[*]}"; cat "$summary.new"; } > "$summary"
  rm -f "$summary.new"
  awk -v ns=$((t1 - t0)) 'BEGIN { printf "  generated in %.1f s\n", ns / 1e9 }'
fi

records=$(awk '$1 == "records" { print $2 }' "$summary")
capture_bytes=$(awk '$1 == "bytes" { print $2 }' "$summary")
mapfile -t files < <(awk -v dir="$data" '$1 == "file" { print dir "/" $2 }' "$summary")

rm -rf "$scratch"
mkdir -p "$scratch"
trap 'rm -rf "$scratch"' EXIT

# Both fdcdump and cp then read from the page cache.
cat "${files[@]}" > /dev/null

elapsed_ns=0
user_s=0
sys_s=0
peak_kb=0
# Runs a command, keeping its wall time in elapsed_ns, its processor time in user_s (its own
# code) and sys_s (the system's, mostly moving the dump into the page cache), and its peak
# resident memory in peak_kb.
timed() {
  local t0 t1 status=0
  t0=$(date +%s%N)
  /usr/bin/time -f "%M %U %S" -o "$scratch/time.out" "$@" || status=$?
  t1=$(date +%s%N)
  elapsed_ns=$((t1 - t0))
  read -r peak_kb user_s sys_s < <(tail -n 1 "$scratch/time.out")
  return $status
}

awk -v n="${#files[@]}" -v b="$capture_bytes" -v r="$records" -v f="$first" 'BEGIN {
  printf "Capture run: %d minute files, %.1f MB, %d records, from %s\n\n", n, b / 1e6, r, f
  printf "%-34s %9s %13s %15s %10s %10s %9s %9s %14s\n", "", "time", "records/s", "capture MB/s",
         "peak mem", "dump MB", "user", "system", "rec/s of user"
}'

# For cp, records/s is the rate at which it moves the bytes that hold that many records.
report() {  # label, dump bytes or "" when there is no dump
  awk -v label="$1" -v ns="$elapsed_ns" -v r="$records" -v b="$capture_bytes" -v kb="$peak_kb" \
      -v dump="$2" -v user="$user_s" -v sys="$sys_s" 'BEGIN {
    s = ns / 1e9
    printf "%-34s %7.2f s %9.2f M/s %11.1f MB/s %7.1f MB", label, s, r / s / 1e6, b / s / 1e6,
           kb / 1024
    if (dump != "") printf " %10.1f %7.2f s %7.2f s %10.2f M/s", dump / 1e6, user, sys, r / user / 1e6
    printf "\n"
  }'
}

failed=0
default_rate=""
run_dump() {  # label, option file or "", output (default: a file in the scratch folder)
  local label="$1" opt="$2" out="${3:-$scratch/dump.txt}"
  local args=(--quiet --minutes "$minutes" --output "$out")
  [[ -z "$opt" ]] || args=(--opt "$opt" "${args[@]}")
  [[ "$out" == /dev/null ]] || rm -f "$out"
  if ! timed "$fdcdump" "${args[@]}" "$first"; then
    echo "$label: fdcdump failed" >&2
    failed=1
    return
  fi
  if [[ "$out" == /dev/null ]]; then
    report "$label" 0
    return
  fi
  report "$label" "$(stat -c %s "$out")"
  if [[ -z "$opt" ]]; then
    # One core: records per second of the processor time fdcdump's own code takes. The system's
    # share (page cache writes) varies widely between machines and is shown beside it.
    default_rate=$(awk -v u="$user_s" -v r="$records" 'BEGIN { printf "%.2f", r / u / 1e6 }')
    # The dump of the default run is what the cp of dump bytes below copies.
    mv "$out" "$scratch/default-dump.txt"
  else
    rm -f "$out"
  fi
}

run_dump "fdcdump, default options" ""
run_dump "fdcdump, default, to /dev/null" "" /dev/null
for opt in "$bench"/*.opt; do
  [[ -e "$opt" ]] || continue
  run_dump "fdcdump, $(basename "$opt")" "$opt"
done

# The other programs on the same run: the health figures and the Wireshark export.
run_tool() {  # label, target rate in M records/s of user time, command...
  local label="$1" target="$2"
  shift 2
  if ! timed "$@" > /dev/null; then
    echo "$label: failed" >&2
    failed=1
    return
  fi
  report "$label" 0
  awk -v label="$label" -v u="$user_s" -v r="$records" -v t="$target" 'BEGIN {
    rate = r / u / 1e6
    printf "  %s: %.2f M records/s of user time, target %d M/s: %s\n", label, rate, t,
           (rate >= t ? "met" : "NOT met")
  }'
}
stat_tool="$build/cli/fdcstat"
export_tool="$build/cli/fdc2pcapng"
[[ -x "$stat_tool" ]] && run_tool "fdcstat, json" 20 "$stat_tool" --minutes "$minutes" \
  --format json --output /dev/null "$first"
[[ -x "$export_tool" ]] && run_tool "fdc2pcapng, to /dev/null" 10 "$export_tool" --quiet \
  --minutes "$minutes" --output /dev/null "$first"

mkdir -p "$scratch/copy"
timed cp "${files[@]}" "$scratch/copy/"
report "cp of the capture bytes" ""
rm -rf "$scratch/copy"
if [[ -f "$scratch/default-dump.txt" ]]; then
  dump_bytes=$(stat -c %s "$scratch/default-dump.txt")
  dump_lines=$(wc -l < "$scratch/default-dump.txt")
  timed cp "$scratch/default-dump.txt" "$scratch/dump-copy.txt"
  awk -v ns="$elapsed_ns" -v d="$dump_bytes" 'BEGIN {
    printf "%-34s %7.2f s %29.1f MB/s of dump\n", "cp of the default dump bytes", ns / 1e9,
           d / (ns / 1e9) / 1e6
  }'
fi

if [[ -x "$build/bench/index_bench" ]]; then
  echo
  echo "The desktop's record table on the same run (index, first rows, jump, filter pass):"
  "$build/bench/index_bench" "$first" "$minutes" | sed 's/^/  /' || failed=1
fi

echo
if [[ -n "${dump_lines:-}" ]]; then
  echo "Default dump: $dump_lines lines for $records records (each file adds its header block)."
fi
if [[ -n "$default_rate" ]]; then
  awk -v rate="$default_rate" 'BEGIN {
    printf "Target: at least 10 M records/s on one core (user time) with default options: %.2f M/s, %s\n", rate,
           (rate >= 10 ? "met" : "NOT met")
  }'
fi
exit $failed
