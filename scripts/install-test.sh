#!/usr/bin/env bash
# Installs the amd64 packages from dist/ on this machine (making them with
# scripts/package.sh amd64 when missing), runs the installed gateway from
# PATH on its simulator, checks the files refer to nothing in the build tree,
# verifies the systemd unit where systemd-analyze exists, and removes the
# packages again (also when a check fails).
#   usage: scripts/install-test.sh
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ ${1:-} == --help || ${1:-} == -h ]]; then
  sed -n '2,7p' "$0" | sed 's/^# \{0,1\}//'
  exit 0
fi
arch=$(dpkg --print-architecture)
shopt -s nullglob
debs=(dist/varnok-qmr4100_*_"$arch".deb dist/qmr4100-tools_*_"$arch".deb)
if ((${#debs[@]} != 2)); then
  LINTIAN=${LINTIAN:-0} scripts/package.sh "$arch"
  debs=(dist/varnok-qmr4100_*_"$arch".deb dist/qmr4100-tools_*_"$arch".deb)
fi

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
# apt-get hands the files to dpkg -i; unlike dpkg alone it waits for another
# package run on the machine to finish.
apt_options=(-o DPkg::Lock::Timeout=600 -y -qq)
remove() {
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get "${apt_options[@]}" purge \
    qmr4100-tools varnok-qmr4100 > /dev/null || true
}
trap remove EXIT
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get "${apt_options[@]}" install \
  "${debs[@]/#/./}" > /dev/null

failed=0
check() {
  local what=$1
  shift
  if "$@"; then echo "install-test: $what: ok"; else echo "install-test: $what: FAILED" >&2; failed=1; fi
}

multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
work=$(mktemp -d)
trap 'remove; rm -rf "$work"' EXIT
# A bare environment: the programs must find their plug-in and runtime alone.
run() { (cd "$work" && env -i PATH=/usr/bin:/bin HOME="$work" "$@"); }

check "gateway on PATH is the installed one" \
  test "$(run sh -c 'command -v qmr4100-gateway')" = /usr/bin/qmr4100-gateway
check "--version of every program" \
  bash -c "[[ \$(qmr4100-gateway --version) == 'qmr4100-gateway '* && \$(qmr4100-sim --version) == 'qmr4100-sim '* &&
              \$(qmr4100ctl --version) == 'qmr4100ctl '* ]]"
check "alerting rules and dashboard in /usr/share/qmr4100" \
  test -f /usr/share/qmr4100/qmr4100-alerts.yml -a -f /usr/share/qmr4100/qmr4100-dashboard.json
check "default plug-in is the installed one" \
  bash -c "qmr4100-gateway --help | grep -q '/usr/lib/$multiarch/qmr4100/plugins/varnok_qmr4100.so'"
check "host runtime is private, found through RUNPATH" \
  bash -c "readelf -d /usr/bin/qmr4100-gateway | grep -q 'RUNPATH.*\[/usr/lib/$multiarch/qmr4100\]' &&
           test -f /usr/lib/$multiarch/qmr4100/libsmdhost.so && ! test -e /usr/lib/$multiarch/libsmdhost.so"
run qmr4100-gateway --simulate --cycles 2 > "$work/run.txt" 2>&1 || true
check "gateway --simulate --cycles 2 from PATH" grep -q "cycle 2 published" "$work/run.txt"
check "no installed file names the build tree" \
  bash -c "! dpkg -L varnok-qmr4100 qmr4100-tools | while read -r f; do [ -f \"\$f\" ] && echo \"\$f\"; done |
           xargs grep -l -F '$PWD'"
check "example configuration is a conffile" \
  bash -c "dpkg-query -W -f='\${Conffiles}' qmr4100-tools | grep -q /etc/qmr4100/gateway.json"
if command -v systemd-analyze > /dev/null; then
  check "systemd-analyze verify" systemd-analyze verify /lib/systemd/system/qmr4100-gateway.service
else
  echo "install-test: systemd-analyze is not installed; the unit is not verified"
fi

remove
trap 'rm -rf "$work"' EXIT
check "packages removed" bash -c "! command -v qmr4100-gateway > /dev/null && ! test -e /etc/qmr4100/gateway.json"
if ((failed)); then
  tail -20 "$work/run.txt" >&2
  exit 1
fi
echo "install-test: passed"
