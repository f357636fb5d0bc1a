#!/usr/bin/env bash
# Builds the Debian packages tovaline (the desktop program) and tovaline-cli (the
# command-line tool, without Qt) into build/packages/, from the build in build/
# (scripts/build.sh; the programs are stripped into the packages).
#
# Needs dpkg-dev (dpkg-shlibdeps works out the dependencies), desktop-file-utils and
# appstream (the menu entry and the AppStream metadata are checked first); run as
# root, it installs them when they are missing. scripts/check-package.sh tries the
# packages on a fresh Debian 12.
set -euo pipefail
cd "$(dirname "$0")/.."

missing=()
for tool in dpkg-shlibdeps:dpkg-dev desktop-file-validate:desktop-file-utils appstreamcli:appstream; do
  command -v "${tool%%:*}" >/dev/null || missing+=("${tool#*:}")
done
if [ ${#missing[@]} -gt 0 ]; then
  [ "$(id -u)" = 0 ] || { echo "package.sh: please install ${missing[*]}" >&2; exit 1; }
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

desktop-file-validate app/tovaline.desktop
appstreamcli validate --no-net packaging/*.metainfo.xml >/dev/null ||
  { appstreamcli validate --no-net packaging/*.metainfo.xml; exit 1; }

bash scripts/build.sh -DTOVALINE_GUI=ON
if [ ! -x build/app/tovaline ]; then
  echo "package.sh: the desktop program was not built (Qt 6 Widgets missing? see scripts/install-deps.sh)" >&2
  exit 1
fi

out=$(pwd)/build/packages
rm -rf "$out"
mkdir -p "$out"
# Files the packages carry are created with the permissions Debian expects.
umask 022
(cd build && cpack -G DEB -B "$out" >"$out/cpack.log" 2>&1) || { cat "$out/cpack.log" >&2; exit 1; }
rm -rf "$out/_CPack_Packages"
for deb in "$out"/*.deb; do
  echo "$deb"
  dpkg-deb -f "$deb" Package Version Depends | sed 's/^/  /'
done
