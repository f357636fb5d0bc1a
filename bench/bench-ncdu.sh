#!/usr/bin/env bash
# Benchmark of the ncdu export import: `tovaline-cli import` of ncdu's export of the
# large generated tree beside ncdu's own load of it (`ncdu -f EXPORT -o /dev/null`,
# which loads and writes the export again: ncdu has no load-only mode without a
# terminal), and the peak memory of the import beside that of our scan of the tree
# with file names (`scan -f`).
#
#   bash bench/bench-ncdu.sh [TREE] [RUNS] [CLI]
#
# TREE defaults to tree-100k in $BENCH_TREES (default ${XDG_CACHE_HOME:-$HOME/.cache}/
# tovaline-bench; made by bench/make-tree.sh when missing); RUNS to 3. CLI is the
# tovaline-cli to measure (default: a Release build in build-bench/). Needs ncdu and
# GNU time (/usr/bin/time).
set -euo pipefail
cd "$(dirname "$0")/.."
tree=${1:-${BENCH_TREES:-${XDG_CACHE_HOME:-$HOME/.cache}/tovaline-bench}/tree-100k}
runs=${2:-3}
cli=${3:-}
for tool in ncdu /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "bench-ncdu: $tool missing" >&2; exit 2; }
done
[ -d "$tree" ] || bash bench/make-tree.sh "$tree"
if [ -z "$cli" ]; then
  cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTOVALINE_GUI=OFF -DTOVALINE_TESTS=OFF >/dev/null
  cmake --build build-bench --target tovaline-cli >/dev/null
  cli=build-bench/cli/tovaline-cli
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/bench-ncdu.XXXXXX")
trap 'rm -rf "$work"' EXIT
ncdu --ignore-config -e -o "$work/tree.json" "$tree" 2>/dev/null
echo "export: $(stat -c %s "$work/tree.json") bytes"

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
# Wall seconds and peak kB of one run of a command.
measure() {
  /usr/bin/time -f "%e %M" -o "$work/time" "$@" >/dev/null 2>&1
  cat "$work/time"
}
for i in $(seq "$runs"); do
  measure ncdu --ignore-config -f "$work/tree.json" -o /dev/null >>"$work/ncdu"
  measure "$cli" import "$work/tree.json" -o "$work/out.tvl" >>"$work/import"
done
measure "$cli" scan -f -o "$work/scan.tvl" "$tree/" >>"$work/scan"
n=$(cut -d' ' -f1 "$work/ncdu" | median)
t=$(cut -d' ' -f1 "$work/import" | median)
echo "ncdu -f load:          ${n} s, peak $(cut -d' ' -f2 "$work/ncdu" | median) kB"
echo "tovaline-cli import:   ${t} s, peak $(cut -d' ' -f2 "$work/import" | median) kB  ($(awk -v a="$t" -v b="$n" 'BEGIN {printf "%.2f", a / b}') x ncdu)"
echo "tovaline-cli scan -f:  $(cut -d' ' -f1 "$work/scan") s, peak $(cut -d' ' -f2 "$work/scan") kB"
