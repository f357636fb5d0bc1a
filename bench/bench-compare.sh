#!/usr/bin/env bash
# Benchmark of the comparison of two reports of the large generated tree.
#
#   bash bench/bench-compare.sh [TREE] [RUNS] [CHANGES]
#
# TREE defaults to ${XDG_CACHE_HOME:-$HOME/.cache}/tovaline-bench/tree-100k (made by
# bench/make-tree.sh with its defaults when missing: 100,000 folders, 1,000,000
# sparse files); RUNS to 5; CHANGES to 3000. Builds tovaline-cli and tvl-bench-compare
# (Release, no Qt) into build-bench/, scans the tree with and without file names,
# then changes CHANGES files (a third grown by 100,000 bytes, a third emptied, a third
# new), scans again and puts the tree back as it was. Then RUNS times, for the reports
# with and without file names: tvl-bench-compare OLD NEW. Prints the medians of the
# comparison's time and of its peak memory against the memory of the two open reports.
set -euo pipefail
cd "$(dirname "$0")/.."
tree=${1:-${XDG_CACHE_HOME:-$HOME/.cache}/tovaline-bench/tree-100k}
runs=${2:-5}
changes=${3:-3000}
if [ ! -d "$tree" ]; then
  bash bench/make-tree.sh "$tree"
fi
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTOVALINE_GUI=OFF -DTOVALINE_TESTS=OFF >/dev/null
cmake --build build-bench --target tovaline-cli tvl-bench-compare >/dev/null

work=${TMPDIR:-/tmp}/tovaline-bench-compare-$(id -u)
mkdir -p "$work"
cli=build-bench/cli/tovaline-cli
prog=build-bench/bench/tvl-bench-compare

"$cli" scan -f -d "C=$tree" -o "$work/old-f.tvl" C
"$cli" scan -d "C=$tree" -o "$work/old.tvl" C

# Change the tree, and put it back on every way out.
find "$tree" -type f -printf '%s %p\n' | awk -v n="$changes" 'NR % int(1000000 / n + 1) == 0' | head -n "$changes" \
  > "$work/changed.list"
restore() {
  while read -r size path; do
    case $path in
      *.tovaline-bench-new) rm -f -- "$path" ;;
      *) truncate -s "$size" -- "$path" ;;
    esac
  done < "$work/changed.list"
}
trap restore EXIT
i=0
while read -r size path; do
  case $(( i % 3 )) in
    0) truncate -s $(( size + 100000 )) -- "$path" ;;
    1) truncate -s 0 -- "$path" ;;
    2) truncate -s 4096 -- "$path.tovaline-bench-new"
       echo "0 $path.tovaline-bench-new" >> "$work/changed.list.new" ;;
  esac
  i=$(( i + 1 ))
done < "$work/changed.list"
cat "$work/changed.list.new" >> "$work/changed.list" && rm -f "$work/changed.list.new"
"$cli" scan -f -d "C=$tree" -o "$work/new-f.tvl" C
"$cli" scan -d "C=$tree" -o "$work/new.tvl" C
restore
trap - EXIT

median() { sort -g | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }
field() { sed "s/.* $1=\([0-9.]*\).*/\1/" <<<" $2"; }
for kind in "" -f; do
  times=() ratios=() peaks=() reports=()
  for ((k = 1; k <= runs; k++)); do
    out=$("$prog" "$work/old$kind.tvl" "$work/new$kind.tvl")
    times+=("$(field compare_s "$out")")
    ratios+=("$(field ratio "$out")")
    peaks+=("$(field peak_kb "$out")")
    reports+=("$(field rss_reports_kb "$out")")
  done
  echo "reports ${kind:-without file names}${kind:+ (file names stored)}: $out"
  echo "  medians of $runs runs: compare $(printf '%s\n' "${times[@]}" | median) s," \
       "two open reports $(printf '%s\n' "${reports[@]}" | median) KiB," \
       "peak $(printf '%s\n' "${peaks[@]}" | median) KiB, ratio $(printf '%s\n' "${ratios[@]}" | median)"
done
