#!/usr/bin/env bash
# Benchmark of what tovaline-cli prints: `show` of the report of the large generated
# tree (file names stored) as full text, with the display options of the headless
# summary, sorted by size, as JSON and as the two CSV tables; each to /dev/null.
#
#   bash bench/bench-cli-output.sh [TREE] [RUNS]
#
# TREE defaults to ${XDG_CACHE_HOME:-$HOME/.cache}/tovaline-bench/tree-100k (made by
# bench/make-tree.sh when missing); RUNS to 5. Builds tovaline-cli (Release, no Qt)
# into build-bench/, scans the tree once with `scan -f -o`, then prints the median wall
# time and peak memory (GNU time, Debian package `time`) of each way of showing it,
# beside `cat` of the report file.
set -euo pipefail
cd "$(dirname "$0")/.."
tree=${1:-${XDG_CACHE_HOME:-$HOME/.cache}/tovaline-bench/tree-100k}
runs=${2:-5}
if [ ! -x /usr/bin/time ]; then
  echo "bench-cli-output: /usr/bin/time missing (apt-get install time)" >&2
  exit 2
fi
[ -d "$tree" ] || bash bench/make-tree.sh "$tree"
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTOVALINE_GUI=OFF -DTOVALINE_TESTS=OFF >/dev/null
cmake --build build-bench --target tovaline-cli >/dev/null

work=${TMPDIR:-/tmp}/tovaline-bench-cli-output
mkdir -p "$work"
report=$work/large.tvl
cli=build-bench/cli/tovaline-cli
"$cli" scan -f -d "C=$tree" -o "$report" C

median() { sort -g | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }

measure() { # label, command...
  local label=$1 times=() kbs=()
  shift
  for ((i = 1; i <= runs; i++)); do
    /usr/bin/time -f '%e %M' -o "$work/t" "$@" >/dev/null
    read -r s kb < "$work/t"
    times+=("$s") kbs+=("$kb")
  done
  printf '  %-44s %7s s  %8s KiB\n' "$label" "$(printf '%s\n' "${times[@]}" | median)" \
    "$(printf '%s\n' "${kbs[@]}" | median)"
}

echo "report: $report, $(stat -c %s "$report") bytes; medians of $runs runs (wall, peak memory):"
measure "cat FILE" cat "$report"
measure "show FILE (all folders and files)" "$cli" show "$report"
measure "show --folders-only" "$cli" show --folders-only "$report"
measure "show --sort size --folders-only" "$cli" show --sort size --folders-only "$report"
measure "show --depth 2 --sort size --top 10 -h" "$cli" show --depth 2 --sort size --top 10 -h "$report"
measure "show --json" "$cli" show --json "$report"
measure "show --csv -" "$cli" show --csv - "$report"
measure "show --csv-files -" "$cli" show --csv-files - "$report"
