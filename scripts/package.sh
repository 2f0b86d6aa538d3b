#!/usr/bin/env bash
# Builds the Debian package camlift_<version>_<arch>.deb with CPack in build-package/ and checks
# it with lintian. The last line of the output is the package's path.
# Dependencies are computed by dpkg-shlibdeps from the programs' shared libraries; the warnings
# lintian may still give and that we accept are in packaging/lintian-accepted (see
# docs/packaging.md for why).
source "$(dirname "$0")/lib.sh"
install_packages

dir="${CAMLIFT_PACKAGE_BUILD_DIR:-build-package}"
# Debian's own compiler and linker flags: hardening (PIE, fortify, stack protector, relro, now).
export DEB_BUILD_MAINT_OPTIONS="hardening=+all"
cflags="$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
cxxflags="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
ldflags="$(dpkg-buildflags --get LDFLAGS)"

echo "== build for the package ($dir)"
build "$dir" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DCAMLIFT_TESTS=OFF \
  -DCMAKE_C_FLAGS="$cflags" -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags"

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
