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
packages=(prometheus chromium chromium-driver python3-selenium fonts-wqy-microhei)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2> /dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "http-check: installing ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" > /dev/null
fi

build_dir=${BUILD_DIR:-build}
cmake -S . -B "$build_dir" > /dev/null
build_log="$build_dir/http-check-build.log"
cmake --build "$build_dir" -j "${BUILD_JOBS:-2}" --target qmr4100-gateway qmr4100-sim \
  > "$build_log" 2>&1 || { tail -40 "$build_log" >&2; exit 1; }

out="$build_dir/http-check"
rm -rf "$out"
mkdir -p "$out"
work=$(mktemp -d "${TMPDIR:-/tmp}/qmr4100-http.XXXXXX")
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2> /dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2> /dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# Two free loopback ports, picked by the system.
read -r gateway_port prometheus_port < <(python3 -c '
import socket
socks = [socket.socket() for _ in range(2)]
for s in socks: s.bind(("127.0.0.1", 0))
print(*[s.getsockname()[1] for s in socks])')

# GET $1; prints the body, fails on anything but 200.
fetch() {
  python3 -c 'import sys, urllib.request
sys.stdout.write(urllib.request.urlopen(sys.argv[1], timeout=5).read().decode())' "$1"
}
# Retries "$@" for up to $1 seconds.
eventually() {
  local seconds=$1
  shift
  for ((i = 0; i < seconds * 5; i++)); do
    "$@" > /dev/null 2>&1 && return 0
    sleep 0.2
  done
  "$@"
}

"$build_dir/sim/qmr4100-sim" --print-default | python3 -c '
import json, sys
s = json.load(sys.stdin)
s["modules"][1]["status"] = 1     # fault
s["modules"][2]["status"] = 254   # no communication
json.dump(s, sys.stdout)' > "$work/scenario.json"

# The simulator as its own process, so that the line can go away and come back.
start_simulator() {
  "$build_dir/sim/qmr4100-sim" --link "$work/tty" --scenario "$work/scenario.json" \
    >> "$out/sim.log" 2>&1 &
  simulator=$!
  pids+=("$simulator")
}
start_simulator
eventually 20 test -e "$work/tty"
cat > "$work/gateway.json" <<JSON
{"devices": [{"port": "$work/tty", "address": 1, "data_id": 1000, "name": "hall A"}],
 "interval": 1, "timeout": 1, "http": "127.0.0.1:$gateway_port",
 "fields": {"system_value": {"label": "bus voltage", "unit": "V"},
            "module_value": {"label": "rectifier current", "unit": "A"}}}
JSON
gateway_url="http://127.0.0.1:$gateway_port"
"$build_dir/gateway/qmr4100-gateway" --config "$work/gateway.json" > "$out/gateway.log" 2>&1 &
pids+=($!)
eventually 20 fetch "$gateway_url/healthz" > /dev/null
# The alarm points of the first cycle reach the model shortly after it.
eventually 20 bash -c "python3 -c 'import sys, urllib.request
sys.exit(b\"qmr4100_alarm_active{\" not in urllib.request.urlopen(sys.argv[1]).read())' \
  $gateway_url/metrics"

echo "== promtool check metrics"
fetch "$gateway_url/metrics" > "$out/metrics.txt"
promtool check metrics < "$out/metrics.txt"

echo "== Prometheus scraping the gateway"
cat > "$work/prometheus.yml" <<YAML
global:
  scrape_interval: 1s
scrape_configs:
  - job_name: qmr4100
    static_configs:
      - targets: ["127.0.0.1:$gateway_port"]
YAML
prometheus --config.file="$work/prometheus.yml" --storage.tsdb.path="$work/tsdb" \
  --web.listen-address="127.0.0.1:$prometheus_port" > "$out/prometheus.log" 2>&1 &
pids+=($!)
# query EXPR [EXPECTED]: the instant query's one result has the value
# EXPECTED; without it, the query has no result.
query() {
  python3 - "http://127.0.0.1:$prometheus_port" "$@" <<'PY'
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
kill "$simulator"
wait "$simulator" 2> /dev/null || true
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
