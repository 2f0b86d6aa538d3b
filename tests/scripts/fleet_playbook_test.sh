#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The playbook of docs/fleet.md, as written there, run by ansible-playbook -c local against two
# simulated sites on loopback in one run: site-a is only planned, site-b is upgraded (one of its
# cameras refuses the account). The files collected on the controller are checked: each site's
# status lines, its plan, site-b's summary and history, nothing of an upgrade at site-a, and no
# camera of site-a touched. As root it runs in network and process namespaces of its own, so
# that nothing it starts outlives it; else on the host's loopback. Exit 77 (skipped) without
# ansible-playbook.
set -uo pipefail

skip() { echo "SKIP: $*"; exit 77; }
: "${CAMLIFT_EXE:?CAMLIFT_EXE must name the camlift binary}"
: "${CAMLIFT_SIM_EXE:?CAMLIFT_SIM_EXE must name the camlift-sim binary}"
command -v ansible-playbook >/dev/null || skip "ansible-playbook (package ansible-core) is not installed"
here="$(cd "$(dirname "$0")" && pwd)"
doc="$here/../../docs/fleet.md"

if [ "$(id -u)" -eq 0 ] && [ -z "${CAMLIFT_FLEET_INSIDE:-}" ]; then
  CAMLIFT_FLEET_INSIDE=1 exec timeout -k 5 280 \
    unshare --net --pid --fork --mount --mount-proc --kill-child bash "$0"
fi
[ -n "${CAMLIFT_FLEET_INSIDE:-}" ] && ip link set lo up

work="$(mktemp -d)"
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; for f in "$work"/*.out; do echo "--- $f"; cat "$f"; done; exit 1; }

# The yaml block after the playbook's marker.
awk '/^<!-- playbook: camlift-fleet.yml -->$/ { found = 1; next }
     found && /^```yaml$/ { inside = 1; next }
     inside && /^```$/ { exit }
     inside { print }' "$doc" >"$work/camlift-fleet.yml"
[ -s "$work/camlift-fleet.yml" ] || fail "no playbook in $doc"

export CAMLIFT_TIME_SCALE=0.01
# site-a: 4 cameras, one excluded by the catalogue; site-b: 4 cameras, the last refuses the
# account.
site() {
  local name="$1" base="$2" port="$3"
  shift 3
  "$CAMLIFT_SIM_EXE" site --count 4 --base-ip "$base" --repo-root "$work/repo-$name" \
    --repo-port "$port" --list "$work/$name.csv" --record "$work/$name-requests.jsonl" \
    --detach "$@" >"$work/sim-$name.out" 2>&1 || fail "site $name did not start"
  pids+=("$(sed -n 's/.*background as process \([0-9]*\) .*/\1/p' "$work/sim-$name.out")")
}
site a 127.0.5.1 18390 --excluded 1
site b 127.0.6.1 18391 --faulty 1

cat >"$work/sites.ini" <<EOF
[camlift_sites]
site-a camlift_list=$work/a.csv camlift_data_dir=$work/data-a camlift_repository=http://127.0.0.1:18390/FM/
site-b camlift_list=$work/b.csv camlift_data_dir=$work/data-b camlift_repository=http://127.0.0.1:18391/FM/ camlift_upgrade=true

[camlift_sites:vars]
ansible_python_interpreter=/usr/bin/python3
camlift=$CAMLIFT_EXE
EOF
mkdir -p "$work/data-a" "$work/data-b" "$work/ansible"
(
  cd "$work" || exit 1
  # Ansible's own files stay in the test's folder; it wants a UTF-8 locale.
  HOME="$work/ansible" ANSIBLE_LOCAL_TEMP="$work/ansible/tmp" ANSIBLE_REMOTE_TEMP="$work/ansible/tmp" \
    ANSIBLE_NOCOLOR=1 ANSIBLE_RETRY_FILES_ENABLED=0 LC_ALL=C.UTF-8 \
    ansible-playbook -c local -i sites.ini camlift-fleet.yml
) >"$work/ansible.out" 2>&1 || fail "ansible-playbook ended with status $?"
# The excluded camera of site-a makes its plan end with status 1: recorded, not a failure.
grep -q "site-a: plan exit status 1\"" "$work/ansible.out" || fail "site-a's plan status"
grep -q "site-b: plan exit status 1, upgrade exit status 1\"" "$work/ansible.out" ||
  fail "site-b's plan and upgrade status"

collected="$work/collected"
# site-a: status and plan only.
[ "$(ls "$collected/site-a" | tr '\n' ' ')" = "plan.json status.jsonl " ] ||
  fail "site-a's files: $(ls "$collected/site-a")"
# site-b: also the summary and the history of the upgrade.
[ "$(ls "$collected/site-b" | tr '\n' ' ')" = "history.jsonl plan.json status.jsonl summary.json " ] ||
  fail "site-b's files: $(ls "$collected/site-b")"

# One status line per camera, with its state.
states() { sed -n 's/.*"ip":"\([0-9.]*\)".*"state":"\([a-z ]*\)".*/\1 \2/p' "$1"; }
[ "$(states "$collected/site-a/status.jsonl" | tr '\n' ';')" = \
  "127.0.5.1 excluded;127.0.5.2 update available;127.0.5.3 update available;127.0.5.4 update available;" ] ||
  fail "site-a's status: $(cat "$collected/site-a/status.jsonl")"
[ "$(states "$collected/site-b/status.jsonl" | tr '\n' ';')" = \
  "127.0.6.1 update available;127.0.6.2 update available;127.0.6.3 update available;127.0.6.4 account refused;" ] ||
  fail "site-b's status: $(cat "$collected/site-b/status.jsonl")"

# The summaries name every camera with its result.
results() { /usr/bin/python3 -c '
import json, sys
for c in json.load(open(sys.argv[1])):
    print(c["ip"], c["result"])' "$1" | tr '\n' ';'; }
[ "$(results "$collected/site-a/plan.json")" = \
  "127.0.5.1 excluded;127.0.5.2 would upgrade 2.0.0.0 → 2.0.0.1;127.0.5.3 would upgrade 84.2.0.121 → 84.2.0.130;127.0.5.4 would upgrade 3.1.8.7 → 3.1.9.7;" ] ||
  fail "site-a's plan: $(cat "$collected/site-a/plan.json")"
[ "$(results "$collected/site-b/summary.json")" = \
  "127.0.6.1 ok;127.0.6.2 ok;127.0.6.3 ok;127.0.6.4 failed;" ] ||
  fail "site-b's summary: $(cat "$collected/site-b/summary.json")"
# Four upgrade runs at site-b, each on record (a run that got its firmware in steps: sent, then
# its outcome); camlift itself reads the collected history back, one row per run.
"$CAMLIFT_EXE" history --data-dir "$collected/site-b" --json >"$work/history.out" 2>&1 ||
  fail "camlift history cannot read the collected history"
[ "$(sed -n 's/.*"ip":"\([0-9.]*\)".*"result":"\([a-z ,]*\)".*/\1 \2/p' "$work/history.out" | sort |
  tr '\n' ';')" = "127.0.6.1 ok;127.0.6.2 ok;127.0.6.3 ok;127.0.6.4 failed;" ] ||
  fail "the collected history: $(cat "$work/history.out")"

# No camera of the planned site got anything but reads.
grep -q '"head":"POST ' "$work/a-requests.jsonl" && fail "a camera of site-a got a POST"
echo "fleet playbook: two sites planned and upgraded by ansible-playbook, their files collected"
exit 0
