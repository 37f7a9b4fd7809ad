# Shared by the checks that run the gateway on its simulator with a real
# Prometheus scraping it (http-check.sh, prometheus-rules-check.sh). Source it
# from the checkout's top folder with build_dir set; it makes a temporary
# folder $work and, on exit, stops every process started here (by its pid)
# and removes the folder.
#   free_ports N                       N free loopback ports, on one line
#   fetch URL                          the body; fails on anything but 200
#   eventually SECONDS COMMAND...      retries COMMAND until it succeeds
#   start_gateway_on_simulator PORT LOG
#       the simulator as its own process on $work/tty (module 2 in fault,
#       module 3 without communication; log beside LOG), the gateway polling it
#       once a second with labelled values and HTTP on 127.0.0.1:PORT; sets
#       gateway_url and waits until the alarm points of the first cycle are in
#       /metrics
#   start_simulator / stop_simulator
#       the line back / gone (the simulator started again or killed)
#   start_prometheus PORT GATEWAY_PORT LOG [RULES_FILE]
#       scraping the gateway every second; sets prometheus_url and waits
#       until Prometheus answers

work=$(mktemp -d "${TMPDIR:-/tmp}/qmr4100-live.XXXXXX")
live_pids=()
live_cleanup() {
  local pid
  for pid in "${live_pids[@]}"; do kill "$pid" 2> /dev/null || true; done
  for pid in "${live_pids[@]}"; do wait "$pid" 2> /dev/null || true; done
  rm -rf "$work"
}
trap live_cleanup EXIT

free_ports() {
  python3 -c '
import socket, sys
socks = [socket.socket() for _ in range(int(sys.argv[1]))]
for s in socks: s.bind(("127.0.0.1", 0))
print(*[s.getsockname()[1] for s in socks])' "$1"
}

fetch() {
  python3 -c 'import sys, urllib.request
sys.stdout.write(urllib.request.urlopen(sys.argv[1], timeout=5).read().decode())' "$1"
}

eventually() {
  local seconds=$1 i
  shift
  for ((i = 0; i < seconds * 5; i++)); do
    "$@" > /dev/null 2>&1 && return 0
    sleep 0.2
  done
  "$@"
}

start_simulator() {
  "$build_dir/sim/qmr4100-sim" --link "$work/tty" --scenario "$work/scenario.json" \
    >> "$simulator_log" 2>&1 &
  simulator=$!
  live_pids+=("$simulator")
  eventually 20 test -e "$work/tty"
}

stop_simulator() {
  kill "$simulator"
  wait "$simulator" 2> /dev/null || true
}

start_gateway_on_simulator() {
  local port=$1 log=$2
  "$build_dir/sim/qmr4100-sim" --print-default | python3 -c '
import json, sys
s = json.load(sys.stdin)
s["modules"][1]["status"] = 1     # fault
s["modules"][2]["status"] = 254   # no communication
json.dump(s, sys.stdout)' > "$work/scenario.json"
  simulator_log="${log%.log}-sim.log"
  start_simulator
  cat > "$work/gateway.json" <<JSON
{"devices": [{"port": "$work/tty", "address": 1, "data_id": 1000, "name": "hall A"}],
 "interval": 1, "timeout": 1, "http": "127.0.0.1:$port",
 "fields": {"system_value": {"label": "bus voltage", "unit": "V"},
            "module_value": {"label": "rectifier current", "unit": "A"}}}
JSON
  gateway_url="http://127.0.0.1:$port"
  "$build_dir/gateway/qmr4100-gateway" --config "$work/gateway.json" > "$log" 2>&1 &
  live_pids+=($!)
  eventually 20 fetch "$gateway_url/healthz" > /dev/null
  # The alarm points of the first cycle reach the model shortly after it.
  eventually 20 bash -c "python3 -c 'import sys, urllib.request
sys.exit(b\"qmr4100_alarm_active{\" not in urllib.request.urlopen(sys.argv[1]).read())' \
    $gateway_url/metrics"
}

start_prometheus() {
  local port=$1 gateway_port=$2 log=$3 rules=${4:-}
  {
    echo "global:"
    echo "  scrape_interval: 1s"
    echo "  evaluation_interval: 1s"
    [[ -z $rules ]] || printf 'rule_files:\n  - %s\n' "$(realpath "$rules")"
    echo "scrape_configs:"
    echo "  - job_name: qmr4100"
    echo "    static_configs:"
    echo "      - targets: [\"127.0.0.1:$gateway_port\"]"
  } > "$work/prometheus.yml"
  prometheus_url="http://127.0.0.1:$port"
  prometheus --config.file="$work/prometheus.yml" --storage.tsdb.path="$work/tsdb" \
    --web.listen-address="127.0.0.1:$port" > "$log" 2>&1 &
  live_pids+=($!)
  eventually 30 fetch "$prometheus_url/-/ready" > /dev/null
}
