#!/usr/bin/env bash
# Checks that the root's "Space (with subs)" of `tovaline-cli scan` equals what du
# counts for the same tree, once the differences in what the two count are taken out:
#
#   tovaline = du -sbl --apparent-size -x TREE        (every hard link counted, one file system)
#              - du -sbl --apparent-size -x of each outermost dot-folder (skipped by the scan)
#              - the sizes of the remaining directories themselves (a folder holds 0 bytes
#                of its own; du adds each directory's st_size)
#
#   bash bench/check-du.sh [TREE] [TOVALINE_CLI]     (TREE defaults to /usr)
#
# Prints both figures and exits 0 when they agree, 1 otherwise. The tree must not
# change while the check runs.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tree=$(realpath "${1:-/usr}")
cli=${2:-$here/../build/cli/tovaline-cli}

# Root line of the text report: "C:   <space with subs>   ...   <space w/o subs>".
ours=$("$cli" scan --no-ranking -d "C=$tree" C | awk 'NR == 3 && $1 == "C:" { gsub(/\./, "", $2); print $2 }')
du_all=$(du -sbl --apparent-size -x "$tree" | cut -f1)
dots=0
while IFS= read -r -d '' d; do
  dots=$((dots + $(du -sbl --apparent-size -x "$d" | cut -f1)))
done < <(find "$tree" -xdev -mindepth 1 -type d -name '.*' -prune -print0)
dirs=$(find "$tree" -xdev -type d -name '.*' -prune -o -type d -printf '%s\n' | awk '{s += $1} END {print s + 0}')
expected=$((du_all - dots - dirs))
echo "tree:                          $tree"
echo "du -sbl --apparent-size -x:    $du_all"
echo "  minus dot-folders:           $dots"
echo "  minus the directories' own:  $dirs"
echo "  = expected:                  $expected"
echo "tovaline-cli root with subs:   $ours"
if [ "$ours" = "$expected" ]; then
  echo "check-du: equal"
else
  echo "check-du: DIFFERENT by $((ours - expected))"
  exit 1
fi
