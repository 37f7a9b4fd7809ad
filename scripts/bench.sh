#!/usr/bin/env bash
# Builds the benchmarks in Release (build-bench/) and runs them; prints the
# raw report, then one readable table. Extra arguments go to the benchmark
# program, e.g. --benchmark_repetitions=3 or --benchmark_filter=RoundDone.
# Last, the whole gateway process's CPU time per 64-module cycle, polling one
# simulated system back to back (scripts/scale.sh 1).
#   BENCH_JSON=FILE  keep the JSON results there (default build-bench/bench.json)
#   COST_CYCLES=N    cycles of the gateway run (default 2000)
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${BENCH_BUILD_DIR:-build-bench}
json=${BENCH_JSON:-$build_dir/bench.json}

if [ "${1:-}" = "--help" ]; then
  sed -n '2,8p' "$0" | sed 's/^# \{0,1\}//'
  exit 0
fi

scripts/apt-install.sh libbenchmark-dev python3
cmake --preset bench -B "$build_dir" >/dev/null
cmake --build "$build_dir" -j 2 --target qmr4100-bench >/dev/null

"$build_dir/bench/qmr4100-bench" --benchmark_out="$json" --benchmark_out_format=json "$@"

python3 - "$json" <<'PY'
import json, sys

runs = json.load(open(sys.argv[1]))["benchmarks"]
# With repetitions, show the median of each benchmark; otherwise the one run.
medians = [r for r in runs if r.get("aggregate_name") == "median"]
rows = medians or [r for r in runs if r.get("run_type", "iteration") == "iteration"]

scale = {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}  # to microseconds

def cell(value, fmt):
    return "-" if value is None else fmt.format(value)

header = ("benchmark", "real µs/op", "CPU µs/op", "ns/point", "allocs/op", "CPU/wire %")
lines = []
for r in rows:
    us = scale[r["time_unit"]]
    cpu = r["cpu_time"] * us
    points = r.get("points")
    wire_ms = r.get("wire_ms")
    lines.append((r["run_name"],
                  cell(r["real_time"] * us, "{:.3f}"),
                  cell(cpu, "{:.3f}"),
                  cell(cpu * 1e3 / points if points else None, "{:.1f}"),
                  cell(r.get("allocs/op"), "{:.0f}" if r.get("allocs/op", 0) >= 100 else "{:.2f}"),
                  cell(cpu / (wire_ms * 1e3) * 100 if wire_ms else None, "{:.4f}")))
widths = [max(len(x[i]) for x in lines + [header]) for i in range(len(header))]
print()
for line in [header] + lines:
    print("  ".join(x.ljust(w) if i == 0 else x.rjust(w) for i, (x, w) in enumerate(zip(line, widths))))
PY

echo
echo "Gateway process, one device:"
CYCLES=${COST_CYCLES:-2000} MODULES=64 BENCH_BUILD_DIR="$build_dir" scripts/scale.sh 1
