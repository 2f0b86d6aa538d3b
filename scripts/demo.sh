#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Installs what is missing, builds the two programs, and runs the main job: simulated cameras of
# the four series on loopback addresses, a simulated firmware repository, and `camlift upgrade`
# for each camera. Nothing leaves the machine: every address is in 127.0.0.0/8.
# It builds only camlift (with its window) and camlift-sim, without the tests, in build-demo/
# of its own and without optimisation, which compiles fastest: a first run takes a few minutes
# (README: Quick start). scripts/test.sh builds and tests everything.
source "$(dirname "$0")/lib.sh"
install_packages
echo "== build camlift and camlift-sim (build-demo)"
cmake -S "$CAMLIFT_ROOT" -B "$CAMLIFT_ROOT/build-demo" -G Ninja -DCMAKE_BUILD_TYPE=None \
  -DCAMLIFT_TESTS=OFF >/dev/null
cmake --build "$CAMLIFT_ROOT/build-demo" -j "$JOBS" --target camlift camlift-sim

CAMLIFT="$CAMLIFT_ROOT/build-demo/cli/camlift"
SIM="$CAMLIFT_ROOT/build-demo/sim/camlift-sim"
export CAMLIFT_TIME_SCALE="${CAMLIFT_TIME_SCALE:-0.05}"   # a 40 s reboot wait becomes 2 s
export CAMLIFT_BROADCAST_ADDR=127.255.255.255
export LC_ALL=C.UTF-8

work="$(mktemp -d /tmp/camlift-demo.XXXXXX)"
sim_pid=""
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

repo_port=18090
cat > "$work/scenario.json" <<JSON
{
  "record": "$work/record.jsonl",
  "repository": {
    "root": "$work/repo", "ip": "127.0.0.1", "port": $repo_port,
    "firmware": [
      {"folder": "system", "section": "1.2.3", "kind": "sys", "series": "M", "version": "1.2.3.5"},
      {"folder": "system", "section": "P100", "kind": "sys", "series": "P", "version": "2.0.0.1"},
      {"folder": "system", "section": "R730", "kind": "sys", "series": "R", "version": "84.2.0.130"},
      {"folder": "system", "section": "3.1.X.7", "kind": "sys", "series": "K", "version": "3.1.9.7"}
    ]
  },
  "cameras": [
    {"name": "hall-m", "series": "M", "ip": "127.0.0.2", "port": 8081, "password": "123456",
     "sys_version": "1.2.3.4", "model": "M20"},
    {"name": "door-p", "series": "P", "ip": "127.0.0.3", "port": 8081, "password": "123456",
     "sys_version": "2.0.0.0", "model": "P100"},
    {"name": "yard-r", "series": "R", "ip": "127.0.0.4", "port": 8081, "password": "123456",
     "sys_version": "84.2.0.121", "model": "R730"},
    {"name": "gate-k", "series": "K", "ip": "127.0.0.5", "port": 8081, "password": "123456",
     "sys_version": "3.1.8.7", "model": "K10"}
  ]
}
JSON

echo "== starting camlift-sim (cameras on 127.0.0.2-5, repository on 127.0.0.1:$repo_port)"
"$SIM" run --scenario "$work/scenario.json" > "$work/sim.out" 2> "$work/sim.err" &
sim_pid=$!
for _ in $(seq 1 100); do
  grep -q "ready" "$work/sim.out" 2>/dev/null && break
  kill -0 "$sim_pid" 2>/dev/null || { cat "$work/sim.err"; exit 1; }
  sleep 0.1
done

status=0
for camera in "M 127.0.0.2" "P 127.0.0.3" "R 127.0.0.4" "K 127.0.0.5"; do
  set -- $camera
  echo
  echo "== camlift upgrade --series $1 --ip $2 --port 8081"
  CAMLIFT_PASSWORD=123456 "$CAMLIFT" upgrade --series "$1" --ip "$2" --port 8081 \
      --repository "http://127.0.0.1:$repo_port/FM/" --data-dir "$work/data" || status=1
done
echo
if [ $status -eq 0 ]; then echo "== all simulated cameras upgraded"; else echo "== an upgrade failed"; fi
exit $status
