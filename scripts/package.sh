#!/usr/bin/env bash
# Builds the Debian packages varnok-qmr4100 and qmr4100-tools with CPack into
# dist/ for each ARCH (default: amd64 armhf arm64) and checks them with
# lintian. amd64 is built in build/, the others in build-ARCH/ (scripts/cross.sh
# installs their toolchains); every build gets prefix /usr and manual pages.
#   usage: scripts/package.sh [ARCH...]
#   env:   LINTIAN=0 (skip lintian), BUILD_JOBS (default 2)
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ ${1:-} == --help || ${1:-} == -h ]]; then
  sed -n '2,8p' "$0" | sed 's/^# \{0,1\}//'
  exit 0
fi
arches=("$@")
((${#arches[@]})) || arches=(amd64 armhf arm64)
native=$(dpkg --print-architecture)
jobs=${BUILD_JOBS:-2}

tools=(dpkg-dev help2man)
[[ ${LINTIAN:-1} == 0 ]] || tools+=(lintian)
scripts/apt-install.sh "${tools[@]}"

# Configures and builds one architecture; prints its build folder.
build_for() {
  local arch=$1 dir
  if [[ $arch == "$native" ]]; then
    dir=${BUILD_DIR:-build}
    # A build folder of its own keeps its test settings; a new one needs no tests.
    local tests=()
    [[ -f $dir/CMakeCache.txt ]] || tests=(-DQMR_BUILD_TESTS=OFF)
    BUILD_DIR=$dir scripts/setup.sh "${tests[@]}" > /dev/null
  else
    dir=build-$arch
    CROSS_BUILD_ONLY=1 scripts/cross.sh "$arch" > /dev/null
  fi
  # Debian's library folder, lib/<triplet>, also for a folder configured before;
  # typed STRING, as cmake would make a relative PATH absolute.
  local libdir
  libdir=lib/$(dpkg-architecture -a"$arch" -qDEB_HOST_MULTIARCH 2> /dev/null)
  cmake -S . -B "$dir" -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_INSTALL_LIBDIR:STRING="$libdir" \
    -DQMR_BUILD_MANPAGES=ON > "$dir.package.log" 2>&1 ||
    { cat "$dir.package.log" >&2; return 1; }
  cmake --build "$dir" -j "$jobs" >> "$dir.package.log" 2>&1 ||
    { tail -40 "$dir.package.log" >&2; return 1; }
  echo "$dir"
}

# dpkg-shlibdeps looks for a foreign architecture's libraries only when told
# that architecture.
package_in() {
  local arch=$1 dir=$2
  rm -rf "$dir/cpack"
  DEB_HOST_ARCH=$arch cpack --config "$dir/CPackConfig.cmake" -B "$dir/cpack" \
    > "$dir/cpack.log" 2>&1 || { cat "$dir/cpack.log" >&2; return 1; }
  mkdir -p dist
  rm -f dist/*_"$arch".deb
  cp "$dir"/cpack/*_"$arch".deb dist/
}

for arch in "${arches[@]}"; do
  case $arch in
    amd64 | armhf | arm64) ;;
    *) echo "package.sh: ARCH must be amd64, armhf or arm64, got '$arch'" >&2; exit 2 ;;
  esac
  start=$SECONDS
  dir=$(build_for "$arch")
  package_in "$arch" "$dir"
  for deb in dist/*_"$arch".deb; do
    echo "package.sh: $deb $(stat -c %s "$deb") bytes"
  done
  if [[ ${LINTIAN:-1} != 0 ]]; then
    # Errors fail the build; the warnings accepted are listed in README.md.
    lintian --fail-on error dist/*_"$arch".deb
  fi
  echo "package.sh: $arch packaged in $((SECONDS - start)) s"
done
