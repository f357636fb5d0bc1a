#!/usr/bin/env bash
# Builds and runs every test: the full build with its Qt tests (offscreen), the GUI
# tests again under a German locale, then the Qt-free code a second time with
# AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure -j"$(nproc)"
# The desktop program takes the user's locale; its numbers must not. The GUI tests run
# a second time under a locale with a decimal comma.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  localedef -i de_DE -f UTF-8 de_DE.UTF-8 || { echo "cannot generate de_DE.UTF-8 (run as root or install it)" >&2; exit 1; }
fi
LC_ALL=de_DE.UTF-8 ctest --test-dir build --output-on-failure -j"$(nproc)" -R '^gui'
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTOVALINE_GUI=OFF -DTOVALINE_SANITIZE=ON >/dev/null
cmake --build build-asan -j"$(nproc)"
ctest --test-dir build-asan --output-on-failure -j"$(nproc)"
