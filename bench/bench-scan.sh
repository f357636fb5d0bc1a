#!/usr/bin/env bash
# Benchmarks a full scan of generated trees: tovaline-cli beside du, ncdu, gdu and a
# minimal floor walker (bench/floor-walker.c: read every directory, stat every entry,
# nothing else), all on the same tree with a warm page cache, several runs each,
# interleaved so that a change of load hits every program alike. Prints the median
# wall time and peak memory of each, and the ratios to the floor and to each peer.
#
#   bash bench/bench-scan.sh [-n RUNS] [-c TOVALINE_CLI] [main|deep|all]
#   bash bench/bench-scan.sh -C [-n RUNS] [-c TOVALINE_CLI]
#
#   main  the large tree: 100,000 folders, 1,000,000 sparse files (bench/make-tree.sh)
#   deep  20,000 folders on 30 levels, 50 files each: deep trees must not serialise
#         the walk
#   -C    cold cache: the large tree with the page cache dropped (sync; echo 3 >
#         /proc/sys/vm/drop_caches) before every single run, so that every program
#         reads the metadata from the device: tovaline-cli scan beside the minimal
#         walker at 2 and 16 threads, du, ncdu and gdu. Needs root; skipped otherwise.
#         Drops the cache for the whole machine: other work slows down meanwhile.
# RUNS defaults to 5 (with -C, 3; never fewer than 3 with -C). TOVALINE_CLI defaults to build/cli/tovaline-cli (a Release or
# RelWithDebInfo build). When bench-desktop-scan was built beside it (build/bench/, by
# cmake --build build --target bench-desktop-scan, with
# the desktop program), the desktop scan (progress window, Qt event pump; offscreen) is
# timed too. Trees go to $BENCH_TREES (default ${XDG_CACHE_HOME:-$HOME/.cache}/tovaline-bench); they are
# made once (a few minutes) and reused.
#
# Needs: GNU time as /usr/bin/time (Debian package "time"), gcc, and the peers du
# (coreutils), ncdu and gdu (Debian packages "ncdu" and "gdu"); a missing peer is left
# out of the table.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
runs=5
cli=$here/../build/cli/tovaline-cli
cold=0
runs_given=0
while getopts "n:c:C" o; do
  case $o in
    n) runs=$OPTARG; runs_given=1 ;;
    c) cli=$OPTARG ;;
    C) cold=1 ;;
    *) echo "usage: bash bench/bench-scan.sh [-C] [-n RUNS] [-c TOVALINE_CLI] [main|deep|all]" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
which=${1:-all}
if [ $cold = 1 ]; then
  [ $runs_given = 1 ] || runs=3
  [ "$runs" -ge 3 ] || runs=3
  which=cold
  if [ "$(id -u)" != 0 ] || [ ! -w /proc/sys/vm/drop_caches ]; then
    echo "bench-scan: the cold-cache mode drops the page cache before every run and needs root; skipped" >&2
    exit 0
  fi
fi
trees=${BENCH_TREES:-${XDG_CACHE_HOME:-$HOME/.cache}/tovaline-bench}

if [ ! -x /usr/bin/time ]; then
  echo "bench-scan: GNU time is missing (apt-get install time)" >&2
  exit 1
fi
if [ ! -x "$cli" ]; then
  echo "bench-scan: $cli not found; build it first or pass -c" >&2
  exit 1
fi
bindir=${TMPDIR:-/tmp}/tovaline-bench-bin-$(id -u)
mkdir -p "$bindir"
floor=$bindir/floor-walker
if [ ! -x "$floor" ] || [ "$here/floor-walker.c" -nt "$floor" ]; then
  gcc -O2 -pthread -o "$floor.tmp.$$" "$here/floor-walker.c"
  mv -f "$floor.tmp.$$" "$floor"
fi
desktop=$(dirname "$cli")/../bench/bench-desktop-scan
threads_opt=0
"$cli" scan --help 2>/dev/null | grep -q -- '--threads' && threads_opt=1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# run_set TREE NAME=COMMAND...: runs every command RUNS times, round robin, and prints
# the table. Each COMMAND is run by bash with stdout and stderr sent to /dev/null.
run_set() {
  local tree=$1; shift
  local names=() cmds=()
  for entry in "$@"; do names+=("${entry%%=*}"); cmds+=("${entry#*=}"); done
  echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
  # Warm the page cache once (cold: empty it before every run instead).
  [ $cold = 1 ] || "$floor" -t 2 "$tree" > /dev/null
  for ((r = 1; r <= runs; r++)); do
    for i in "${!cmds[@]}"; do
      [ $cold = 1 ] && { sync; echo 3 > /proc/sys/vm/drop_caches; }
      /usr/bin/time -f "%e %M" -o "$tmp/t" bash -c "${cmds[$i]}" > /dev/null 2>&1 || {
        echo "bench-scan: '${names[$i]}' failed" >&2; }
      tail -n 1 "$tmp/t" >> "$tmp/r.$i"
    done
  done
  echo "load after:  $(cut -d' ' -f1-3 /proc/loadavg)"
  local med_t=() med_m=()
  for i in "${!cmds[@]}"; do
    med_t[$i]=$(cut -d' ' -f1 "$tmp/r.$i" | sort -g | awk '{a[NR]=$1} END{print (NR%2)?a[(NR+1)/2]:(a[NR/2]+a[NR/2+1])/2}')
    med_m[$i]=$(cut -d' ' -f2 "$tmp/r.$i" | sort -g | awk '{a[NR]=$1} END{print (NR%2)?a[(NR+1)/2]:(a[NR/2]+a[NR/2+1])/2}')
  done
  local floor2=0 floor1=0 best=0
  for i in "${!names[@]}"; do
    [ "${names[$i]}" = "floor 2 threads" ] && floor2=${med_t[$i]}
    [ "${names[$i]}" = "floor 1 thread" ] && floor1=${med_t[$i]}
    case ${names[$i]} in
      floor*) best=$(awk -v a="$best" -v b="${med_t[$i]}" 'BEGIN{print (a == 0 || b < a) ? b : a}') ;;
    esac
  done
  printf "%-34s %9s %11s %9s %9s %11s\n" "program (median of $runs)" "wall s" "peak MiB" "/floor2" "/floor1" "/best floor"
  for i in "${!names[@]}"; do
    awk -v n="${names[$i]}" -v t="${med_t[$i]}" -v m="${med_m[$i]}" -v f2="$floor2" -v f1="$floor1" -v fb="$best" \
      'function r(a, b) { return b > 0 ? sprintf("%.2f", a / b) : "-" }
       BEGIN{printf "%-34s %9.2f %11.1f %9s %9s %11s\n", n, t, m/1024, r(t, f2), r(t, f1), r(t, fb)}'
  done
  # Each tovaline row against each peer.
  for i in "${!names[@]}"; do
    case ${names[$i]} in tovaline*) ;; *) continue ;; esac
    local line="${names[$i]}:"
    for j in "${!names[@]}"; do
      case ${names[$j]} in tovaline*|floor*) continue ;; esac
      line+=$(awk -v a="${med_t[$i]}" -v b="${med_t[$j]}" -v ma="${med_m[$i]}" -v mb="${med_m[$j]}" -v n="${names[$j]%% *}" \
        'BEGIN{printf "  %s time x%.2f mem x%.2f;", n, a/b, ma/mb}')
    done
    echo "$line"
  done
  rm -f "$tmp"/r.*
}

peers() {
  local tree=$1
  echo "du=du -sb --apparent-size '$tree'"
  command -v ncdu > /dev/null && echo "ncdu=ncdu -x -o /dev/null '$tree'"
  command -v gdu > /dev/null && echo "gdu=gdu -n -p -a '$tree'"
  return 0
}

if [ "$which" = main ] || [ "$which" = all ]; then
  tree=$trees/tree-100k
  bash "$here/make-tree.sh" "$tree" 100000 1000000
  echo "== main: $tree (100,000 folders, 1,000,000 files), $(nproc) cores"
  sets=("tovaline-cli scan=$cli scan -r 100 -d C='$tree' C"
        "tovaline-cli scan -f=$cli scan -r 100 -f -d C='$tree' C")
  [ $threads_opt = 1 ] && sets+=("tovaline-cli scan --threads 1=$cli scan -r 100 --threads 1 -d C='$tree' C")
  [ -x "$desktop" ] && sets+=("tovaline desktop scan=QT_QPA_PLATFORM=offscreen '$desktop' '$tree'")
  mapfile -t p < <(peers "$tree")
  run_set "$tree" "${sets[@]}" "${p[@]}" \
    "floor 1 thread=$floor -t 1 '$tree'" "floor 2 threads=$floor -t 2 '$tree'"
fi
if [ "$which" = cold ]; then
  tree=$trees/tree-100k
  bash "$here/make-tree.sh" "$tree" 100000 1000000
  echo "== cold cache: $tree (100,000 folders, 1,000,000 files), $(nproc) cores, page cache dropped before every run"
  sets=("tovaline-cli scan=$cli scan -r 100 -d C='$tree' C")
  [ $threads_opt = 1 ] && sets+=("tovaline-cli scan --threads 16=$cli scan -r 100 --threads 16 -d C='$tree' C")
  mapfile -t p < <(peers "$tree")
  run_set "$tree" "${sets[@]}" "${p[@]}" \
    "floor 2 threads=$floor -t 2 '$tree'" "floor 16 threads=$floor -t 16 '$tree'"
fi
if [ "$which" = deep ] || [ "$which" = all ]; then
  tree=$trees/deep-20k
  bash "$here/make-tree.sh" "$tree" 20001 1000050 30
  echo "== deep: $tree (20,000 folders on 30 levels, 50 files each), $(nproc) cores"
  sets=("tovaline-cli scan=$cli scan -r 100 -d C='$tree' C")
  [ $threads_opt = 1 ] && sets+=("tovaline-cli scan --threads 1=$cli scan -r 100 --threads 1 -d C='$tree' C")
  run_set "$tree" "${sets[@]}" "du=du -sb --apparent-size '$tree'" \
    "floor 1 thread=$floor -t 1 '$tree'" "floor 2 threads=$floor -t 2 '$tree'"
fi
