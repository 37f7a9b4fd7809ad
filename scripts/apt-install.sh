#!/usr/bin/env bash
# Installs the named Debian packages that are not installed yet, with
# apt-get (as root, or through sudo); names may carry an architecture, e.g.
# libfmt-dev:armhf. Prints nothing when everything is there.
#   usage: scripts/apt-install.sh [--no-install-recommends] PACKAGE...
set -euo pipefail

install_options=()
if [[ ${1:-} == --no-install-recommends ]]; then
  install_options+=("$1")
  shift
fi

native=$(dpkg --print-architecture)
# A name without an architecture means the machine's own (or an "all"
# package): with multiarch, libfmt-dev:armhf alone does not make libfmt-dev.
installed() {
  local name=$1 lines
  lines=$(dpkg-query -W -f='${Status} ${Architecture}\n' "$name" 2>/dev/null || true)
  if [[ $name == *:* ]]; then
    grep -q '^install ok installed ' <<< "$lines"
  else
    grep -qE "^install ok installed ($native|all)\$" <<< "$lines"
  fi
}

missing=()
for p in "$@"; do
  installed "$p" || missing+=("$p")
done
((${#missing[@]})) || exit 0

echo "apt-install: installing ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
# Another apt run on the machine holds the lock for a while; wait for it.
apt_options=(-o DPkg::Lock::Timeout=600)
# A mirror in the middle of a sync serves index files of the wrong size
# for a minute or two; try the update again, and when it still fails go on
# with the indexes already here: the install says so if a package is missing.
apt_options+=(-o Acquire::Retries=3)
for attempt in 1 2 3; do
  "${sudo_cmd[@]}" apt-get "${apt_options[@]}" update -qq && break
  echo "apt-install: index update failed (attempt $attempt of 3)" >&2
  ((attempt == 3)) || sleep $((attempt * 20))
done
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get "${apt_options[@]}" install -y -qq \
  "${install_options[@]}" "${missing[@]}"
