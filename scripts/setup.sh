#!/usr/bin/env bash
# Installs the Debian packages the build needs (only those missing), then
# configures and builds into ${BUILD_DIR:-build}. Extra arguments go to cmake.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(build-essential cmake pkg-config libboost-dev libboost-date-time-dev libjsoncpp-dev
          libcli11-dev libfmt-dev libgtest-dev libgmock-dev libbenchmark-dev python3 time
          clang libclang-rt-14-dev valgrind
          libmosquitto-dev mosquitto mosquitto-clients openssl
          libsnmp-dev snmpd snmp snmptrapd smitools)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"
fi

build_dir=${BUILD_DIR:-build}
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} "$@"
cmake --build "$build_dir" -j "$(nproc)"
