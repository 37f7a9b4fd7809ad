#!/usr/bin/env bash
# Sets up, builds and runs the gateway on its built-in power-system simulator
# until Ctrl-C, one cycle a second, with the live page, the JSON API and the
# metrics on http://127.0.0.1:8080/. Extra arguments go to the gateway (see
# build/gateway/qmr4100-gateway --help) and replace those defaults, e.g.
# --cycles 6 for a short run or --http 8081 for another port.
set -euo pipefail
cd "$(dirname "$0")/.."
# The programs only: the test suite's packages are test.sh's business.
scripts/setup.sh -DQMR_BUILD_TESTS=OFF >/dev/null

defaults=()
given=" $* "
[[ $given == *" --cycles"* ]] || defaults+=(--cycles 0)
[[ $given == *" --interval"* ]] || defaults+=(--interval 1)
[[ $given == *" --http"* ]] || defaults+=(--http 127.0.0.1:8080)
exec "${BUILD_DIR:-build}/gateway/qmr4100-gateway" --simulate "${defaults[@]}" "$@"
