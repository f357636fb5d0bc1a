#!/usr/bin/env bash
# Benchmark of the ncdu export import: reading ncdu's export of the large generated
# tree (`tovaline-cli info EXPORT`: the import without writing a report) beside ncdu's
# own load of it (`ncdu -f EXPORT` in a terminal, up to the moment its browser shows
# the totals: `ncdu -f -o` streams without loading, so it is no measure), and the peak
# memory of the import beside that of our scan of the tree with file names (`scan -f`).
# Prints the medians of wall time and CPU time (user + system).
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
for tool in ncdu python3 /usr/bin/time; do
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

# ncdu in a terminal: wall seconds until the totals line shows, then 'q'; CPU seconds
# and peak kB of the whole run.
cat >"$work/load.py" <<'PY'
import os, pty, resource, select, sys, time
start = time.monotonic()
pid, fd = pty.fork()
if pid == 0:
    os.environ["TERM"] = "xterm"
    os.execvp("ncdu", ["ncdu", "--ignore-config", "-f", sys.argv[1]])
seen, loaded = b"", -1.0
while select.select([fd], [], [], 600)[0]:
    try:
        data = os.read(fd, 65536)
    except OSError:
        break
    seen = (seen + data)[-8192:]
    if b"Total disk usage" in seen:
        loaded = time.monotonic() - start
        os.write(fd, b"q")
        break
os.waitpid(pid, 0)
ru = resource.getrusage(resource.RUSAGE_CHILDREN)
print("%.2f %.2f %d" % (loaded, ru.ru_utime + ru.ru_stime, ru.ru_maxrss))
PY
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
# Wall seconds, CPU seconds and peak kB of one run of a command.
measure() {
  /usr/bin/time -f "%e %U %S %M" -o "$work/time" "$@" >/dev/null 2>&1
  awk '{printf "%s %.2f %s\n", $1, $2 + $3, $4}' "$work/time"
}
for i in $(seq "$runs"); do
  python3 "$work/load.py" "$work/tree.json" >>"$work/ncdu"
  measure "$cli" info "$work/tree.json" >>"$work/import"
done
measure "$cli" scan -f -o "$work/scan.tvl" "$tree/" >>"$work/scan"
col() { cut -d' ' -f"$2" "$work/$1" | median; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }
echo "ncdu -f load:          $(col ncdu 1) s wall, $(col ncdu 2) s CPU, peak $(col ncdu 3) kB"
echo "tovaline-cli import:   $(col import 1) s wall, $(col import 2) s CPU, peak $(col import 3) kB" \
  "($(ratio "$(col import 1)" "$(col ncdu 1)") x ncdu's wall time, $(ratio "$(col import 2)" "$(col ncdu 2)") x its CPU time)"
echo "tovaline-cli scan -f:  $(col scan 1) s wall, peak $(col scan 3) kB"
