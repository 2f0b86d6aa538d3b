#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Builds the Debian package camlift_<version>_<arch>.deb with CPack in build-package/ and checks
# it with lintian. The last line of the output is the package's path.
# Dependencies are computed by dpkg-shlibdeps from the programs' shared libraries; the warnings
# lintian may still give and that we accept are in packaging/lintian-accepted (see
# docs/packaging.md for why).
source "$(dirname "$0")/lib.sh"
install_packages

# Usage: scripts/package.sh [--reuse DIR]
# --reuse DIR packages the programs of an existing build (scripts/test.sh's RelWithDebInfo build
# is configured with the same flags; cpack strips them) instead of building them once more.
dir="${CAMLIFT_PACKAGE_BUILD_DIR:-build-package}"
package_cmake_flags
if [ "${1:-}" = --reuse ] && [ -n "${2:-}" ]; then
  dir="$2"
  cache="$CAMLIFT_ROOT/$dir/CMakeCache.txt"
  if ! grep -qE '^CMAKE_BUILD_TYPE:STRING=(Release|RelWithDebInfo)$' "$cache" 2>/dev/null ||
    grep -qE '^CAMLIFT_(SANITIZE|TSAN):BOOL=ON$' "$cache"; then
    echo "package.sh: $dir is no optimised build without sanitizers; it is not packaged" >&2
    exit 1
  fi
  echo "== package the programs of $dir"
  # The same values again change nothing; a build configured otherwise is rebuilt to match.
  cmake -S "$CAMLIFT_ROOT" -B "$CAMLIFT_ROOT/$dir" -G Ninja "${PACKAGE_CMAKE_FLAGS[@]}" >/dev/null
  cmake --build "$CAMLIFT_ROOT/$dir" -j "$JOBS"
else
  echo "== build for the package ($dir)"
  build "$dir" -DCMAKE_BUILD_TYPE=Release -DCAMLIFT_TESTS=OFF "${PACKAGE_CMAKE_FLAGS[@]}"
fi

echo "== cpack"
rm -f "$CAMLIFT_ROOT/$dir"/camlift_*.deb
(cd "$CAMLIFT_ROOT/$dir" && cpack -G DEB >/dev/null)
debs=("$CAMLIFT_ROOT/$dir"/camlift_*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
  echo "package.sh: expected one camlift_*.deb in $dir, found: ${debs[*]}" >&2
  exit 1
fi
deb="${debs[0]}"

echo "== lintian"
lintian --fail-on error,warning --suppress-tags-from-file "$CAMLIFT_ROOT/packaging/lintian-accepted" \
  "$deb"
echo "$deb"
