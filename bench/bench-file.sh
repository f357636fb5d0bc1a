#!/usr/bin/env bash
# Benchmark of the report file: Open and Save of the report of the large generated
# tree with file names stored, beside `cat FILE >/dev/null` on the same file.
#
#   bash bench/bench-file.sh [TREE] [RUNS]
#
# TREE defaults to tree-100k in $BENCH_TREES (default ${XDG_CACHE_HOME:-$HOME/.cache}/tovaline-bench; made by bench/make-tree.sh with its
# defaults when missing: 100,000 folders, 1,000,000 files); RUNS to 5. Builds
# tovaline-cli and tvl-bench-file (Release, no Qt) into build-bench/, scans the tree
# once with `tovaline-cli scan -f -o`, then RUNS times: cat the file, open it, open
# and save it. Prints the medians and the ratios to cat's time, and the peak memory
# of the open report beside that of the scan that made it.
#
# Wall times come from bash's EPOCHREALTIME; peak memory from GNU time
# (/usr/bin/time, Debian package `time`; benchmarks are not run by CI, so it is not in
# scripts/install-deps.sh: install it yourself when missing).
set -euo pipefail
cd "$(dirname "$0")/.."
tree=${1:-${BENCH_TREES:-${XDG_CACHE_HOME:-$HOME/.cache}/tovaline-bench}/tree-100k}
runs=${2:-5}
if [ ! -x /usr/bin/time ]; then
  echo "bench-file: /usr/bin/time missing (apt-get install time)" >&2
  exit 2
fi
if [ ! -d "$tree" ]; then
  bash bench/make-tree.sh "$tree"
fi
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTOVALINE_GUI=OFF -DTOVALINE_TESTS=OFF >/dev/null
cmake --build build-bench --target tovaline-cli tvl-bench-file >/dev/null

work=${TMPDIR:-/tmp}/tovaline-bench-file
mkdir -p "$work"
report=$work/large.tvl
copy=$work/copy.tvl
cli=build-bench/cli/tovaline-cli
prog=build-bench/bench/tvl-bench-file

now() { echo "${EPOCHREALTIME/./}"; } # microseconds
median() { sort -g | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }

/usr/bin/time -f '%e %M' -o "$work/scan.time" "$cli" scan -f -d "C=$tree" -o "$report" C
read -r scan_s scan_kb < "$work/scan.time"
size=$(stat -c %s "$report")
echo "report: $report, $size bytes; scan -f -o: ${scan_s} s, peak ${scan_kb} KiB"

cat_t=() open_t=() open_in=() open_kb=() save_in=()
for ((i = 1; i <= runs; i++)); do
  t=$(now); cat "$report" >/dev/null; cat_t+=($(( $(now) - t )))
  t=$(now)
  out=$(/usr/bin/time -f '%M' -o "$work/open.time" "$prog" open "$report")
  open_t+=($(( $(now) - t )))
  open_kb+=("$(cat "$work/open.time")")
  open_in+=("$(sed 's/.*open_s=\([0-9.]*\).*/\1/' <<<"$out")")
  out=$("$prog" save "$report" "$copy")
  save_in+=("$(sed 's/.*save_s=\([0-9.]*\).*/\1/' <<<"$out")")
  cmp -s "$report" "$copy" || { echo "bench-file: the saved copy differs from the report" >&2; exit 1; }
done

cat_s=$(printf '%s\n' "${cat_t[@]}" | median | awk '{printf "%.4f", $1/1e6}')
open_s=$(printf '%s\n' "${open_t[@]}" | median | awk '{printf "%.4f", $1/1e6}')
openin_s=$(printf '%s\n' "${open_in[@]}" | median)
save_s=$(printf '%s\n' "${save_in[@]}" | median)
openkb=$(printf '%s\n' "${open_kb[@]}" | median)
echo "medians of $runs runs:"
echo "  cat FILE >/dev/null          ${cat_s} s"
echo "  open (whole process)         ${open_s} s   ratio $(awk -v a="$open_s" -v b="$cat_s" 'BEGIN{printf "%.1f", a/b}')x"
echo "  open (OnOpenDocument only)   ${openin_s} s   ratio $(awk -v a="$openin_s" -v b="$cat_s" 'BEGIN{printf "%.1f", a/b}')x"
echo "  save (OnSaveDocument, fsync) ${save_s} s   ratio $(awk -v a="$save_s" -v b="$cat_s" 'BEGIN{printf "%.1f", a/b}')x"
echo "  peak memory: open ${openkb} KiB, scan ${scan_kb} KiB, ratio $(awk -v a="$openkb" -v b="$scan_kb" 'BEGIN{printf "%.2f", a/b}')"
