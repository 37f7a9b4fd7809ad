#!/usr/bin/env bash
# Sets up, builds and runs the gateway on its built-in power-system simulator.
# Extra arguments go to the gateway (see build/gateway/qmr4100-gateway --help).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh >/dev/null
exec "${BUILD_DIR:-build}/gateway/qmr4100-gateway" --simulate "$@"
