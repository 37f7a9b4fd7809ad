#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz and runs each one for
# SECONDS (default 60) from its seed corpus, then prints executions and
# coverage per target and in total. Inputs that crash a target are kept under
# build-fuzz/artifacts/ and make the script fail.
#   usage: scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ ${1:-} == --help || ${1:-} == -h ]]; then
  sed -n '2,6p' "$0" | sed 's/^# \{0,1\}//'
  exit 0
fi
seconds=${1:-60}
if ! [[ $seconds =~ ^[1-9][0-9]*$ ]]; then
  echo "fuzz.sh: SECONDS must be a positive whole number, got '$seconds'" >&2
  exit 2
fi

scripts/apt-install.sh clang libclang-rt-14-dev
build_dir=${FUZZ_BUILD_DIR:-build-fuzz}
targets=(frame stream cycle decoders cache scenario config)
cxx=$(command -v clang++-14 || command -v clang++ || true)
cc=$(command -v clang-14 || command -v clang || true)
if [[ -z $cxx || -z $cc ]]; then
  echo "fuzz.sh: clang is not installed" >&2
  exit 2
fi

# The libraries get coverage instrumentation (fuzzer-no-link) and the
# sanitizers; the harnesses add libFuzzer itself.
CC=$cc CXX=$cxx cmake --preset fuzz -B "$build_dir" > "$build_dir.configure.log" 2>&1 ||
  { cat "$build_dir.configure.log" >&2; exit 1; }
cmake --build "$build_dir" -j "${BUILD_JOBS:-2}" \
  --target fuzz_make_corpus "${targets[@]/#/fuzz_}" > "$build_dir/build.log" 2>&1 ||
  { tail -40 "$build_dir/build.log" >&2; exit 1; }
"$build_dir/fuzz/fuzz_make_corpus" fuzz/corpus > /dev/null

export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
mkdir -p "$build_dir/artifacts" "$build_dir/logs"
total_execs=0
failed=()
printf '%-10s %12s %8s %8s %8s  %s\n' target executions cov ft corpus result
for target in "${targets[@]}"; do
  work_corpus="$build_dir/corpus/$target"
  log="$build_dir/logs/$target.log"
  mkdir -p "$work_corpus"
  result=ok
  # -close_fd_mask=1: the driver's console lines would slow every run down.
  "$build_dir/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 -close_fd_mask=1 \
    -print_final_stats=1 -artifact_prefix="$build_dir/artifacts/$target-" \
    "$work_corpus" "fuzz/corpus/$target" > "$log" 2>&1 || result="FAILED (see $log)"
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  stats=$(grep -E '^#[0-9]+.*cov: ' "$log" | tail -1 || true)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<< "$stats")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<< "$stats")
  corpus=$(sed -n 's/.* corp: \([0-9]*\).*/\1/p' <<< "$stats")
  total_execs=$((total_execs + ${execs:-0}))
  [[ $result == ok ]] || failed+=("$target")
  printf '%-10s %12s %8s %8s %8s  %s\n' "$target" "${execs:-?}" "${cov:-?}" "${ft:-?}" \
    "${corpus:-?}" "$result"
done
printf '%-10s %12s\n' total "$total_execs"

if ((${#failed[@]})); then
  echo "fuzz.sh: ${failed[*]} found a failing input; reproduce with" \
       "$build_dir/fuzz/fuzz_<target> $build_dir/artifacts/<file>" >&2
  exit 1
fi
