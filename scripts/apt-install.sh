#!/usr/bin/env bash
# Installs the named Debian packages that are not installed yet, with
# apt-get (as root, or through sudo); names may carry an architecture, e.g.
# libfmt-dev:armhf. Prints nothing when everything is there.
#   usage: scripts/apt-install.sh PACKAGE...
set -euo pipefail

missing=()
for p in "$@"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ $status == "install ok installed" ]] || missing+=("$p")
done
((${#missing[@]})) || exit 0

echo "apt-install: installing ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
# Another apt run on the machine holds the lock for a while; wait for it.
apt_options=(-o DPkg::Lock::Timeout=600)
"${sudo_cmd[@]}" apt-get "${apt_options[@]}" update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get "${apt_options[@]}" install -y -qq \
  "${missing[@]}"
