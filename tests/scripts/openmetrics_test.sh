#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# camlift status --openmetrics FILE against a simulated site, read back by the Prometheus client's
# own parser (python3-prometheus-client), as a node exporter's textfile collector would read it:
#   - one sample of each family per camera, for every state a site shows (update available, up to
#     date, excluded, account refused, unreachable), and the time of the run;
#   - the file is replaced whole: an older, longer file leaves nothing behind, no temporary file
#     stays in the folder;
#   - a write into a folder that does not exist: status 1 with the reason, the table still
#     printed.
# As root it runs in network and process namespaces of its own, so that nothing it starts
# outlives it; else on the host's loopback. Exit 77 (skipped) without python3-prometheus-client.
set -uo pipefail

skip() { echo "SKIP: $*"; exit 77; }
: "${CAMLIFT_EXE:?CAMLIFT_EXE must name the camlift binary}"
: "${CAMLIFT_SIM_EXE:?CAMLIFT_SIM_EXE must name the camlift-sim binary}"
# Debian's python, which has the package (not one that a version manager put first).
/usr/bin/python3 -c 'import prometheus_client.parser' 2>/dev/null ||
  skip "python3-prometheus-client is not installed"

if [ "$(id -u)" -eq 0 ] && [ -z "${CAMLIFT_OPENMETRICS_INSIDE:-}" ]; then
  CAMLIFT_OPENMETRICS_INSIDE=1 exec timeout -k 5 200 \
    unshare --net --pid --fork --mount --mount-proc --kill-child bash "$0"
fi
[ -n "${CAMLIFT_OPENMETRICS_INSIDE:-}" ] && ip link set lo up

work="$(mktemp -d)"
sim_pid=""
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; for f in "$work"/*.out; do echo "--- $f"; cat "$f"; done; exit 1; }

export CAMLIFT_TIME_SCALE=0.05
# Six cameras: M excluded, P up to date, R, K and M with an update, P refusing the account.
"$CAMLIFT_SIM_EXE" site --count 6 --faulty 1 --excluded 1 --up-to-date 1 --base-ip 127.0.7.1 \
  --repo-root "$work/repo" --repo-port 18290 --list "$work/site.csv" --detach \
  >"$work/sim.out" 2>&1 || fail "the site did not start"
sim_pid="$(sed -n 's/.*background as process \([0-9]*\) .*/\1/p' "$work/sim.out")"
# And one camera that is not there.
printf '127.0.7.99,8081,P,admin,123456\n' >>"$work/site.csv"

mkdir "$work/textfile"
metrics="$work/textfile/camlift.prom"
# An older file, longer than the new one: nothing of it may remain.
for i in $(seq 1 400); do echo "# an older run's line $i"; done >"$metrics"
status() {
  "$CAMLIFT_EXE" status --from "$work/site.csv" --repository http://127.0.0.1:18290/FM/ \
    --data-dir "$work/data" --openmetrics "$1"
}
before="$(date +%s)"
status "$metrics" >"$work/status.out" 2>&1 || fail "status ended with status $?"
after="$(date +%s)"
[ "$(ls -A "$work/textfile")" = "camlift.prom" ] ||
  fail "the folder holds more than the file: $(ls -A "$work/textfile")"
grep -q "older run" "$metrics" && fail "a line of the older file remains"

# Every sample as the parser reads it: "name{label=value,...} value", labels sorted by name.
/usr/bin/python3 - "$metrics" >"$work/parsed.out" 2>&1 <<'EOF' || fail "the parser refused the file"
import sys
from prometheus_client.parser import text_string_to_metric_families
with open(sys.argv[1], encoding="utf-8") as f:
    text = f.read()
for family in text_string_to_metric_families(text):
    assert family.type == "gauge", family
    for s in family.samples:
        labels = ",".join(f"{k}={v}" for k, v in sorted(s.labels.items()))
        print(f"{s.name}{{{labels}}} {s.value:.0f}")
EOF
grep -v '^camlift_status_last_run_timestamp_seconds' "$work/parsed.out" >"$work/cameras.txt"
cat >"$work/expected.txt" <<'EOF'
camlift_camera_info{current=1.2.3.2,ip=127.0.7.1,latest=1.2.3.5,model=camlift,port=8081,series=M} 1
camlift_camera_info{current=2.0.0.1,ip=127.0.7.2,latest=2.0.0.1,model=P100,port=8081,series=P} 1
camlift_camera_info{current=84.2.0.121,ip=127.0.7.3,latest=84.2.0.130,model=R730,port=8081,series=R} 1
camlift_camera_info{current=3.1.8.7,ip=127.0.7.4,latest=3.1.9.7,model=camlift,port=8081,series=K} 1
camlift_camera_info{current=1.2.3.4,ip=127.0.7.5,latest=1.2.3.5,model=camlift,port=8081,series=M} 1
camlift_camera_info{current=,ip=127.0.7.6,latest=,model=,port=8081,series=P} 1
camlift_camera_info{current=,ip=127.0.7.99,latest=,model=,port=8081,series=P} 1
camlift_camera_update_available{ip=127.0.7.1,port=8081} 0
camlift_camera_update_available{ip=127.0.7.2,port=8081} 0
camlift_camera_update_available{ip=127.0.7.3,port=8081} 1
camlift_camera_update_available{ip=127.0.7.4,port=8081} 1
camlift_camera_update_available{ip=127.0.7.5,port=8081} 1
camlift_camera_update_available{ip=127.0.7.6,port=8081} 0
camlift_camera_update_available{ip=127.0.7.99,port=8081} 0
camlift_camera_reachable{ip=127.0.7.1,port=8081} 1
camlift_camera_reachable{ip=127.0.7.2,port=8081} 1
camlift_camera_reachable{ip=127.0.7.3,port=8081} 1
camlift_camera_reachable{ip=127.0.7.4,port=8081} 1
camlift_camera_reachable{ip=127.0.7.5,port=8081} 1
camlift_camera_reachable{ip=127.0.7.6,port=8081} 1
camlift_camera_reachable{ip=127.0.7.99,port=8081} 0
camlift_camera_account_refused{ip=127.0.7.1,port=8081} 0
camlift_camera_account_refused{ip=127.0.7.2,port=8081} 0
camlift_camera_account_refused{ip=127.0.7.3,port=8081} 0
camlift_camera_account_refused{ip=127.0.7.4,port=8081} 0
camlift_camera_account_refused{ip=127.0.7.5,port=8081} 0
camlift_camera_account_refused{ip=127.0.7.6,port=8081} 1
camlift_camera_account_refused{ip=127.0.7.99,port=8081} 0
EOF
diff -u "$work/expected.txt" "$work/cameras.txt" >"$work/diff.out" || fail "the samples differ"
stamp="$(sed -n 's/^camlift_status_last_run_timestamp_seconds{} //p' "$work/parsed.out")"
[ -n "$stamp" ] && [ "$stamp" -ge "$before" ] && [ "$stamp" -le "$after" ] ||
  fail "the time of the run is $stamp, not within $before..$after"

# A folder that does not exist: the table is printed, the run fails and says why.
status "$work/nowhere/camlift.prom" >"$work/nowhere.out" 2>&1
got=$?
[ "$got" -eq 1 ] || fail "a write into a missing folder ended with status $got"
grep -q "^127.0.7.2 " "$work/nowhere.out" || fail "no table before the failed write"
grep -q "camlift: cannot write $work/nowhere/camlift.prom: No such file or directory" \
  "$work/nowhere.out" || fail "the failed write does not say why"
echo "openmetrics: every camera's samples read back by the Prometheus parser, the file replaced whole"
exit 0
