#!/usr/bin/env bash
# Sets up, builds and runs the gateway on its built-in power-system simulator
# until Ctrl-C, one cycle a second, with the live page, the JSON API and the
# metrics on http://127.0.0.1:8080/. Extra arguments go to the gateway (see
# build/gateway/qmr4100-gateway --help) and replace those defaults, e.g.
# --cycles 6 for a short run or --http 8081 for another port.
set -euo pipefail
cd "$(dirname "$0")/.."
# The programs only: the test suite's packages are test.sh's business.
# setup.sh says each step; the rest of its output goes to a log, shown when it fails.
log=${BUILD_DIR:-build}.setup.log
scripts/setup.sh -DQMR_BUILD_TESTS=OFF > "$log" ||
  { tail -30 "$log" >&2; echo "main.sh: setup failed; its output is in $log" >&2; exit 1; }
echo "main.sh: starting the gateway on its simulator (Ctrl-C stops it)" >&2

defaults=()
given=" $* "
[[ $given == *" --cycles"* ]] || defaults+=(--cycles 0)
[[ $given == *" --interval"* ]] || defaults+=(--interval 1)
[[ $given == *" --http"* ]] || defaults+=(--http 127.0.0.1:8080)
exec "${BUILD_DIR:-build}/gateway/qmr4100-gateway" --simulate "${defaults[@]}" "$@"
