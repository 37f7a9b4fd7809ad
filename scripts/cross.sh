#!/usr/bin/env bash
# Cross-builds for ARCH (armhf or arm64) into build-ARCH/ with the toolchain
# file cmake/toolchains/ARCH.cmake and runs the test suite under qemu-user.
# Installs what is missing first: the target architecture in dpkg, Debian's
# cross compilers, the -dev packages as :ARCH and qemu-user.
#   usage: scripts/cross.sh ARCH [CTEST-ARGUMENTS...]
#   env:   CROSS_BUILD_ONLY=1 (build, run no test), BUILD_JOBS (default 2),
#          CROSS_TARGETS="t1 t2" (build only these targets; then pick their
#          tests with ctest arguments, e.g. -L 'golden|driver')
# Every ctest test runs under emulation; README.md lists the checks that run
# natively only (sanitizers, fuzzing, valgrind) and why.
set -euo pipefail
cd "$(dirname "$0")/.."

arch=${1:-}
case $arch in
  armhf | arm64) shift ;;
  -h | --help) sed -n '2,12p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
  *) echo "cross.sh: ARCH must be armhf or arm64, got '$arch'" >&2; exit 2 ;;
esac
jobs=${BUILD_JOBS:-2}
build_dir=build-$arch

foreign=" $(dpkg --print-foreign-architectures | tr '\n' ' ') "
if [[ $foreign != *" $arch "* ]]; then
  echo "cross.sh: adding the architecture $arch to dpkg"
  if [ "$(id -u)" -eq 0 ]; then dpkg --add-architecture "$arch"; else sudo dpkg --add-architecture "$arch"; fi
fi
# Not libsnmp-dev: Debian's has one architecture at a time, so the cross
# builds leave the SNMP sub-agent out.
dev_packages=(libboost-dev libboost-date-time-dev libjsoncpp-dev libfmt-dev libgtest-dev libgmock-dev
              libmosquitto-dev)
# Exit status 77: the archive cannot give this architecture's packages (a
# broken index on the mirror); the caller may count the build as skipped.
scripts/apt-install.sh cmake pkg-config libcli11-dev qemu-user "crossbuild-essential-$arch" \
  "${dev_packages[@]/%/:$arch}" ||
  { echo "cross.sh: the $arch packages cannot be installed from the archive; no $arch build" >&2
    exit 77; }

start=$SECONDS
cmake --preset "$arch" -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" > "$build_dir.configure.log" 2>&1 ||
  { cat "$build_dir.configure.log" >&2; exit 1; }
targets=()
for target in ${CROSS_TARGETS:-}; do targets+=(--target "$target"); done
cmake --build "$build_dir" -j "$jobs" "${targets[@]}" > "$build_dir/build.log" 2>&1 ||
  { grep -E 'error|Error' "$build_dir/build.log" | head -40 >&2; exit 1; }
echo "cross.sh: $arch built in $((SECONDS - start)) s"
[[ ${CROSS_BUILD_ONLY:-0} == 1 ]] && exit 0

start=$SECONDS
ctest --test-dir "$build_dir" --output-on-failure -j "$jobs" "$@"
echo "cross.sh: $arch tests ran in $((SECONDS - start)) s"
