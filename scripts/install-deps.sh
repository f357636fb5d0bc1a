#!/usr/bin/env bash
# Installs what building and testing Tovaline needs on Debian 12 (run as root).
# Packages already present are left as they are.
set -euo pipefail
# libopenmpi-dev and openmpi-bin: tovaline-mpi and its tests under mpirun.
pkgs=(cmake ninja-build g++ libgtest-dev libcli11-dev qt6-base-dev libgl-dev libx11-dev locales zlib1g-dev nlohmann-json3-dev shared-mime-info ncdu gdu libopenmpi-dev openmpi-bin)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
