#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# camlift-sim --detach: returns once the simulator listens, also to a caller that reads its
# stderr; a start that fails says why, ends with status 1 and leaves no process; kill <pid> from
# the ready text stops the simulator. Runs in process and network namespaces of its own, so
# that nothing it starts outlives it. Needs root; exit 77 (skipped) otherwise.
set -uo pipefail

skip() { echo "SKIP: $*"; exit 77; }
[ "$(id -u)" -eq 0 ] || skip "needs root for the namespaces"
: "${CAMLIFT_SIM_EXE:?CAMLIFT_SIM_EXE must name the camlift-sim binary}"

if [ -z "${CAMLIFT_DETACH_INSIDE:-}" ]; then
  CAMLIFT_DETACH_INSIDE=1 exec timeout -k 5 60 \
    unshare --net --pid --fork --mount --mount-proc --kill-child bash "$0"
fi

fail() { echo "FAIL: $*"; exit 1; }
ip link set lo up
sim=("$CAMLIFT_SIM_EXE" camera --series P --port 8081 --password 123456 --detach)
pid_of() { sed -n 's/.*background as process \([0-9]*\) .*/\1/p' <<<"$1"; }

# A command substitution waits for every holder of its pipe: the simulator lets go of stdout and
# stderr once it is ready.
out="$(timeout 10 "${sim[@]}" --ip 127.0.0.5 2>&1)"
status=$?
[ "$status" -eq 0 ] || fail "camlift-sim --detach ended with status $status: $out"
grep -qx "camlift-sim: ready" <<<"$out" || fail "no ready line: $out"
pid="$(pid_of "$out")"
[ -n "$pid" ] && kill -0 "$pid" 2>/dev/null || fail "no simulator process named: $out"

# The address is taken: the error, status 1, no second simulator.
out="$(timeout 10 "${sim[@]}" --ip 127.0.0.5 2>&1)"
status=$?
[ "$status" -eq 1 ] || fail "a start on a taken address ended with status $status: $out"
grep -q "cannot listen on 127.0.0.5:8081: Address already in use" <<<"$out" ||
  fail "the failed start does not say why: $out"
grep -qx "camlift-sim: the simulator ended before it was ready" <<<"$out" ||
  fail "the failed start does not say that the simulator ended: $out"
running="$(pgrep -x camlift-sim | wc -l)"
[ "$running" -eq 1 ] || fail "$running simulators run after a failed start"

kill "$pid"
for i in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$pid" 2>/dev/null && fail "kill $pid did not stop the simulator"
echo "camlift-sim --detach: ready, refused and stopped as it says"
exit 0
