#!/usr/bin/env bash
# Benchmark of the treemap on a report of about a million folders built in memory:
# layout, picture, zoom and hover at 1600x1000 (or the size given). Builds Release
# into build-bench/.
#
#   bash bench/bench-treemap.sh [RUNS] [WIDTHxHEIGHT]
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTOVALINE_TESTS=OFF -DTOVALINE_GUI=OFF >/dev/null
cmake --build build-bench --target tvl-bench-treemap >/dev/null
build-bench/bench/tvl-bench-treemap "${1:-7}" "${2:-1600x1000}"
