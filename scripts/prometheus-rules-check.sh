#!/usr/bin/env bash
# The Prometheus alerting rules and the Grafana dashboard against real
# Prometheus: promtool checks the rules and runs their unit tests
# (packaging/prometheus/qmr4100-alerts.test.yml); then the gateway runs on its
# simulator (module 2 in fault, module 3 without communication) with a real
# Prometheus loading the rules and scraping it every second; the alarm point
# alert must fire, and every panel query of packaging/grafana/
# qmr4100-dashboard.json must return series (scripts/dashboard-check.py).
# Installs Prometheus (Debian) when missing.
#   usage: scripts/prometheus-rules-check.sh      env: BUILD_DIR (default build)
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ ${1:-} == --help || ${1:-} == -h ]]; then
  sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//'
  exit 0
fi

scripts/apt-install.sh prometheus
rules=packaging/prometheus/qmr4100-alerts.yml
dashboard=packaging/grafana/qmr4100-dashboard.json

echo "== promtool check rules, test rules"
promtool check rules "$rules"
promtool test rules packaging/prometheus/qmr4100-alerts.test.yml

build_dir=${BUILD_DIR:-build}
cmake -S . -B "$build_dir" > /dev/null
build_log="$build_dir/prometheus-rules-check-build.log"
cmake --build "$build_dir" -j "${BUILD_JOBS:-2}" --target qmr4100-gateway qmr4100-sim \
  > "$build_log" 2>&1 || { tail -40 "$build_log" >&2; exit 1; }

out="$build_dir/prometheus-rules-check"
rm -rf "$out"
mkdir -p "$out"
source scripts/lib/live-gateway.sh

echo "== Prometheus with the rules, scraping the gateway on its simulator"
read -r gateway_port prometheus_port < <(free_ports 2)
start_gateway_on_simulator "$gateway_port" "$out/gateway.log"
start_prometheus "$prometheus_port" "$gateway_port" "$out/prometheus.log" "$rules"

# true when the instant query $1 has a first value of at least $2
at_least() {
  python3 - "$prometheus_url" "$1" "$2" <<'PY'
import json, sys, urllib.parse, urllib.request
base, expr, least = sys.argv[1:]
url = base + "/api/v1/query?" + urllib.parse.urlencode({"query": expr})
result = json.load(urllib.request.urlopen(url, timeout=5))["data"]["result"]
sys.exit(not result or float(result[0]["value"][1]) < float(least))
PY
}
# Enough scrapes for the rates of the panels over a minute.
eventually 60 at_least 'count_over_time(qmr4100_up{data_id="1000"}[1m])' 5
eventually 30 at_least 'count(ALERTS{alertname="QMR4100AlarmActive",alertstate="firing",data_id="1000",code="06024",severity="major"})' 1
echo "QMR4100AlarmActive fires for the module fault's point"

echo "== every panel query of the dashboard"
python3 scripts/dashboard-check.py "$dashboard" "$prometheus_url" 1000
echo "prometheus-rules-check: passed"
