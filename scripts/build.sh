#!/usr/bin/env bash
# Configures and builds into ./build (Release with debug info); tovaline-mpi too when
# Open MPI is installed (libopenmpi-dev and mpirun). Arguments go to cmake.
set -euo pipefail
cd "$(dirname "$0")/.."
mpi=OFF
if dpkg-query -W -f='${Status}' libopenmpi-dev 2>/dev/null | grep -q "install ok installed" && command -v mpirun >/dev/null; then
  mpi=ON
fi
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOVALINE_MPI=$mpi "$@" >/dev/null
cmake --build build -j"$(nproc)"
