#!/usr/bin/env bash
# Sets up, builds and runs the gateway on its built-in power-system simulator.
# Extra arguments go to the gateway (see build/gateway/qmr4100-gateway --help).
set -euo pipefail
cd "$(dirname "$0")/.."
# The programs only: the test suite's packages are test.sh's business.
scripts/setup.sh -DQMR_BUILD_TESTS=OFF >/dev/null
exec "${BUILD_DIR:-build}/gateway/qmr4100-gateway" --simulate "$@"
