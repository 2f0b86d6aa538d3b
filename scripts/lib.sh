# SPDX-License-Identifier: Apache-2.0
# Shared by the scripts: installs what is missing and builds. Source it, do not run it.
set -euo pipefail

CAMLIFT_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
JOBS="${JOBS:-$(nproc)}"

# Debian packages the build, the tests and the demo need.
CAMLIFT_PACKAGES=(
  build-essential cmake ninja-build pkg-config git
  libcurl4-openssl-dev libzip-dev libssl-dev
  qt6-base-dev libgl-dev
  libcli11-dev nlohmann-json3-dev libcpp-httplib-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  iproute2 procps curl unzip zip xvfb xauth fonts-wqy-microhei
  clang libclang-rt-14-dev clang-format
  dpkg-dev file lintian desktop-file-utils appstream man-db bash-completion librsvg2-bin
)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

install_packages() {
  local missing=()
  for p in "${CAMLIFT_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -eq 0 ]; then
    echo "== all packages present"
    return
  fi
  echo "== installing: ${missing[*]}"
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
}

# build DIR [cmake options...]
build() {
  local dir="$1"; shift
  cmake -S "$CAMLIFT_ROOT" -B "$CAMLIFT_ROOT/$dir" -G Ninja "$@" >/dev/null
  cmake --build "$CAMLIFT_ROOT/$dir" -j "$JOBS"
}

# The flags Debian builds its packages with (hardening: fortify, stack protector, relro, now) and
# the /usr prefix, in PACKAGE_CMAKE_FLAGS: a build configured with them can be packaged as it is.
package_cmake_flags() {
  export DEB_BUILD_MAINT_OPTIONS="hardening=+all"
  local c cxx cpp ld
  # From the source root, so that -ffile-prefix-map is the same whoever calls.
  c="$(cd "$CAMLIFT_ROOT" && dpkg-buildflags --get CFLAGS)"
  cxx="$(cd "$CAMLIFT_ROOT" && dpkg-buildflags --get CXXFLAGS)"
  cpp="$(cd "$CAMLIFT_ROOT" && dpkg-buildflags --get CPPFLAGS)"
  ld="$(cd "$CAMLIFT_ROOT" && dpkg-buildflags --get LDFLAGS)"
  PACKAGE_CMAKE_FLAGS=(-DCMAKE_INSTALL_PREFIX=/usr "-DCMAKE_C_FLAGS=$c $cpp"
    "-DCMAKE_CXX_FLAGS=$cxx $cpp" "-DCMAKE_EXE_LINKER_FLAGS=$ld")
}
