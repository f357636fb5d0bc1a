#!/usr/bin/env bash
# Builds and runs every test: the full build with its Qt tests (offscreen) with TMPDIR
# on a tmpfs, the GUI tests again under a German locale, then the Qt-free code a second
# time with AddressSanitizer and UndefinedBehaviorSanitizer, with TMPDIR on disc. A
# tmpfs lists directories in another order than disc file systems do, so results that
# depend on listing order show up in one of the two runs.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
export QT_QPA_PLATFORM=offscreen
# The desktop program takes the user's locale; its numbers must not. The GUI tests run
# a second time under a locale with a decimal comma, and some tests of the main run
# use it too: it is made before any test runs.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  localedef -i de_DE -f UTF-8 de_DE.UTF-8 || { echo "cannot generate de_DE.UTF-8 (run as root or install it)" >&2; exit 1; }
fi

# A folder on a tmpfs for the main run: below /dev/shm when that is a tmpfs, else a
# tmpfs mounted for the run (root only); otherwise the run stays on disc, and says so.
# Like /tmp it is world-writable and sticky (tests act as other users in it).
tmpfs_dir=""
tmpfs_mounted=""
cleanup() {
  if [ -n "$tmpfs_mounted" ]; then umount "$tmpfs_mounted" 2>/dev/null || true; rmdir "$tmpfs_mounted" 2>/dev/null || true; fi
  if [ -n "$tmpfs_dir" ] && [ -z "$tmpfs_mounted" ]; then rm -rf "$tmpfs_dir"; fi
}
trap cleanup EXIT
if [ "$(stat -f -c %T /dev/shm 2>/dev/null)" = tmpfs ] && tmpfs_dir=$(mktemp -d /dev/shm/tvl-tests-XXXXXX 2>/dev/null); then
  chmod 1777 "$tmpfs_dir"
else
  tmpfs_dir=""
  mount_point=$(mktemp -d)
  if mount -t tmpfs -o size=4g,mode=1777 tvl-tests "$mount_point" 2>/dev/null; then
    tmpfs_dir=$mount_point
    tmpfs_mounted=$mount_point
  else
    rmdir "$mount_point"
    echo "test.sh: no tmpfs to be had (/dev/shm is none and mounting one failed); the main run uses TMPDIR on disc" >&2
  fi
fi
if [ -n "$tmpfs_dir" ]; then
  echo "test.sh: main run with TMPDIR=$tmpfs_dir (tmpfs)"
  TMPDIR=$tmpfs_dir ctest --test-dir build --output-on-failure -j"$(nproc)"
else
  ctest --test-dir build --output-on-failure -j"$(nproc)"
fi
LC_ALL=de_DE.UTF-8 ctest --test-dir build --output-on-failure -j"$(nproc)" -R '^gui'
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTOVALINE_GUI=OFF -DTOVALINE_SANITIZE=ON >/dev/null
cmake --build build-asan -j"$(nproc)"
ctest --test-dir build-asan --output-on-failure -j"$(nproc)"
