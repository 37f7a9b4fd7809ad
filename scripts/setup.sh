#!/usr/bin/env bash
# Installs the Debian packages that building and running need (only those
# missing), then configures and builds into ${BUILD_DIR:-build}, saying each
# step on standard error. Extra arguments go to cmake. Test and robustness tools are installed by the
# scripts that use them (test.sh, fuzz.sh, valgrind.sh, bench.sh, cross.sh...).
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${BUILD_DIR:-build}
# One line per step on standard error, which callers that quieten the rest keep.
progress() { echo "setup.sh: $*" >&2; }

progress "1/3 build packages: installing those missing (apt-get)"
scripts/apt-install.sh build-essential cmake pkg-config libboost-dev libboost-date-time-dev \
  libjsoncpp-dev libcli11-dev libfmt-dev libmosquitto-dev libsnmp-dev

progress "2/3 configuring $build_dir/ (cmake)"
cmake --preset default -B "$build_dir" -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} "$@"
progress "3/3 building $build_dir/ with $(nproc) jobs (a first build takes a few minutes)"
cmake --build "$build_dir" -j "$(nproc)"
