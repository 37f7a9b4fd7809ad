#!/usr/bin/env bash
# Sets up, builds and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
# The MQTT tests start a real broker and make a test CA.
scripts/apt-install.sh libgtest-dev libgmock-dev python3 mosquitto mosquitto-clients openssl
scripts/setup.sh -DQMR_BUILD_TESTS=ON
ctest --test-dir "${BUILD_DIR:-build}" --output-on-failure -j "$(nproc)"
