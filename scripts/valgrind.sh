#!/usr/bin/env bash
# A short gateway run against its simulator (with a few benign line faults
# and a snapshot cache) under valgrind memcheck. Fails on any memory error or
# definite leak.
#   usage: scripts/valgrind.sh [CYCLES]   (default 5)
#   env:   BUILD_DIR (default build); must be a build without sanitizers
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ ${1:-} == --help || ${1:-} == -h ]]; then
  sed -n '2,6p' "$0" | sed 's/^# \{0,1\}//'
  exit 0
fi
cycles=${1:-5}
if ! [[ $cycles =~ ^[1-9][0-9]*$ ]]; then
  echo "valgrind.sh: CYCLES must be a positive whole number, got '$cycles'" >&2
  exit 2
fi
scripts/apt-install.sh valgrind
build_dir=${BUILD_DIR:-build}
cmake -S . -B "$build_dir" > /dev/null
log="$build_dir/valgrind-build.log"
cmake --build "$build_dir" -j "${BUILD_JOBS:-2}" --target qmr4100-gateway > "$log" 2>&1 ||
  { tail -40 "$log" >&2; exit 1; }

work="$build_dir/valgrind"
rm -rf "$work"
mkdir -p "$work"
# Two runs: the second restores the cache the first one wrote. Answers take
# far longer under valgrind, hence the long answer timeout.
for run in 1 2; do
  status=0
  valgrind --tool=memcheck --leak-check=full --errors-for-leak-kinds=definite \
    --error-exitcode=99 --log-file="$work/memcheck-$run.txt" \
    "$build_dir/gateway/qmr4100-gateway" --simulate --cycles "$cycles" --interval 0 --timeout 5 \
    --faults noise:0.1,split:0.1,echo:0.1 --cache-dir "$work/cache" \
    --record "$work/record-$run.jsonl" > "$work/gateway-$run.txt" 2>&1 || status=$?
  summary=$(grep -E 'ERROR SUMMARY|in use at exit|definitely lost' "$work/memcheck-$run.txt" |
            sed 's/^==[0-9]*== *//' | paste -sd ';')
  echo "run $run: exit $status; $summary"
  if ((status != 0)); then
    echo "valgrind.sh: run $run failed (see $work/memcheck-$run.txt, $work/gateway-$run.txt)" >&2
    exit 1
  fi
done
echo "valgrind: passed"
