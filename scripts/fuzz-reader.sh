#!/usr/bin/env bash
# Fuzzes the report file reader with libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer for a bounded time.
#
#   bash scripts/fuzz-reader.sh [--ncdu] [SECONDS] [JOBS]
#
# With --ncdu it fuzzes the ncdu export reader instead (target fuzz_ncdu_reader, seeds
# made by 'tovaline-cli scan --ncdu', by ncdu -o when it is installed, and compressed
# ones; corpus and findings in build-fuzz/corpus-ncdu and build-fuzz/findings-ncdu).
#
# SECONDS defaults to 600. Needs clang (Debian: clang, libclang-rt-dev). Builds into
# build-fuzz/, makes a seed corpus of valid reports with tovaline-cli (with and
# without rankings and file names, several drives, odd names), keeps the growing
# corpus in build-fuzz/corpus and any crashing input in build-fuzz/findings/.
# Exit status 0 when nothing was found.
set -euo pipefail
cd "$(dirname "$0")/.."
target=fuzz_report_reader suffix=
if [ "${1:-}" = --ncdu ]; then
  target=fuzz_ncdu_reader suffix=-ncdu
  shift
fi
seconds=${1:-600}
jobs=${2:-1}
cxx=$(command -v clang++ || command -v clang++-14 || true)
if [ -z "$cxx" ]; then
  echo "fuzz-reader: clang++ not found" >&2
  exit 2
fi
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined"
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER="$cxx" \
  -DCMAKE_CXX_FLAGS="$flags" -DTOVALINE_GUI=OFF -DTOVALINE_FUZZ=ON >/dev/null
cmake --build build-fuzz --target "$target" tovaline-cli

seeds=build-fuzz/seeds$suffix
corpus=corpus$suffix findings=findings$suffix
rm -rf "$seeds" build-fuzz/seed-tree
mkdir -p "$seeds" "build-fuzz/$corpus" "build-fuzz/$findings"
t=build-fuzz/seed-tree
mkdir -p "$t/c/a/b/deep" "$t/c/Empty" "$t/c/caf$(printf '\xe9')" "$t/d/x" "$t/d/X"
head -c 300 /dev/zero > "$t/c/a/one"
head -c 70 /dev/zero > "$t/c/a/b/two"
head -c 5 /dev/zero > "$t/c/caf$(printf '\xe9')/$(printf 'n\xffme')"
: > "$t/c/zero"
head -c 900 /dev/zero > "$t/d/x/big"
cli=build-fuzz/cli/tovaline-cli
drives=(-d "C=$t/c" -d "D=$t/d")
"$cli" scan "${drives[@]}" -o "$seeds/plain.tvl" C
"$cli" scan "${drives[@]}" -f -o "$seeds/files.tvl" C D
"$cli" scan "${drives[@]}" --no-ranking -o "$seeds/noranking.tvl" C D
"$cli" scan "${drives[@]}" --no-ranking -f -o "$seeds/files-noranking.tvl" D
"$cli" scan "${drives[@]}" -r 2 -f -o "$seeds/r2.tvl" C D
if [ -n "$suffix" ]; then
  rm -f "$seeds"/*.tvl
  ln "$t/c/a/one" "$t/c/a/b/one-link"
  "$cli" scan "${drives[@]}" -f --ncdu "$seeds/files.json" C
  "$cli" scan "${drives[@]}" --disc-usage --ncdu "$seeds/nonames.json" C D
  if command -v ncdu >/dev/null; then
    ncdu --ignore-config -e -o "$seeds/ncdu.json" "$t" 2>/dev/null
    gzip -c "$seeds/ncdu.json" > "$seeds/ncdu.json.gz"
  fi
fi

export ASAN_OPTIONS=allocator_may_return_null=0:detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# Several jobs write their logs as fuzz-N.log into the current directory: build-fuzz.
parallel=()
if [ "$jobs" -gt 1 ]; then parallel=(-jobs="$jobs" -workers="$jobs"); fi
status=0
(cd build-fuzz && "tests/fuzz/$target" "$corpus" "seeds$suffix" "${parallel[@]}" \
  -max_total_time="$seconds" -rss_limit_mb=2048 -malloc_limit_mb=512 \
  -artifact_prefix="$findings/" -print_final_stats=1) || status=$?
if [ -n "$(ls -A "build-fuzz/$findings")" ]; then
  echo "fuzz-reader: findings in build-fuzz/$findings" >&2
  exit 1
fi
exit "$status"
