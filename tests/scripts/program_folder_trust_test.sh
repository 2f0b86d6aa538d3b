#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# A copy of camlift trusts its own folder only as ssh trusts the folders of its files: the folder
# and every folder above it belong to the user or root, and neither their group nor others may
# write them. Copies of the real program, with the closed search library (the stand-in, which
# marks a file when it is loaded) and an option.ini naming a repository beside them, run from:
# a folder of root's (trusted: all three are used), a 0777 folder, a 0775 folder, a folder of
# another user, and a trusted folder below a 0777 one. From the untrusted ones camlift must say
# which folder and why, load no library, read no defaults there and write nothing into the folder.
# Needs root (a folder of another user); exit 77 (skipped) otherwise.
set -uo pipefail

skip() { echo "SKIP: $*"; exit 77; }
[ "$(id -u)" -eq 0 ] || skip "needs root to make a folder of another user"
: "${CAMLIFT_EXE:?CAMLIFT_EXE must name the camlift binary}"
: "${CAMLIFT_STANDIN_LIBRARY:?CAMLIFT_STANDIN_LIBRARY must name the stand-in library}"

# Every folder above the copies must be trusted itself, so they live beside the build's program
# (a folder of root, 0755), not below /tmp, which others may write.
base="$(mktemp -d "$(dirname "$CAMLIFT_EXE")/trust-test.XXXXXX")" || skip "no folder beside the program"
chmod 0755 "$base"
home="$(mktemp -d)"
trap 'rm -rf "$base" "$home"' EXIT

fail() { echo "FAIL: $*"; for f in "$base"/*.out "$base"/*.err; do
         [ -f "$f" ] && { echo "--- $f"; cat "$f"; }; done; exit 1; }

# copy NAME: camlift, 515/libDVSNETClient.so and option.ini in $base/NAME/bin/.
copy() {
  local bin="$base/$1/bin"
  mkdir -p "$bin/515"
  cp "$CAMLIFT_EXE" "$bin/camlift"
  cp "$CAMLIFT_STANDIN_LIBRARY" "$bin/515/libDVSNETClient.so"
  printf '[Global]\r\nrepository=http://127.0.0.1:9/FM/%s/\r\n' "$1" >"$bin/option.ini"
  chmod -R go-w "$base/$1"
}

# run NAME ARGS...: the copy of NAME, with a home of its own; stdout, stderr in $base/NAME.out/err.
run() {
  local name="$1"
  shift
  env -u CAMLIFT_DATA_DIR -u CAMLIFT_REPOSITORY_URL -u XDG_CONFIG_DIRS HOME="$home/$name" \
    XDG_CONFIG_HOME="$home/$name/config" XDG_CACHE_HOME="$home/$name/cache" \
    XDG_STATE_HOME="$home/$name/state" CAMLIFT_STANDIN_LOADED="$base/$name.loaded" \
    CAMLIFT_STANDIN_DEVICES="Lib cam|127.0.0.99|0200000000aa|81|0|255.0.0.0|127.0.0.1|127.0.0.1|1" \
    "$base/$name/bin/camlift" "$@" >"$base/$name.out" 2>"$base/$name.err"
}

# The folders: name, what makes it untrusted, the reason camlift must give ("" = trusted).
copy trusted
copy open && chmod 0777 "$base/open/bin"
copy group && chmod 0775 "$base/group/bin"
copy foreign && chown -R 4242:4242 "$base/foreign"
copy below && chmod 0777 "$base/below"
cases=(
  "trusted|"
  "open|$base/open/bin/ may be written by others (mode 0777)"
  "group|$base/group/bin/ may be written by its group (mode 0775)"
  "foreign|$base/foreign/bin/ belongs to another user (uid 4242)"
  "below|$base/below/ may be written by others (mode 0777)"
)

for entry in "${cases[@]}"; do
  name="${entry%%|*}"
  why="${entry#*|}"
  bin="$base/$name/bin"
  before="$(cd "$bin" && find . | sort)"

  run "$name" paths --json || fail "$name: camlift paths ended with status $?"
  paths="$(cat "$base/$name.out")"
  run "$name" search --passes 1 --json || fail "$name: camlift search ended with status $?"

  if [ -z "$why" ]; then
    # A trusted copy keeps its files beside it, as it always did.
    grep -qF "\"defaultOptions\":\"$bin/option.ini\"" <<<"$paths" || fail "trusted: $paths"
    grep -qF "\"repository\":\"http://127.0.0.1:9/FM/trusted/\"" <<<"$paths" ||
      fail "trusted: the defaults beside the program were not read: $paths"
    grep -qF "\"cache\":\"$bin/\"" <<<"$paths" || fail "trusted: cache not in its folder: $paths"
    grep -qF '"ip":"127.0.0.99"' "$base/$name.out" || fail "trusted: the library's camera is missing"
    [ -s "$base/$name.loaded" ] || fail "trusted: the library was not loaded"
    grep -q "not used" "$base/$name.err" && fail "trusted: a warning about its folder"
    continue
  fi
  # Said on every start, with the folder and why.
  grep -qxF "camlift: the program folder $bin/ is not used (neither its option.ini nor 515/libDVSNETClient.so, and no work files there): $why; the per-user folders are used instead" \
    "$base/$name.err" || fail "$name: no warning naming the folder and why"
  grep -qF "\"untrustedProgramFolder\":\"$why\"" <<<"$paths" || fail "$name: paths: $paths"
  # No library code ran, no defaults were read, and the files went to the XDG folders.
  [ -e "$base/$name.loaded" ] && fail "$name: the library beside the program was loaded"
  grep -qF '"ip":"127.0.0.99"' "$base/$name.out" && fail "$name: the library's camera is listed"
  grep -qF "/FM/$name/" <<<"$paths" && fail "$name: the option.ini beside the program was read"
  grep -qF "\"cache\":\"$home/$name/cache/camlift/\"" <<<"$paths" || fail "$name: cache: $paths"
  grep -qF "\"state\":\"$home/$name/state/camlift/\"" <<<"$paths" || fail "$name: state: $paths"
  [ "$(cd "$bin" && find . | sort)" = "$before" ] || fail "$name: files were written into $bin"
done
echo "PASS"
