#!/usr/bin/env bash
# Benchmark of the file-type statistics: the report of the large generated tree with
# file names stored (100,000 folders, 1,000,000 files), then the copy of the drive
# the statistics read, the statistics of the root and of the largest folder one level
# down, and the 100 largest files of the type with the most bytes.
#
#   bash bench/bench-types.sh [TREE] [RUNS]
#
# TREE defaults to tree-100k in $BENCH_TREES (default
# ${XDG_CACHE_HOME:-$HOME/.cache}/tovaline-bench; made by bench/make-tree.sh when
# missing); RUNS to 7. Builds tovaline-cli and tvl-bench-types (Release, no Qt) into
# build-bench/ and scans the tree once with `tovaline-cli scan -f -o`.
set -euo pipefail
cd "$(dirname "$0")/.."
tree=${1:-${BENCH_TREES:-${XDG_CACHE_HOME:-$HOME/.cache}/tovaline-bench}/tree-100k}
runs=${2:-7}
if [ ! -d "$tree" ]; then
  bash bench/make-tree.sh "$tree"
fi
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTOVALINE_GUI=OFF -DTOVALINE_TESTS=OFF >/dev/null
cmake --build build-bench --target tovaline-cli tvl-bench-types >/dev/null

work=${TMPDIR:-/tmp}/tovaline-bench-types
mkdir -p "$work"
report=$work/large.tvl
build-bench/cli/tovaline-cli scan -f -d "C=$tree" -o "$report" C
build-bench/bench/tvl-bench-types "$report" "$runs"
