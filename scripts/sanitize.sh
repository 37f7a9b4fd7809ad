#!/usr/bin/env bash
# Sanitizer runs:
#   address  builds everything with AddressSanitizer and UndefinedBehavior-
#            Sanitizer in build-asan and runs the whole ctest suite;
#   thread   builds with ThreadSanitizer in build-tsan and runs the gateway's
#            end-to-end tests (the program with its io thread, the host's
#            worker and the simulator's server thread).
#   usage: scripts/sanitize.sh [address|thread|all]   (default all)
set -euo pipefail
cd "$(dirname "$0")/.."

which=${1:-all}
case $which in
  address | thread | all) ;;
  -h | --help) sed -n '2,8p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
  *) echo "sanitize.sh: unknown run '$which' (address, thread or all)" >&2; exit 2 ;;
esac
jobs=${BUILD_JOBS:-2}
scripts/apt-install.sh libgtest-dev libgmock-dev

# Findings stop the test that hit them, so ctest reports it failed.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1

configure_and_build() {
  local dir=$1 preset=$2
  shift 2
  cmake --preset "$preset" \
    > "$dir.configure.log" 2>&1 || { cat "$dir.configure.log" >&2; return 1; }
  cmake --build "$dir" -j "$jobs" "$@" > "$dir/build.log" 2>&1 ||
    { tail -40 "$dir/build.log" >&2; return 1; }
}

run_address() {
  echo "== AddressSanitizer + UndefinedBehaviorSanitizer: whole suite (build-asan)"
  configure_and_build build-asan asan
  ctest --test-dir build-asan --output-on-failure -j "$jobs" --timeout 300
}

# The gateway's tests under ThreadSanitizer: those of its library's folders
# (without MQTT and SNMP, which need their servers) and its end-to-end tests.
gateway_programs=(config/gw_config_tests model/gw_model_tests cache/gw_cache_tests
                  poll/gw_poll_tests run/gw_run_tests outputs/console/gw_console_tests
                  outputs/record/gw_record_tests outputs/http/gw_http_tests)
gateway_test_regex() {
  local suites
  suites=$( { for program in "${gateway_programs[@]}"; do
                build-tsan/tests/gateway/$program --gtest_list_tests; done
              build-tsan/tests/e2e/e2e_tests --gtest_list_tests; } |
           sed -n 's/^\([A-Za-z0-9_/]*\)\.$/\1/p' | sed 's|.*/||' | sort -u | paste -sd '|')
  echo "^([A-Za-z0-9_]+/)?($suites)\\."
}

run_thread() {
  echo "== ThreadSanitizer: gateway end-to-end tests (build-tsan)"
  local targets=(--target e2e_tests)
  for program in "${gateway_programs[@]}"; do targets+=(--target "${program##*/}"); done
  configure_and_build build-tsan tsan "${targets[@]}"
  ctest --test-dir build-tsan --output-on-failure -j "$jobs" --timeout 300 -R "$(gateway_test_regex)"
}

[[ $which == thread ]] || run_address
[[ $which == address ]] || run_thread
