#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Runs the test suite again and again under load, to find the tests that fail only sometimes.
#
#   scripts/stress_tests.sh [-n PASSES] [-j JOBS] [-R REGEX] [--hogs N] [BUILD_DIR...]
#
# Each pass runs `ctest -j JOBS` (default: twice the core count) in each build folder (default:
# build and build-asan, those that exist) while N extra busy processes (default: one per core)
# take CPU time from it. At the end it prints every test that failed at least once, with the
# number of passes it failed in, and exits 1 if there was one. The builds must exist already
# (scripts/test.sh makes both).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cores="$(nproc)"
passes=10
jobs=$((cores * 2))
hogs=$cores
regex=""
dirs=()
while [ $# -gt 0 ]; do
  case "$1" in
    -n) passes="$2"; shift 2 ;;
    -j) jobs="$2"; shift 2 ;;
    -R) regex="$2"; shift 2 ;;
    --hogs) hogs="$2"; shift 2 ;;
    -h|--help) sed -n '2,11p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) dirs+=("$1"); shift ;;
  esac
done
if [ ${#dirs[@]} -eq 0 ]; then
  for d in build build-asan; do [ -f "$root/$d/CTestTestfile.cmake" ] && dirs+=("$root/$d"); done
fi
[ ${#dirs[@]} -gt 0 ] || { echo "no build folder with tests; run scripts/test.sh first" >&2; exit 2; }

hog_pids=()
stop_hogs() { [ ${#hog_pids[@]} -eq 0 ] || kill "${hog_pids[@]}" 2>/dev/null || true; }
trap stop_hogs EXIT
for _ in $(seq 1 "$hogs"); do
  (while :; do :; done) &
  hog_pids+=($!)
done

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
declare -A failures=()
start=$(date +%s)
for pass in $(seq 1 "$passes"); do
  for dir in "${dirs[@]}"; do
    dir="$(cd "$dir" && pwd)"
    args=(-j "$jobs" --timeout 600 --output-on-failure)
    [ -n "$regex" ] && args+=(-R "$regex")
    if (cd "$dir" && ctest "${args[@]}" >"$dir/stress-pass.log" 2>&1); then
      echo "pass $pass/$passes $(basename "$dir"): all passed"
    else
      failed="$dir/Testing/Temporary/LastTestsFailed.log"
      names=$( [ -f "$failed" ] && cut -d: -f2- "$failed" || echo "(ctest failed: see $dir/stress-pass.log)")
      echo "pass $pass/$passes $(basename "$dir"): failed: $(echo "$names" | tr '\n' ' ')"
      while IFS= read -r name; do
        key="$(basename "$dir") $name"
        failures[$key]=$(( ${failures[$key]:-0} + 1 ))
      done <<<"$names"
      cp "$dir/stress-pass.log" "$dir/stress-pass-$pass.log"
    fi
  done
done
echo "== $passes passes of ${#dirs[@]} build(s), ctest -j $jobs, $hogs busy processes, $(( $(date +%s) - start )) s"
if [ ${#failures[@]} -eq 0 ]; then
  echo "== no test failed"
  exit 0
fi
echo "== tests that failed at least once (build, test: passes failed of $passes)"
for key in "${!failures[@]}"; do echo "$key: ${failures[$key]}"; done | sort
exit 1
