#!/usr/bin/env bash
# The HTTP server against real clients: the gateway polls the simulator on a
# pseudo-terminal (module 2 in fault, module 3 without communication; labels
# and units configured) with "http" on a free loopback port; promtool checks
# its /metrics; a real Prometheus server scrapes it every second and its HTTP
# API must return qmr4100_up == 1 and the module values; headless Chromium
# loads the live page, whose DOM must show the module table, the labels and
# the fault alarm's Chinese name (scripts/page-check.py). Then the simulator
# goes away: Prometheus must see qmr4100_up == 0 and no system value, the page
# a greyed card "offline since"; and comes back. Screenshots in
# build/http-check/. Installs Prometheus, Chromium and chromedriver (Debian).
#   usage: scripts/http-check.sh      env: BUILD_DIR (default build)
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ ${1:-} == --help || ${1:-} == -h ]]; then
  sed -n '2,12p' "$0" | sed 's/^# \{0,1\}//'
  exit 0
fi

# The browser is driven through chromedriver from Debian's Python (selenium);
# the font shows the alarms' Chinese texts on the screenshot.
bash "$(dirname "$0")/apt-install.sh" --no-install-recommends prometheus chromium chromium-driver python3-selenium \
  fonts-wqy-microhei

build_dir=${BUILD_DIR:-build}
cmake -S . -B "$build_dir" > /dev/null
build_log="$build_dir/http-check-build.log"
cmake --build "$build_dir" -j "${BUILD_JOBS:-2}" --target qmr4100-gateway qmr4100-sim \
  > "$build_log" 2>&1 || { tail -40 "$build_log" >&2; exit 1; }

out="$build_dir/http-check"
rm -rf "$out"
mkdir -p "$out"
source scripts/lib/live-gateway.sh

read -r gateway_port prometheus_port < <(free_ports 2)
start_gateway_on_simulator "$gateway_port" "$out/gateway.log"

echo "== promtool check metrics"
fetch "$gateway_url/metrics" > "$out/metrics.txt"
promtool check metrics < "$out/metrics.txt"

echo "== Prometheus scraping the gateway"
start_prometheus "$prometheus_port" "$gateway_port" "$out/prometheus.log"
# query EXPR [EXPECTED]: the instant query's one result has the value
# EXPECTED; without it, the query has no result.
query() {
  python3 - "$prometheus_url" "$@" <<'PY'
import json, sys, urllib.parse, urllib.request
base, expr, *expected = sys.argv[1:]
url = base + "/api/v1/query?" + urllib.parse.urlencode({"query": expr})
result = json.load(urllib.request.urlopen(url, timeout=5))["data"]["result"]
values = [r["value"][1] for r in result]
print(f"{expr} = {values}")
sys.exit(values != expected)
PY
}
eventually 60 query 'qmr4100_up{data_id="1000"}' 1 && query 'qmr4100_up{data_id="1000"}' 1
query 'qmr4100_module_value{data_id="1000",module="1"}' 12.5
query 'count(qmr4100_module_value{data_id="1000"})' 3
query 'qmr4100_module_fault{data_id="1000",module="2"}' 1
query 'qmr4100_alarm_active{data_id="1000",code="06024"}' 1

echo "== Chromium on the live page"
scripts/page-check.py "$gateway_url/" "$out/page.png"

echo "== the line lost: the device offline, its values not current"
stop_simulator
eventually 60 query 'qmr4100_up{data_id="1000"}' 0 && query 'qmr4100_up{data_id="1000"}' 0
eventually 30 query 'qmr4100_system_value{data_id="1000"}' && query 'qmr4100_system_value{data_id="1000"}'
query 'count(qmr4100_module_value{data_id="1000"})'
scripts/page-check.py "$gateway_url/" "$out/page-offline.png" offline

echo "== the line back"
start_simulator
eventually 60 query 'qmr4100_up{data_id="1000"}' 1 && query 'qmr4100_up{data_id="1000"}' 1
query 'qmr4100_module_value{data_id="1000",module="1"}' 12.5
scripts/page-check.py "$gateway_url/" "$out/page.png"
echo "screenshots: $out/page.png $out/page-offline.png"
echo "http-check: passed"
