#!/usr/bin/env bash
# Benchmark of the folder view on a report of about a million folders (written once to
# ${TMPDIR:-/tmp}/tvl-bench-folder-view.tvl): open, expanding a drive row with 100,000 children,
# a full refill, a selection change, collapsing. Builds the desktop targets (Release)
# into build-bench-gui/.
#
#   bash bench/bench-folder-view.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-bench-gui -G Ninja -DCMAKE_BUILD_TYPE=Release -DTOVALINE_TESTS=OFF >/dev/null
cmake --build build-bench-gui --target tvl-bench-folder-view >/dev/null
QT_QPA_PLATFORM=offscreen build-bench-gui/bench/tvl-bench-folder-view "${TMPDIR:-/tmp}/tvl-bench-folder-view.tvl" "${1:-5}"
# The desktop scan beside the headless one, on the large generated tree when it
# exists (bench/make-tree.sh), else on /usr/share.
tree=${BENCH_TREES:-${XDG_CACHE_HOME:-$HOME/.cache}/tovaline-bench}/tree-100k
[ -d "$tree" ] || tree=/usr/share
QT_QPA_PLATFORM=offscreen build-bench-gui/bench/tvl-bench-folder-view --scan "$tree" 5
