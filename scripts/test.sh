#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: once in a normal build and once built
# with AddressSanitizer and UndefinedBehaviorSanitizer. Exits non-zero on any failure.
source "$(dirname "$0")/lib.sh"
install_packages

echo "== build"
build build -DCMAKE_BUILD_TYPE=RelWithDebInfo
echo "== build with AddressSanitizer + UndefinedBehaviorSanitizer"
build build-asan -DCMAKE_BUILD_TYPE=Debug -DCAMLIFT_SANITIZE=ON

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
status=0
for dir in build build-asan; do
  echo "== tests ($dir)"
  (cd "$CAMLIFT_ROOT/$dir" && ctest --output-on-failure -j "$JOBS" --timeout 600) || status=1
done
exit $status
