#!/usr/bin/env bash
# Soak: the gateway polls its built-in simulator back to back for CYCLES
# publications (default 2000) with every line fault switched on at a steady
# rate. qmr4100-soak-check reads the record through a FIFO and checks every
# published block byte for byte and every round's alarm point count; the
# gateway's resident memory is sampled throughout. Fails on a wrong
# publication, a dead gateway, or memory growing after warm-up.
#   usage: scripts/soak.sh [CYCLES]
#   env:   BUILD_DIR (default build), FAULTS, SEED (default 1), TIMEOUT (default 0.2 s)
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ ${1:-} == --help || ${1:-} == -h ]]; then
  sed -n '2,9p' "$0" | sed 's/^# \{0,1\}//'
  exit 0
fi
cycles=${1:-2000}
if ! [[ $cycles =~ ^[1-9][0-9]*$ ]]; then
  echo "soak.sh: CYCLES must be a positive whole number, got '$cycles'" >&2
  exit 2
fi
build_dir=${BUILD_DIR:-build}
# Rates per answer. Delay and port-bounce each stall the line for seconds, so
# they come rarely; the rest often enough to meet every step of the cycle.
default_faults=noise:0.02,split:0.02,echo:0.02,error-code:0.005,bad-checksum:0.005,drop:0.003
default_faults+=,count-mismatch:0.005,modules-above-64:0.005,entries-above-50:0.005
default_faults+=,short-answer:0.005,delay:0.0005,port-bounce:0.0005
faults=${FAULTS:-$default_faults}
seed=${SEED:-1}
timeout=${TIMEOUT:-0.2}
# Memory may grow by this much after warm-up (allocator noise), no more.
max_growth_kb=${MAX_GROWTH_KB:-2048}

cmake -S . -B "$build_dir" -DQMR_BUILD_FUZZ=ON > /dev/null
cmake --build "$build_dir" -j "${BUILD_JOBS:-2}" --target qmr4100-gateway qmr4100-soak-check \
  > "$build_dir/soak-build.log" 2>&1 || { tail -40 "$build_dir/soak-build.log" >&2; exit 1; }

work="$build_dir/soak"
rm -rf "$work"
mkdir -p "$work"
"$build_dir/fuzz/qmr4100-soak-check" --write-scenario "$work/scenario.json"
# The record of thousands of rounds runs to gigabytes: it is checked as it is written.
mkfifo "$work/record.fifo"
"$build_dir/fuzz/qmr4100-soak-check" --scenario "$work/scenario.json" \
  --record "$work/record.fifo" > "$work/check.txt" 2>&1 &
checker=$!

start=$(date +%s)
"$build_dir/gateway/qmr4100-gateway" --simulate --scenario "$work/scenario.json" \
  --faults "$faults" --seed "$seed" --cycles "$cycles" --interval 0 --timeout "$timeout" \
  --deadline $((cycles + 120)) --record "$work/record.fifo" --record-trace \
  > "$work/gateway.txt" 2>&1 &
gateway=$!

: > "$work/rss.txt"
while kill -0 "$gateway" 2> /dev/null; do
  awk '/^VmRSS:/ {print $2}' "/proc/$gateway/status" >> "$work/rss.txt" 2> /dev/null || true
  sleep 0.5
done
gateway_rc=0
wait "$gateway" || gateway_rc=$?
checker_rc=0
wait "$checker" || checker_rc=$?
seconds=$(($(date +%s) - start))

mapfile -t rss < "$work/rss.txt"
samples=${#rss[@]}
rss_start=${rss[0]:-0}
rss_warm=${rss[$((samples / 5))]:-0}  # after the first fifth of the run
rss_end=${rss[$((samples > 0 ? samples - 1 : 0))]:-0}

echo "soak: $cycles cycles requested, seed $seed, answer timeout $timeout s, $seconds s"
echo "faults: $faults"
grep -E '^(gateway stopped|simulator:)' "$work/gateway.txt" || true
cat "$work/check.txt"
echo "memory (VmRSS): start $rss_start kB, after warm-up $rss_warm kB, end $rss_end kB" \
  "($samples samples)"

failed=0
if ((gateway_rc != 0)); then
  echo "soak.sh: the gateway exited with $gateway_rc (see $work/gateway.txt)" >&2
  failed=1
fi
if ((checker_rc != 0)); then
  echo "soak.sh: the record check failed" >&2
  failed=1
fi
if ((samples < 5)); then
  echo "soak.sh: too short to judge memory ($samples samples); give more cycles" >&2
elif ((rss_end > rss_warm + max_growth_kb)); then
  echo "soak.sh: memory grew by $((rss_end - rss_warm)) kB after warm-up" >&2
  failed=1
fi
if ((failed == 0)); then echo "soak: passed"; fi
exit "$failed"
