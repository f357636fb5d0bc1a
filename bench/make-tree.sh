#!/usr/bin/env bash
# Creates a large benchmark tree once and reuses it afterwards.
#
#   bash bench/make-tree.sh DIR [FOLDERS] [FILES] [LEVELS]
#
# FOLDERS defaults to 100000, FILES to 1000000 (sparse: they take almost no
# disc space).  Without LEVELS the folders spread at several depths with a
# realistic fan-out and a few dot-folders; with LEVELS every folder sits on
# one of LEVELS levels and all hold the same number of files (deep tree).
# Put the tree outside the repository (bench-scan.sh uses
# ${XDG_CACHE_HOME:-$HOME/.cache}/tovaline-bench).
#
# When the tree is complete, DIR.complete is written beside it holding the
# arguments; a later call with the same arguments returns at once.  A tree
# left half-made (DIR.partial present) is removed and made again.  The
# generator (bench/make-tree.c) is compiled with gcc; no CMake build needed.
set -euo pipefail
if [ $# -lt 1 ] || [ $# -gt 4 ]; then
  echo "usage: bash bench/make-tree.sh DIR [FOLDERS] [FILES] [LEVELS]" >&2
  exit 2
fi
dir=${1%/}
folders=${2:-100000}
files=${3:-1000000}
levels=${4:-}
here=$(cd "$(dirname "$0")" && pwd)
want="folders=$folders files=$files levels=${levels:-0} generator=$(md5sum < "$here/make-tree.c" | cut -c1-12)"

if [ -f "$dir.complete" ] && [ "$(cat "$dir.complete")" = "$want" ] && [ -d "$dir" ]; then
  echo "make-tree: reusing $dir ($want)" >&2
  exit 0
fi
if [ -e "$dir" ]; then
  if [ -f "$dir.partial" ] || [ -f "$dir.complete" ]; then
    echo "make-tree: removing the old tree at $dir" >&2
    rm -rf -- "$dir"
  else
    echo "make-tree: $dir exists and was not made by this script; choose another directory" >&2
    exit 1
  fi
fi
rm -f -- "$dir.complete"

bindir=${TMPDIR:-/tmp}/tovaline-bench-bin-$(id -u)
mkdir -p "$bindir"
gen=$bindir/make-tree
if [ ! -x "$gen" ] || [ "$here/make-tree.c" -nt "$gen" ]; then
  gcc -O2 -o "$gen.tmp.$$" "$here/make-tree.c" -lm
  mv -f "$gen.tmp.$$" "$gen"
fi

mkdir -p "$(dirname "$dir")"
echo "$want" > "$dir.partial"
start=$(date +%s)
"$gen" "$dir" "$folders" "$files" $levels
sync -f "$dir" 2>/dev/null || true
mv -f "$dir.partial" "$dir.complete"
echo "make-tree: $dir made in $(( $(date +%s) - start )) s" >&2
