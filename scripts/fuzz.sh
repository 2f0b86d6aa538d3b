#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Builds the libFuzzer targets (clang, AddressSanitizer + UndefinedBehaviorSanitizer) in
# build-fuzz and runs each one for SECONDS (default 60) on a copy of its committed corpus.
# Prints a table: target, executions, findings. Exits non-zero when any target found something;
# the inputs that broke it are kept in build-fuzz/findings/<target>/ (copy them into
# fuzz/regressions/<target>/ once fixed, so that scripts/test.sh replays them from then on).
#   scripts/fuzz.sh [SECONDS] [TARGET...]
source "$(dirname "$0")/lib.sh"

SECONDS_PER_TARGET="${1:-60}"
shift || true
BUILD="$CAMLIFT_ROOT/build-fuzz"

if [ $# -gt 0 ]; then
  targets=("$@")
else
  targets=()
  for source in "$CAMLIFT_ROOT"/fuzz/targets/*.cpp; do
    targets+=("$(basename "$source" .cpp)")
  done
fi

echo "== build (clang, libFuzzer)"
cmake -S "$CAMLIFT_ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCAMLIFT_FUZZ=ON \
  -DCAMLIFT_TESTS=OFF -DCAMLIFT_GUI=OFF >/dev/null
# Only the targets that run.
cmake --build "$BUILD" -j "$JOBS" --target "${targets[@]/#/fuzz_}"

# Nothing a target does may reach the network; the searches are not among them, but keep any
# broadcast on loopback all the same.
export CAMLIFT_BROADCAST_ADDR=127.255.255.255
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:allocator_may_return_null=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

status=0
rows=()
for target in "${targets[@]}"; do
  binary="$BUILD/fuzz/fuzz_$target"
  work="$BUILD/fuzz-work/$target"
  findings="$BUILD/findings/$target"
  rm -rf "$work" "$findings"
  mkdir -p "$work/corpus" "$findings"
  # Seeds may sit in folders below the target's (one per search dialect): all are copied.
  [ -d "$CAMLIFT_ROOT/fuzz/corpus/$target" ] && cp -R "$CAMLIFT_ROOT/fuzz/corpus/$target/." "$work/corpus/"
  if [ -d "$CAMLIFT_ROOT/fuzz/regressions/$target" ]; then
    cp -R "$CAMLIFT_ROOT/fuzz/regressions/$target/." "$work/corpus/"
  fi
  echo "== $target (${SECONDS_PER_TARGET} s)"
  (cd "$work" && TMPDIR="$work" "$binary" "$work/corpus" \
      -max_total_time="$SECONDS_PER_TARGET" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
      -artifact_prefix="$findings/" -print_final_stats=1 >"$work/log" 2>&1) || true
  execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$work/log" | tail -1 | grep -o '[0-9]*$' || true)
  found=$(find "$findings" -type f | wc -l)
  [ -n "$execs" ] || execs="?"
  if [ "$found" -gt 0 ] || [ "$execs" = "?" ]; then
    status=1
    tail -40 "$work/log"
  fi
  rows+=("$(printf '%-18s %14s %9s' "$target" "$execs" "$found")")
done

echo
printf '%-18s %14s %9s\n' "target" "executions" "findings"
for row in "${rows[@]}"; do echo "$row"; done
exit $status
