#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The README-examples runner against a README of its own: an example that writes outside its
# temporary folder, leaves a process behind after failing, or hangs, must fail without touching
# the host, leave nothing running and end within its time. Needs root; exit 77 (skipped)
# otherwise.
set -uo pipefail

skip() { echo "SKIP: $*"; exit 77; }
fail() { echo "FAIL: $*"; [ -f "$work/run.out" ] && cat "$work/run.out"; exit 1; }
[ "$(id -u)" -eq 0 ] || skip "needs root for the namespaces of the examples"
: "${CAMLIFT_EXE:?CAMLIFT_EXE must name the camlift binary}"
: "${CAMLIFT_SIM_EXE:?CAMLIFT_SIM_EXE must name the camlift-sim binary}"

work="$(mktemp -d /var/tmp/camlift-sandbox.XXXXXX)"
trap 'rm -rf "$work"' EXIT
marker="camlift-sandbox-$$"

cat >"$work/README.md" <<TEXT
<!-- example: clean -->
\`\`\`sh
test "\$HOME" = /tmp/home
test -z "\${CAMLIFT_REPOSITORY_URL:-}\${XDG_CONFIG_HOME:-}\${ROOT:-}"
test "\$(ls /proc | grep -c "^[0-9]")" -lt 10
camlift-sim --help >/dev/null
touch /tmp/$marker ~/inside
\`\`\`

<!-- example: writes-outside -->
\`\`\`sh
touch $work/escaped
\`\`\`

<!-- example: leaves-a-process -->
\`\`\`sh
sh -c 'sleep 300; : $marker' &
false
\`\`\`

<!-- example: hangs -->
\`\`\`sh
sleep 300
\`\`\`
TEXT

started=$SECONDS
CAMLIFT_REPOSITORY_URL=http://192.0.2.1/FM/ XDG_CONFIG_HOME="$work/config" README="$work/README.md" \
  CAMLIFT_EXAMPLE_SECONDS=3 bash "$(dirname "$0")/readme_examples_test.sh" >"$work/run.out" 2>&1
status=$?
[ "$status" -eq 1 ] || fail "the runner ended with status $status"
[ $((SECONDS - started)) -lt 60 ] || fail "the runner took $((SECONDS - started)) s"
grep -q "^ok   clean " "$work/run.out" || fail "the clean example did not pass"
grep -q "^FAIL writes-outside " "$work/run.out" || fail "a write outside /tmp passed"
[ ! -e "$work/escaped" ] || fail "an example wrote $work/escaped"
[ ! -e "/tmp/$marker" ] || { rm -f "/tmp/$marker"; fail "an example wrote the host's /tmp"; }
grep -q "^FAIL leaves-a-process (status 1)" "$work/run.out" || fail "leaves-a-process"
grep -q "^FAIL hangs (status time-out after 3 s)" "$work/run.out" || fail "the hang"
pgrep -f "$marker" >/dev/null && fail "a process of a failed example is still running"
echo "README examples: writes outside, processes and hangs stay inside"
exit 0
