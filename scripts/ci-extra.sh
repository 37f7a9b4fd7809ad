#!/usr/bin/env bash
# The robustness checks in a CI-sized form: every fuzz target for a short
# time, the whole suite under ASan+UBSan, the gateway's end-to-end tests under
# TSan, a short soak, a short SIGKILL cache run, disk faults, a valgrind run,
# the SNMP sub-agent against a real Net-SNMP, the HTTP server against a real
# Prometheus and a real browser, the alerting rules' tests and every dashboard
# query against a real Prometheus; then the armhf build with its suite
# under qemu (whole programs left out), the arm64 build of the plug-in with
# its driver, golden and export tests under qemu, the amd64 and armhf packages with lintian, and the
# install test of the amd64 packages. Each step runs even when an earlier one
# failed; the script fails if any did.
#   usage: scripts/ci-extra.sh
#   env:   FUZZ_SECONDS (default 10), SOAK_CYCLES (default 300),
#          CACHE_KILLS (default 30), BUILD_DIR (plain build, default build)
set -uo pipefail
cd "$(dirname "$0")/.."

if [[ ${1:-} == --help || ${1:-} == -h ]]; then
  sed -n '2,12p' "$0" | sed 's/^# \{0,1\}//'
  exit 0
fi

passed=0
failed=0
skipped=0
# Exit status 77 is a skip: the cross builds when the Debian archive cannot
# give the architecture's packages. Said loudly, not counted as passed.
step() {
  local name=$1
  shift
  local start=$SECONDS status=0
  echo "=== $name"
  "$@" || status=$?
  if ((status == 0)); then
    passed=$((passed + 1))
    echo "=== $name: passed in $((SECONDS - start)) s"
  elif ((status == 77)); then
    skipped=$((skipped + 1))
    echo "=== $name: SKIPPED after $((SECONDS - start)) s (the archive cannot give its packages)"
  else
    failed=$((failed + 1))
    echo "=== $name: FAILED after $((SECONDS - start)) s"
  fi
}

# The armhf package from the armhf build of the step before; none without it.
package_armhf() {
  [[ -f build-armhf/CMakeCache.txt ]] || return 77
  scripts/package.sh armhf
}

step "fuzz targets" scripts/fuzz.sh "${FUZZ_SECONDS:-10}"
step "ASan+UBSan suite" scripts/sanitize.sh address
step "TSan gateway end-to-end" scripts/sanitize.sh thread
step "soak" scripts/soak.sh "${SOAK_CYCLES:-300}"
step "cache SIGKILL" python3 scripts/cache-kill.py "${CACHE_KILLS:-30}"
step "disk full, read-only cache, record folder removed" python3 scripts/disk-faults.py
step "valgrind" scripts/valgrind.sh
step "SNMP sub-agent" python3 scripts/snmp-check.py
step "HTTP: promtool, Prometheus, Chromium" scripts/http-check.sh
step "Prometheus rules and Grafana dashboard queries" scripts/prometheus-rules-check.sh
# armhf in CI size: everything built (the package step uses it), every test
# but those that start whole programs (label "program"), which under
# emulation mostly wait for their timeouts.
step "armhf build, suite under qemu without the program runs" scripts/cross.sh armhf -LE program
# arm64 in CI size: the plug-in and its tests, not the gateway and simulator.
step "arm64 build, driver, golden and export tests under qemu" \
  env CROSS_TARGETS="varnok_qmr4100 driver_test plugin_test golden_test" \
  scripts/cross.sh arm64 -L 'driver|golden'
step "package amd64, lintian" scripts/package.sh amd64
step "package armhf, lintian" package_armhf
step "install test of the amd64 packages" scripts/install-test.sh

echo "ci-extra: $SECONDS s"
echo "ci-extra: $passed passed, $failed failed, $skipped skipped"
((failed == 0))
