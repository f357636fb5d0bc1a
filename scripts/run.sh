#!/usr/bin/env bash
# The main job: starts the desktop program when there is a display; without one it
# says so and scans drive C headless with tovaline-cli, printing a summary: folders
# down to level 2, largest first, at most 10 per folder, sizes in binary units, and the
# 20 largest files.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -x build/app/tovaline ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
  exec build/app/tovaline "$@"
fi
echo "No display found: running the same job headless (tovaline-cli scan C, a summary)." >&2
exec build/cli/tovaline-cli scan --depth 2 --sort size --top 10 -h -r 20 C
