#!/usr/bin/env bash
# The main job: starts the desktop program when there is a display; without one it
# says so and scans drive C headless with tovaline-cli, printing the report.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -x build/app/tovaline ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
  exec build/app/tovaline "$@"
fi
echo "No display found: running the same job headless (tovaline-cli scan C)." >&2
exec build/cli/tovaline-cli scan C
