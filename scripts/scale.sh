#!/usr/bin/env bash
# One gateway process against M unpaced simulated power systems, each on its
# own pseudo-terminal, for M = 1, 50 and 200 (or the counts given). Builds the
# gateway, the plug-in and the simulator in Release (build-bench/) and prints
# cycles per second, CPU time per cycle and resident memory per device beyond
# the first run's (the program's base plus one device when the first M is 1).
#   scripts/scale.sh [M ...]
#   CYCLES=N      polling cycles per device (default 20)
#   MODULES=N     rectifier modules of every simulated system (default 64)
#   DEADLINE=S    seconds a gateway run may take (default 300)
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" = "--help" ]; then
  sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//'
  exit 0
fi
for m in "$@"; do
  [[ "$m" =~ ^[1-9][0-9]*$ ]] || { echo "scale.sh: device count '$m' is not a positive integer" >&2; exit 2; }
done

build_dir=${BENCH_BUILD_DIR:-build-bench}
cycles=${CYCLES:-20}
modules=${MODULES:-64}
deadline=${DEADLINE:-300}
counts=("$@")
((${#counts[@]})) || counts=(1 50 200)

scripts/apt-install.sh libbenchmark-dev python3 time
cmake --preset bench -B "$build_dir" >/dev/null
cmake --build "$build_dir" -j 2 --target qmr4100-gateway qmr4100-sim varnok_qmr4100 >/dev/null
gateway="$build_dir/gateway/qmr4100-gateway"
simulator="$build_dir/sim/qmr4100-sim"

work=$(mktemp -d "${TMPDIR:-/tmp}/qmr4100-scale.XXXXXX")
sim_pids=()
stop_simulators() {
  local pid
  for pid in "${sim_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${sim_pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  sim_pids=()
}
trap 'stop_simulators; rm -rf "$work"' EXIT

# The built-in system with $modules modules and no scripted changes.
"$simulator" --print-default | python3 -c '
import json, sys
s = json.load(sys.stdin)
s["modules"] = [{"value": 500 + i, "states": [0, 0, 0], "status": 0, "skip": 0}
                for i in range(int(sys.argv[1]))]
s["changes"] = []
json.dump(s, sys.stdout)' "$modules" >"$work/scenario.json"

# Starts $1 simulators and writes the gateway configuration for them.
start_simulators() {
  local count=$1 i link tries
  local devices=()
  for ((i = 1; i <= count; i++)); do
    link="$work/dev$i"
    "$simulator" --pty --link "$link" --scenario "$work/scenario.json" >/dev/null 2>&1 &
    sim_pids+=($!)
    devices+=("{\"port\":\"$link\",\"address\":1,\"data_id\":$((1000 + i))}")
  done
  for ((i = 1; i <= count; i++)); do
    for ((tries = 0; tries < 100; tries++)); do
      [ -e "$work/dev$i" ] && break
      sleep 0.1
    done
    [ -e "$work/dev$i" ] || { echo "scale.sh: simulator $i did not open its pty within 10 s" >&2; exit 1; }
  done
  (IFS=,; echo "{\"devices\":[${devices[*]}]}") >"$work/config.json"
}

printf '%d modules per system, %d cycles per device\n\n' "$modules" "$cycles"
printf '%8s  %10s  %12s  %14s  %12s  %s\n' devices seconds cycles/s "CPU µs/cycle" "max RSS KiB" \
  "KiB/device beyond the first run"
base_rss=""
base_count=""
for count in "${counts[@]}"; do
  start_simulators "$count"
  if ! /usr/bin/time -f '%e %U %S %M' -o "$work/time" \
      "$gateway" --config "$work/config.json" --interval 0 --cycles "$cycles" --deadline "$deadline" \
      >"$work/gateway.log" 2>&1; then
    echo "scale.sh: the gateway with $count devices did not finish its cycles; its last lines:" >&2
    tail -5 "$work/gateway.log" >&2
    exit 1
  fi
  stop_simulators
  read -r elapsed user system rss <"$work/time"
  total=$((count * cycles))
  [ -n "$base_rss" ] || { base_rss=$rss; base_count=$count; }
  awk -v n="$count" -v e="$elapsed" -v u="$user" -v s="$system" -v r="$rss" -v t="$total" \
      -v b="$base_rss" -v bn="$base_count" \
    'BEGIN {
       per = n > bn ? sprintf("%.1f", (r - b) / (n - bn)) : "-"
       # /usr/bin/time counts in 10 ms steps: a run shorter than that has no rate
       rate = e > 0 ? sprintf("%.1f", t / e) : "-"
       cpu = u + s > 0 ? sprintf("%.1f", (u + s) * 1e6 / t) : "-"
       printf "%8d  %10.2f  %12s  %14s  %12d  %s\n", n, e, rate, cpu, r, per
     }'
done
