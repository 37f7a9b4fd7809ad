#!/usr/bin/env bash
# Sets up, builds and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/apt-install.sh libgtest-dev libgmock-dev python3
scripts/setup.sh -DQMR_BUILD_TESTS=ON
ctest --test-dir "${BUILD_DIR:-build}" --output-on-failure -j "$(nproc)"
