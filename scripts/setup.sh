#!/usr/bin/env bash
# Installs the Debian packages that building and running need (only those
# missing), then configures and builds into ${BUILD_DIR:-build}. Extra
# arguments go to cmake. Test and robustness tools are installed by the
# scripts that use them (test.sh, fuzz.sh, valgrind.sh, bench.sh, cross.sh...).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/apt-install.sh build-essential cmake pkg-config libboost-dev libboost-date-time-dev \
  libjsoncpp-dev libcli11-dev libfmt-dev libmosquitto-dev libsnmp-dev

build_dir=${BUILD_DIR:-build}
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} "$@"
cmake --build "$build_dir" -j "$(nproc)"
