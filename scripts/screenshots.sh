#!/usr/bin/env bash
# Shows the desktop program as users see it and saves screenshots of every window:
# under Xvfb with a real window manager (openbox), at 1280x1024 and at 800x600, once
# with large fonts (QT_SCALE_FACTOR=1.5) and once under a German locale.
#
# For each setting the program is started with a report on its command line (splash,
# load window, main window), then File > New is pressed and the "Create report"
# dialog is answered with key presses (every drive marked, Enter), and the five-step
# window is photographed while the scan runs; closing the window then asks whether to
# save the new scan. A second start with a folder on its command line shows the
# dialog with that folder, and the folder view sorted by size with sizes in units.
#
# Usage: scripts/screenshots.sh [OUTPUT-FOLDER]
#   OUTPUT-FOLDER     where the pictures go (default: <build>/screenshots)
# Environment:
#   BUILD             the build folder (default: build); it needs the targets
#                     tovaline and tovaline-cli
#   DISPLAY_NUMBER    the Xvfb display to use (default: 63)
#   SCAN_ROOT         the folder scanned as drive C (default: /usr); D to H are
#                     folders below or beside it, so the rank view has six drive tabs
#   RUNS              which settings to run (default: "1280x1024 800x600 scale1.5 de_DE")
#   FOLDER            the folder given on the command line of the second start
#                     (default: /usr/share/doc)
# The program runs with its own settings folder inside the output folder, so the
# user's recent-file list is not touched.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build}
out=$(mkdir -p "${1:-$build/screenshots}" && cd "${1:-$build/screenshots}" && pwd)
disp=${DISPLAY_NUMBER:-63}
scan_root=${SCAN_ROOT:-/usr}
app=$(pwd)/$build/app/tovaline
cli=$(pwd)/$build/cli/tovaline-cli
for tool in Xvfb openbox xdotool import; do
  command -v "$tool" >/dev/null || { echo "screenshots.sh: $tool is not installed" >&2; exit 1; }
done
[ -x "$app" ] && [ -x "$cli" ] || { echo "screenshots.sh: build tovaline and tovaline-cli in $build first" >&2; exit 1; }

# Six drives: the scan root and folders that exist on any Debian system.
drive_dirs=("$scan_root" /usr/share /etc /var /opt /usr/include)
letters=(C D E F G H)
map=""
cli_map=()
for i in "${!letters[@]}"; do
  dir=${drive_dirs[$i]}
  [ -d "$dir" ] || dir=$scan_root
  map+="${letters[$i]}=$dir;"
  cli_map+=(-d "${letters[$i]}=$dir")
done
export TOVALINE_DRIVES=${map%;}

report=$out/report.tvl
echo "Creating $report ..."
"$cli" scan -r 100 -f "${cli_map[@]}" -o "$report" "${letters[@]}" >/dev/null
# A baseline of two of the drives, for the comparison's pictures.
baseline=$out/baseline.tvl
"$cli" scan -r 100 -f "${cli_map[@]}" -o "$baseline" E F >/dev/null

if [ "$(locale -a 2>/dev/null | grep -ci '^de_DE\.utf-\?8$')" = 0 ]; then
  localedef -i de_DE -f UTF-8 de_DE.UTF-8 2>/dev/null || echo "screenshots.sh: de_DE.UTF-8 missing; German run uses C" >&2
fi

pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT

# Saves the whole screen as $1.png.
shot() { import -display ":$disp" -window root "$dir/$1.png"; }

# Waits until a visible window whose title matches $1 exists (at most $2 seconds).
# It looks every 20 ms, so that a window that is shown briefly is not missed.
await() {
  local end=$((SECONDS + $2))
  while [ "$SECONDS" -lt "$end" ]; do
    xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 && return 0
    sleep 0.02
  done
  return 1
}

# One run: name, screen size, then environment settings for the program.
run() {
  local name=$1 size=$2
  shift 2
  case " ${RUNS:-1280x1024 800x600 scale1.5 de_DE} " in *" $name "*) ;; *) return 0 ;; esac
  dir=$out/$name
  mkdir -p "$dir"
  rm -f "$dir"/*.png
  echo "== $name ($size)"
  Xvfb ":$disp" -screen 0 "${size}x24" -nolisten tcp >"$dir/xvfb.log" 2>&1 &
  local xvfb=$!
  pids+=("$xvfb")
  export DISPLAY=":$disp"
  for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
  openbox >"$dir/openbox.log" 2>&1 &
  local wm=$!
  pids+=("$wm")
  sleep 1

  env "$@" XDG_CONFIG_HOME="$dir/config" "$app" "$report" >"$dir/program.log" 2>&1 &
  local prog=$!
  pids+=("$prog")
  # A load takes a fraction of a second: as soon as the load window appears the
  # program is stopped for the picture, which then shows whatever the window had
  # painted by then (a window that was never painted shows black).
  ( await '^Loading' 15 && kill -STOP "$prog" && shot 2-load; kill -CONT "$prog" ) &
  local watcher=$!
  sleep 1.5
  shot 1-splash
  await 'report\.tvl - Tovaline$' 30 || { echo "the main window did not appear" >&2; return 1; }
  wait "$watcher" || true
  sleep 1
  shot 3-report
  # Open the first drive's branch and select its first folder, so the file list shows
  # (the folder list has the keyboard when the window opens).
  xdotool key --delay 150 Home Return Down
  sleep 1
  shot 4-report-expanded
  # File > "Compare with report...": the change columns must fit without cutting a
  # number; then "Stop comparing".
  xdotool key alt+f c
  if await '^Compare with report$' 10; then
    sleep 0.5
    xdotool type --delay 20 "$baseline"
    xdotool key Return
    await 'compared with baseline' 20 && sleep 1 && shot 4-compared
    xdotool key alt+f t
    sleep 0.5
  else
    echo "the Compare file dialog did not appear" >&2
  fi

  xdotool key ctrl+n
  await '^Create report$' 10 || { echo "the Create report dialog did not appear" >&2; return 1; }
  sleep 0.5
  shot 5-create-report
  ( await '^Creating report' 15 && shot 6-scan-a && sleep 0.4 && shot 6-scan-b && sleep 0.6 && shot 6-scan-c ) &
  watcher=$!
  xdotool key --delay 80 space Down space Down space Down space Down space Down space Return
  wait "$watcher" || true
  # The scan is over when its window is gone.
  for _ in $(seq 300); do xdotool search --onlyvisible --name '^Creating report' >/dev/null 2>&1 || break; sleep 0.2; done
  sleep 1
  shot 7-scanned
  # A new scan is not thrown away by one click: closing asks whether to save it.
  xdotool key alt+F4
  if await '^Tovaline$' 10; then
    sleep 0.5
    shot 8-close-asks
  else
    echo "closing after the scan asked nothing" >&2
  fi
  kill "$prog" 2>/dev/null || true
  wait "$prog" 2>/dev/null || true

  # Second start, "tovaline FOLDER": the dialog has the folder checked; the folder
  # view then sorts by size (remembered from the settings) with sizes in units, and
  # opens the tree a few levels so that the tree lines show.
  local conf="$dir/config/Local AppWizard-Generated Applications"
  mkdir -p "$conf"
  printf '[View]\nSortColumn=1\nSortDescending=true\nSizesInUnits=true\n' >>"$conf/Tovaline.conf"
  env "$@" XDG_CONFIG_HOME="$dir/config" "$app" "${FOLDER:-/usr/share/doc}" >>"$dir/program.log" 2>&1 &
  prog=$!
  pids+=("$prog")
  if await '^Create report$' 20; then
    sleep 0.5
    shot 9-folder-dialog
    xdotool key Return
    await 'Report - Tovaline' 120 || true
    for _ in $(seq 300); do xdotool search --onlyvisible --name '^Creating report' >/dev/null 2>&1 || break; sleep 0.2; done
    sleep 1
    xdotool key --delay 150 Home Down Return Down Return Down Down
    sleep 1
    shot 10-folder-sorted-units
    # Back to the folder selected before (Alt+Left).
    xdotool key alt+Left
    sleep 0.5
    shot 11-back
  else
    echo "the Create report dialog of a folder did not appear" >&2
  fi

  kill "$prog" "$wm" "$xvfb" 2>/dev/null || true
  wait "$prog" "$wm" "$xvfb" 2>/dev/null || true
  pids=()
}

run 1280x1024 1280x1024
run 800x600 800x600
run scale1.5 1280x1024 QT_SCALE_FACTOR=1.5
run de_DE 1280x1024 LC_ALL=de_DE.UTF-8
echo "Screenshots are in $out"
