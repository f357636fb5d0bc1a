#!/usr/bin/env bash
# Checks that the root's "Space (with subs)" of `tovaline-cli scan` equals what du
# counts for the same tree, once the one difference in what the two count is taken
# out: a folder holds 0 bytes of its own in a report, while du adds each directory's
# own size.
#
#   default (file sizes, hard-linked files once, hidden folders counted):
#     tovaline = du -sb --apparent-size -x TREE  - the directories' st_size
#   --disc-usage (space allocated on disc):
#     tovaline = du -sB1 -x TREE                 - the directories' st_blocks x 512
#
#   bash bench/check-du.sh [--disc-usage] [TREE] [TOVALINE_CLI]   (TREE defaults to /usr)
#
# Prints both figures and exits 0 when they agree, 1 otherwise. The tree must not
# change while the check runs.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
mode=size
if [ "${1:-}" = "--disc-usage" ]; then
  mode=disc
  shift
fi
tree=$(realpath "${1:-/usr}")
cli=${2:-$here/../build/cli/tovaline-cli}

if [ "$mode" = disc ]; then
  scan_opts=(--disc-usage)
  du_opts=(-sB1 -x)
  dir_size='%b\n'   # 512-byte blocks
  dir_unit=512
else
  scan_opts=()
  du_opts=(-sb --apparent-size -x)
  dir_size='%s\n'
  dir_unit=1
fi

# Root line of the text report: "C:   <space with subs>   ...   <space w/o subs>".
ours=$("$cli" scan --no-ranking "${scan_opts[@]}" -d "C=$tree" C |
  awk '$1 == "C:" && !done { gsub(/\./, "", $2); print $2; done = 1 }')
du_all=$(du "${du_opts[@]}" "$tree" | cut -f1)
# The directories du counts: those on the tree's own file system.
dirs=$(find "$tree" -xdev -type d -printf "$dir_size" | awk -v u="$dir_unit" '{s += $1 * u} END {printf "%d\n", s}')
expected=$((du_all - dirs))
echo "tree:                            $tree"
echo "du ${du_opts[*]} TREE:  $du_all" | awk '{printf "%-32s %s\n", substr($0, 1, index($0, ":")), $NF}'
echo "  minus the directories' own:    $dirs"
echo "  = expected:                    $expected"
echo "tovaline-cli root with subs:     $ours"
if [ "$ours" = "$expected" ]; then
  echo "check-du: equal"
else
  echo "check-du: DIFFERENT by $((ours - expected))"
  exit 1
fi
