#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# camlift without a subcommand and without a display: it says that no display was found and
# points to --help, ends with status 2, and does not abort (no SIGABRT, no core file). Both
# ways: no display named at all, and a named X display that nobody serves.
set -uo pipefail

: "${CAMLIFT_EXE:?CAMLIFT_EXE must name the camlift binary}"
[ "${CAMLIFT_HAS_GUI:-1}" = 1 ] || { echo "SKIP: built without the window"; exit 77; }
fail() { echo "FAIL: $*"; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
ulimit -c unlimited 2>/dev/null || true

check() {
  local what="$1"; shift
  local out status
  out="$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM HOME="$work" "$@" \
           timeout 30 "$CAMLIFT_EXE" 2>&1 </dev/null)"
  status=$?
  [ "$status" -eq 2 ] || fail "$what: status $status (134 is an abort): $out"
  grep -q "^camlift: no display found" <<<"$out" || fail "$what: no reason given: $out"
  grep -q "camlift --help" <<<"$out" || fail "$what: no pointer to --help: $out"
  ls core* >/dev/null 2>&1 && fail "$what: a core file was left"
  echo "ok: $what"
}

check "no display named"
# No X server answers on display 97.
check "display nobody serves" DISPLAY=:97 XAUTHORITY=/nonexistent
