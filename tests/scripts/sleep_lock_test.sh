#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The computer stays awake while cameras are flashed: camlift upgrade and a batch ask the login
# manager for one lock against sleep and idle at their first upload and let go of it when the run
# ends, however it ends. A fake login manager (python3-dbusmock's logind template, which lists
# the locks still held) runs on a bus of the test's own. Cases:
#   - runs that end before any upload (an unreachable camera, a dry run that downloads) ask
#     for nothing;
#   - a successful upgrade, a refused upload and a batch of three each ask once (the batch's
#     reason names three cameras), and hold nothing afterwards;
#   - Ctrl+C and SIGTERM while the camera is away after its upload: the lock is held until then
#     and gone after;
#   - no bus at all: the upgrade and a batch go on and say once that sleep could not be held off.
# As root it runs in network and process namespaces of its own, so that nothing it starts
# outlives it; else on the host's loopback. Exit 77 (skipped) without dbus-daemon, dbus-send or
# python3-dbusmock.
set -uo pipefail

skip() { echo "SKIP: $*"; exit 77; }
: "${CAMLIFT_EXE:?CAMLIFT_EXE must name the camlift binary}"
: "${CAMLIFT_SIM_EXE:?CAMLIFT_SIM_EXE must name the camlift-sim binary}"
command -v dbus-daemon >/dev/null && command -v dbus-send >/dev/null ||
  skip "dbus-daemon and dbus-send (packages dbus-daemon, dbus-bin) are not installed"
# Debian's python, which has the package (not one that a version manager put first).
/usr/bin/python3 -c 'import dbusmock' 2>/dev/null || skip "python3-dbusmock is not installed"

if [ "$(id -u)" -eq 0 ] && [ -z "${CAMLIFT_SLEEP_LOCK_INSIDE:-}" ]; then
  CAMLIFT_SLEEP_LOCK_INSIDE=1 exec timeout -k 5 280 \
    unshare --net --pid --fork --mount --mount-proc --kill-child bash "$0"
fi
[ -n "${CAMLIFT_SLEEP_LOCK_INSIDE:-}" ] && ip link set lo up

work="$(mktemp -d)"
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; for f in "$work"/*.out; do echo "--- $f"; cat "$f"; done; exit 1; }

export CAMLIFT_TIME_SCALE=0.05
dbus-daemon --session --nofork --address="unix:path=$work/bus" >/dev/null 2>&1 &
pids+=($!)
export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$work/bus"
/usr/bin/python3 -m dbusmock --system --template logind -l "$work/calls.log" >/dev/null 2>&1 &
pids+=($!)

# The locks held now and the Inhibit calls so far, one "what|who|why|mode" line each.
locks() {
  dbus-send --system --print-reply --dest=org.freedesktop.login1 /org/freedesktop/login1 \
    org.freedesktop.login1.Manager.ListInhibitors 2>/dev/null |
    sed -n 's/^ *string "\(.*\)"$/\1/p' | paste -d'|' - - - -
}
calls() {
  sed -n 's/^[^ ]* Inhibit "\(.*\)" "\(.*\)" "\(.*\)" "\(.*\)"$/\1|\2|\3|\4/p' \
    "$work/calls.log" 2>/dev/null
}
ready=0
for i in $(seq 1 600); do
  dbus-send --system --print-reply --dest=org.freedesktop.login1 /org/freedesktop/login1 \
    org.freedesktop.login1.Manager.ListInhibitors >/dev/null 2>&1 && { ready=1; break; }
  sleep 0.1
done
[ "$ready" -eq 1 ] || fail "the fake login manager did not come up"

"$CAMLIFT_SIM_EXE" repo add --root "$work/repo" --folder system --section SIM100 --series P \
  --version 1.0.0.2 >"$work/repo-add.out" 2>&1 || fail "repo add"
"$CAMLIFT_SIM_EXE" repo serve --root "$work/repo" --ip 127.0.0.1 --port 18190 --detach \
  >"$work/repo.out" 2>&1 || fail "the repository did not start"
pids+=("$(sed -n 's/.*background as process \([0-9]*\) .*/\1/p' "$work/repo.out")")
camera() {
  local ip="$1"
  shift
  "$CAMLIFT_SIM_EXE" camera --series P --ip "$ip" --port 8081 --reboot-ms 2000 --detach "$@" \
    >"$work/camera-$ip.out" 2>&1 || fail "camera $ip did not start"
  pids+=("$(sed -n 's/.*background as process \([0-9]*\) .*/\1/p' "$work/camera-$ip.out")")
}
for ip in 127.0.0.11 127.0.0.21 127.0.0.22 127.0.0.23 127.0.0.41 127.0.0.51 127.0.0.52 \
  127.0.0.53; do
  camera "$ip"
done
camera 127.0.0.12 --fault close-mid-upload --close-after-bytes 1000
camera 127.0.0.31 --fault never-returns
camera 127.0.0.32 --fault never-returns
printf 'ip,port,series,user,password\n' >"$work/batch.csv"
printf '127.0.0.%s,8081,P,admin,\n' 21 22 23 >>"$work/batch.csv"
printf 'ip,port,series,user,password\n127.0.0.52,8081,P,admin,\n127.0.0.53,8081,P,admin,\n' \
  >"$work/nobus.csv"

repository=(--repository http://127.0.0.1:18190/FM/ --data-dir "$work/data")
one() { "$CAMLIFT_EXE" upgrade --series P --ip "$1" --port 8081 "${repository[@]}"; }
batch() { "$CAMLIFT_EXE" upgrade --from "$1" --jobs 2 "${repository[@]}" "${@:2}"; }
held_one="sleep:idle|Camlift|Camera firmware upgrade in progress; cameras: 1|block"
not_held="The computer could not be kept from going to sleep during the upgrade"

# check NAME STATUS EXPECTED-CALLS COMMAND...: the run ends with STATUS, the Inhibit calls it
# made are EXPECTED-CALLS (lines), and no lock is held after it.
check() {
  local name="$1" status="$2" expected="$3" before after
  shift 3
  before="$(calls | wc -l)"
  "$@" >"$work/$name.out" 2>&1
  local got=$?
  [ "$got" -eq "$status" ] || fail "$name: status $got, expected $status"
  after="$(calls | tail -n +$((before + 1)))"
  [ "$after" = "$expected" ] || fail "$name: Inhibit calls [$after], expected [$expected]"
  # The template sees a lock go when its pipe hangs up: wait for that, bounded.
  for i in $(seq 1 100); do [ -z "$(locks)" ] && break; sleep 0.1; done
  [ -z "$(locks)" ] || fail "$name: a lock is still held after the run: $(locks)"
  grep -q "$not_held" "$work/$name.out" && fail "$name: says sleep could not be held off"
  return 0
}
check unreachable 1 "" one 127.0.0.99
check dry-run 0 "" batch "$work/batch.csv" --dry-run
check upgraded 0 "$held_one" one 127.0.0.11
check upload-refused 1 "$held_one" one 127.0.0.12
check batch 0 "sleep:idle|Camlift|Camera firmware upgrade in progress; cameras: 3|block" \
  batch "$work/batch.csv"

# stopped NAME SIGNAL CAMERA: the run waits for a camera that never returns; the lock is held
# until the signal ends the run, and gone after.
stopped() {
  local name="$1" signal="$2" ip="$3" before
  before="$(calls | wc -l)"
  # The program itself in the background, not a subshell around it: the signal is for it.
  "$CAMLIFT_EXE" upgrade --series P --ip "$ip" --port 8081 "${repository[@]}" \
    >"$work/$name.out" 2>&1 &
  local pid=$!
  for i in $(seq 1 600); do
    grep -q "Successfully upgrade ROM" "$work/$name.out" && break
    sleep 0.1
  done
  grep -q "Successfully upgrade ROM" "$work/$name.out" || fail "$name: the upload did not end"
  [ "$(locks)" = "$held_one" ] || fail "$name: held while the camera is away: [$(locks)]"
  kill "-$signal" "$pid"
  wait "$pid"
  local got=$?
  [ "$got" -eq 1 ] || fail "$name: status $got after SIG$signal"
  # The camera took its firmware: the stop ends only the wait, and the run says so.
  grep -q "Only the wait for it was stopped." "$work/$name.out" ||
    fail "$name: the run did not end as a stop of the wait"
  [ "$(calls | tail -n +$((before + 1)))" = "$held_one" ] || fail "$name: Inhibit calls"
  for i in $(seq 1 100); do [ -z "$(locks)" ] && break; sleep 0.1; done
  [ -z "$(locks)" ] || fail "$name: a lock is still held after SIG$signal: $(locks)"
}
stopped ctrl-c INT 127.0.0.31
stopped sigterm TERM 127.0.0.32

# No login manager at all (a container): the runs go on and say so once each.
export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$work/no-bus"
"$CAMLIFT_EXE" upgrade --series P --ip 127.0.0.41 --port 8081 "${repository[@]}" \
  >"$work/no-bus.out" 2>&1 || fail "no bus: the upgrade failed"
batch "$work/nobus.csv" >"$work/no-bus-batch.out" 2>&1 || fail "no bus: the batch failed"
for name in no-bus no-bus-batch; do
  count="$(grep -c "$not_held" "$work/$name.out")"
  [ "$count" -eq 1 ] || fail "$name: said $count times that sleep could not be held off"
done
grep -q "${not_held}; keep it awake until the upgrade has ended:no system bus: No such file" \
  "$work/no-bus.out" || fail "no bus: the line does not say why"
echo "sleep lock: asked for at the first upload, held until the run ends, and said when missing"
exit 0
