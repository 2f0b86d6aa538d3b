#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The README's examples, run exactly as written. A block is an example when the line right above
# its ```sh fence is a marker:
#
#   <!-- example: NAME -->                 runs alone
#   <!-- example: NAME after=FIRST -->     runs after example FIRST, in the same shell
#
# Each example runs in namespaces of its own (network with only loopback, mount with an empty
# /tmp and everything else read-only, process: whatever it leaves running ends with it), in a
# clean environment with camlift and camlift-sim of this build on the PATH, HOME in that /tmp, from a folder where sim/ is the source tree's, under
# `bash -e -o pipefail`, bounded in time. It passes when the block ends with status 0. An
# unmarked ```sh block that runs camlift-sim is an error: every example that can run on one
# machine is marked. Needs root; exit 77 (skipped) otherwise.
#
#   bash tests/scripts/readme_examples_test.sh [NAME...]   (only those examples)
set -uo pipefail

skip() { echo "SKIP: $*"; exit 77; }
fail() { echo "FAIL: $*"; exit 1; }
[ "$(id -u)" -eq 0 ] || skip "needs root for the namespaces of the examples"
command -v unshare >/dev/null || skip "unshare (util-linux) is not installed"
: "${CAMLIFT_EXE:?CAMLIFT_EXE must name the camlift binary}"
: "${CAMLIFT_SIM_EXE:?CAMLIFT_SIM_EXE must name the camlift-sim binary}"

root="$(cd "$(dirname "$0")/../.." && pwd)"
readme="${README:-$root/README.md}"
limit="${CAMLIFT_EXAMPLE_SECONDS:-60}"
work="$(mktemp -d /var/tmp/camlift-readme.XXXXXX)"
trap 'rm -rf "$work"' EXIT

# Writes every marked block to $work/NAME.sh and its prerequisite to $work/NAME.after; prints
# "error: ..." lines for a marker without a block, a name used twice, an unmarked sh block that
# runs camlift-sim.
awk -v dir="$work" '
  function bad(text) { print "error: README.md line " NR ": " text }
  /^<!-- example: / {
    line = $0; sub(/^<!-- example: /, "", line); sub(/ *-->.*$/, "", line)
    n = split(line, words, " "); name = words[1]; after = ""
    for (i = 2; i <= n; i++) if (words[i] ~ /^after=/) after = substr(words[i], 7)
    if (name == "" || name !~ /^[a-z0-9-]+$/) bad("example name \"" name "\" (a-z, 0-9, -)")
    if (name in seen) bad("example \"" name "\" twice")
    seen[name] = 1; pending = name; pending_after = after; marker = NR
    next
  }
  /^```sh[ \t]*$/ {
    inside = 1; text = ""
    current = (pending != "" && marker == NR - 1) ? pending : ""
    if (pending != "" && current == "") bad("marker of \"" pending "\" is not right above a sh block")
    current_after = pending_after; pending = ""; start = NR
    next
  }
  /^```[ \t]*$/ && inside {
    inside = 0
    if (current != "") {
      printf "%s", text > (dir "/" current ".sh"); close(dir "/" current ".sh")
      printf "%s", current_after > (dir "/" current ".after"); close(dir "/" current ".after")
      print current > (dir "/order")
    } else if (text ~ /(^|[^-a-z])camlift-sim /) {
      bad("the sh block of line " start " runs camlift-sim but has no example marker")
    }
    next
  }
  inside { text = text $0 "\n" }
  END { if (pending != "") bad("marker of \"" pending "\" is not right above a sh block") }
' "$readme" >"$work/errors"
if [ -s "$work/errors" ]; then cat "$work/errors"; fail "the README's example markers"; fi
[ -s "$work/order" ] || fail "no marked example in $readme"

# The text of an example with what it runs after, first things first.
script_of() {
  local name="$1" depth="${2:-0}" after
  [ -f "$work/$name.sh" ] || fail "example \"$name\" is named by after= but not in the README"
  [ "$depth" -lt 8 ] || fail "example \"$name\": after= goes round in a circle"
  after="$(cat "$work/$name.after")"
  [ -z "$after" ] || script_of "$after" $((depth + 1))
  cat "$work/$name.sh"
}

# Copies, not links: the examples get a fresh /tmp, which would hide a source tree or a build
# that lies below /tmp (a clone made there). The programs go into a folder of root's below /run
# where there is one: camlift trusts no folder that others may write, nor one below such a
# folder as /var/tmp, with its defaults and library, and says so at every start.
if bin="$(mktemp -d /run/camlift-readme-bin.XXXXXX 2>/dev/null)"; then
  chmod 0755 "$bin"
  trap 'rm -rf "$work" "$bin"' EXIT
else
  bin="$work/bin"
fi
mkdir -p "$bin" "$work/sim"
cp "$CAMLIFT_EXE" "$bin/camlift"
cp "$CAMLIFT_SIM_EXE" "$bin/camlift-sim"
cp -r "$root/sim/examples" "$work/sim/examples"

# Runs one example in its namespaces; its output goes to $work/NAME.out. Inside, every file
# system but a fresh /tmp is read-only (the source tree, the build and the host's folders stay as
# they are), /proc shows only the example's processes, and the environment is a clean one: the
# variables of the test run and of the developer's shell (CAMLIFT_*, XDG_*, TMPDIR) stay outside,
# an example sets what it needs.
run_example() {
  local name="$1"
  script_of "$name" >"$work/$name.run" || return 1
  timeout -k 5 "$limit" env -i PATH="$bin:$PATH" ROOT="$work" SCRIPT="$work/$name.run" \
    unshare --net --mount --propagation private --pid --fork --mount-proc --kill-child bash -c '
      set -e
      ip link set lo up
      script="$(cat "$SCRIPT")"
      while read -r _ _ _ _ point options _; do
        case ",$options," in *,rw,*) mount -o remount,bind,ro "$point" ;; esac
      done </proc/self/mountinfo
      mount -t tmpfs camlift-example /tmp
      mkdir -p /tmp/home/example
      cd /tmp/home/example
      ln -s "$ROOT/sim" sim
      exec env -u ROOT -u SCRIPT HOME=/tmp/home bash -e -o pipefail -c "$script"
    ' >"$work/$name.out" 2>&1
}

wanted=("$@")
[ ${#wanted[@]} -gt 0 ] || mapfile -t wanted <"$work/order"
failed=0
for name in "${wanted[@]}"; do
  started=$SECONDS
  if run_example "$name"; then
    echo "ok   $name ($((SECONDS - started)) s)"
  else
    status=$?
    # timeout sends TERM, which unshare waits through; its KILL ends the namespaces' processes.
    [ "$status" -eq 124 ] || [ "$status" -eq 137 ] && status="time-out after $limit s"
    echo "FAIL $name (status $status); the example:"
    sed 's/^/    /' "$work/$name.run"
    echo "  its output:"
    sed 's/^/    /' "$work/$name.out"
    failed=1
  fi
done
[ "$failed" -eq 0 ] || fail "a README example failed"
echo "README examples: ${#wanted[@]} passed"
exit 0
