#!/usr/bin/env bash
# How the scan shared by MPI processes scales: files per second for 1, 2, 4 and 8
# processes (oversubscribed when the machine has fewer cores) on a tree whose every
# open, listing and entry's stat waits a fixed latency, as on a remote file system
# (bench/LatencyFileSystem.h), and tovaline-mpi against tovaline-cli on the real
# benchmark tree.
#
#   bash bench/bench-mpi.sh [-n RUNS] [-t THREADS] [-l OPEN,LIST,STAT] [model|real|all]
#
#   model  a tree of 5,000 folders and 50,000 files, read with the latency OPEN,LIST,STAT
#          microseconds (default 200,200,50) by THREADS readers per process (default 1),
#          through tvl-bench-mpi-scan; each run's report must equal the first's up to
#          the extension block.
#   real   the large benchmark tree (100,000 folders, 1,000,000 files; bench/make-tree.sh)
#          scanned by tovaline-cli and by tovaline-mpi with one process, warm cache.
# RUNS defaults to 3 (the median is shown). Needs a build with -DTOVALINE_MPI=ON
# (scripts/build.sh does it when Open MPI is installed), mpirun, GNU time.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
runs=3
threads=1
latency=200,200,50
while getopts "n:t:l:" opt; do
  case $opt in
    n) runs=$OPTARG ;;
    t) threads=$OPTARG ;;
    l) latency=$OPTARG ;;
    *) exit 2 ;;
  esac
done
shift $((OPTIND - 1))
what=${1:-all}
build=$root/build
cmake --build "$build" --target tvl-bench-mpi-scan tovaline-mpi tovaline-cli >/dev/null
model=$build/bench/tvl-bench-mpi-scan
mpi=$build/mpi/tovaline-mpi
cli=$build/cli/tovaline-cli
for p in "$model" "$mpi" "$cli"; do
  [ -x "$p" ] || { echo "bench-mpi: $p is missing (build with -DTOVALINE_MPI=ON)" >&2; exit 1; }
done
trees=${BENCH_TREES:-${XDG_CACHE_HOME:-$HOME/.cache}/tovaline-bench}
mkdir -p "$trees"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
run_as_root=""
[ "$(id -u)" = 0 ] && run_as_root=--allow-run-as-root
mpirun_n() { mpirun --oversubscribe --bind-to none $run_as_root -np "$1" "${@:2}"; }

# The median of the numbers on standard input.
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# Bytes of a report before its extension block.
before_block() { python3 -c 'import sys; d = open(sys.argv[1], "rb").read(); i = d.rfind(b"TvlFacts"); sys.stdout.buffer.write(d[:i] if i >= 0 else d)' "$1"; }

if [ "$what" = model ] || [ "$what" = all ]; then
  tree=$trees/tree-5k
  bash "$here/make-tree.sh" "$tree" 5000 50000 >/dev/null
  files=$(find "$tree" -type f | wc -l)
  dirs=$(find "$tree" -type d | wc -l)
  echo "Latency model: open, listing, stat of each entry = $latency us; $threads reader(s) per process"
  echo "Tree: $dirs folders, $files files"
  printf "%-10s %10s %14s %10s  %s\n" processes seconds "files/s" speed-up "directories read by each process"
  base=""
  for n in 1 2 4 8; do
    times=()
    for ((i = 0; i < runs; i++)); do
      start=$(date +%s.%N)
      mpirun_n "$n" "$model" --latency "$latency" scan --threads "$threads" -o "$work/m$n.tvl" "$tree" 2>"$work/stats"
      end=$(date +%s.%N)
      times+=("$(echo "$end - $start" | bc -l)")
    done
    t=$(printf "%s\n" "${times[@]}" | median)
    [ -n "$base" ] || base=$t
    if [ -f "$work/m1.tvl" ] && ! cmp -s <(before_block "$work/m1.tvl") <(before_block "$work/m$n.tvl"); then
      echo "bench-mpi: the report of $n processes differs from that of one" >&2
      exit 1
    fi
    read_by=$(grep '^directories read' "$work/stats" | sed 's/.*: //' || true)
    printf "%-10s %10.2f %14.0f %10.2f  %s\n" "$n" "$t" "$(echo "$files / $t" | bc -l)" "$(echo "$base / $t" | bc -l)" "${read_by:-(the scan of tovaline-cli, $threads thread(s))}"
  done
  # The model: with one reader per process everything waits on the latency, so the
  # time is the sum of the waits shared by the reading processes (all but process 0,
  # which records), plus the start of the job.
  IFS=, read -r lo ll ls <<<"$latency"
  wait_s=$(echo "($dirs * ($lo + $ll) + $files * $ls) / 1000000" | bc -l)
  printf "Sum of the waits: %.2f s; with n > 1 processes of %s reader(s) each, the walk takes about that / ((n - 1) x %s)\n" "$wait_s" "$threads" "$threads"
  echo
fi

if [ "$what" = real ] || [ "$what" = all ]; then
  tree=$trees/tree-100k
  bash "$here/make-tree.sh" "$tree" >/dev/null
  echo "Real tree $tree, warm cache, median of $runs runs"
  "$cli" scan -o "$work/warm.tvl" "$tree"
  seconds() { local s e; s=$(date +%s.%N); "$@"; e=$(date +%s.%N); echo "$e - $s" | bc -l; }
  : >"$work/cli.times"; : >"$work/mpi1.times"; : >"$work/mpi2.times"
  for ((i = 0; i < runs; i++)); do
    seconds "$cli" scan -o "$work/c.tvl" "$tree" >>"$work/cli.times"
    seconds mpirun_n 1 "$mpi" scan -o "$work/p1.tvl" "$tree" >>"$work/mpi1.times"
    seconds mpirun_n 2 "$mpi" scan -o "$work/p2.tvl" "$tree" >>"$work/mpi2.times"
  done
  for n in 1 2; do
    cmp -s <(before_block "$work/c.tvl") <(before_block "$work/p$n.tvl") ||
      { echo "bench-mpi: the report of $n process(es) differs from tovaline-cli's" >&2; exit 1; }
  done
  c=$(median <"$work/cli.times")
  m1=$(median <"$work/mpi1.times")
  m2=$(median <"$work/mpi2.times")
  printf "tovaline-cli scan              %6.2f s\n" "$c"
  printf "mpirun -np 1 tovaline-mpi scan %6.2f s  (%.2fx, the start of the job included)\n" "$m1" "$(echo "$m1 / $c" | bc -l)"
  printf "mpirun -np 2 tovaline-mpi scan %6.2f s  (%.2fx)\n" "$m2" "$(echo "$m2 / $c" | bc -l)"
fi
