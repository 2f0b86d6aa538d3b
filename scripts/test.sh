#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Installs what is missing, checks the formatting and the layers' includes, builds, and runs every
# test: once in a normal build and once built with AddressSanitizer and UndefinedBehaviorSanitizer
# (both replay the committed fuzz corpora), then the threaded tests built with ThreadSanitizer,
# and last the install test (the Debian package installed into this machine and removed again;
# as root only). Exits non-zero on any failure.
source "$(dirname "$0")/lib.sh"
install_packages

echo "== style (clang-format, includes)"
style_status=0
bash "$CAMLIFT_ROOT/scripts/check_style.sh" || style_status=1

echo "== build"
# Built with Debian's flags and prefix, so that the install test packages these very programs
# instead of building a Release copy of everything again.
package_cmake_flags
build build -DCMAKE_BUILD_TYPE=RelWithDebInfo "${PACKAGE_CMAKE_FLAGS[@]}"
echo "== build with AddressSanitizer + UndefinedBehaviorSanitizer"
build build-asan -DCMAKE_BUILD_TYPE=Debug -DCAMLIFT_SANITIZE=ON

echo "== build with ThreadSanitizer (the tests where threads meet)"
cmake -S "$CAMLIFT_ROOT" -B "$CAMLIFT_ROOT/build-tsan" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCAMLIFT_TSAN=ON -DCAMLIFT_GUI=OFF >/dev/null
cmake --build "$CAMLIFT_ROOT/build-tsan" -j "$JOBS" --target camlift_tsan_tests

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$CAMLIFT_ROOT/tests/tsan_suppressions.txt"
status=$style_status
for dir in build build-asan; do
  echo "== tests ($dir)"
  (cd "$CAMLIFT_ROOT/$dir" && ctest --output-on-failure -j "$JOBS" --timeout 600) || status=1
done
# The fuzz corpora are replayed by both runs above (tests fuzz.replay.*).
echo "== tests (build-tsan)"
(cd "$CAMLIFT_ROOT/build-tsan" && ctest --output-on-failure -j "$JOBS" --timeout 600 -R '^tsan\.') ||
  status=1
bash "$CAMLIFT_ROOT/scripts/install_test.sh" --reuse build || status=1
exit $status
