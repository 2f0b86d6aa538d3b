#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# A series K camera on another subnet: the camera's namespace and the client's are joined by a
# routing namespace, so no broadcast of the client reaches the camera. camlift upgrade --series K
# reads its version through the CTP search sent straight to the camera's address, then upgrades
# it across the router. Then, in a namespace with nothing but loopback and no route, the
# broadcast cannot go out: a K camera on loopback is still upgraded (without
# CAMLIFT_BROADCAST_ADDR), and camlift search and the upgrade log name the address and reason.
# Every namespace and link is this script's own and is removed on exit. Needs root; exit 77
# (skipped) otherwise.
set -uo pipefail

tag="clkr$$"
source "$(dirname "$0")/netns_lib.sh"

fail() { echo "FAIL: $*"; for f in "$work"/*.out "$work"/*.log; do
         [ -f "$f" ] && { echo "--- $f"; cat "$f"; }; done; exit 1; }

camera_ns="${tag}cam"
router_ns="${tag}rtr"
lonely_ns="${tag}lo"
make_ns "$camera_ns"
make_ns "$router_ns"
make_ns "$client"
make_ns "$lonely_ns"

# link NAMESPACE ADDRESS ROUTER-ADDRESS: a veth from the router to the namespace's eth0, the
# namespace's default route through the router.
link_index=0
link() {
  local ns="$1" address="$2" gateway="$3" port="r$link_index"
  link_index=$((link_index + 1))
  ip -n "$router_ns" link add "$port" type veth peer name eth0 netns "$ns" || fail "veth to $ns"
  ip -n "$router_ns" addr add "$gateway/24" dev "$port"
  ip -n "$router_ns" link set "$port" up
  ip -n "$ns" addr add "$address/24" brd + dev eth0
  ip -n "$ns" link set eth0 up
  ip -n "$ns" route add default via "$gateway"
}
link "$camera_ns" 192.0.2.5 192.0.2.1
link "$client" 198.51.100.10 198.51.100.1
ip netns exec "$router_ns" sh -c 'echo 1 >/proc/sys/net/ipv4/ip_forward' ||
  fail "no forwarding in the router"

export CAMLIFT_TIME_SCALE=0.01
in_ns() { local ns="$1"; shift; ip netns exec "$ns" env -u CAMLIFT_BROADCAST_ADDR "$@"; }

# The repository beside the client, the camera behind the router.
in_ns "$client" "$CAMLIFT_SIM_EXE" repo add --root "$work/repo" --folder system \
  --section 3.1.X.7 --kind sys --version 3.1.9.7 --series K >"$work/repo-add.out" 2>&1 ||
  fail "repo add"
in_ns "$client" "$CAMLIFT_SIM_EXE" repo serve --root "$work/repo" --ip 127.0.0.1 --port 18091 \
  --detach >"$work/repo.out" 2>&1 || fail "repo serve"
pids+=("$(sed -n 's/.*background as process \([0-9]*\) .*/\1/p' "$work/repo.out")")
grep -q '^export CAMLIFT_TIME_SCALE=0.01 CAMLIFT_BROADCAST_ADDR=127.255.255.255$' \
  "$work/repo.out" || fail "the simulator did not print the line a client needs"
in_ns "$camera_ns" "$CAMLIFT_SIM_EXE" camera --series K --ip 192.0.2.5 --port 8081 \
  --password 123456 --sys-version 3.1.8.7 --record "$work/camera.jsonl" --detach \
  >"$work/camera.out" 2>&1 || fail "the K camera did not start"
pids+=("$(sed -n 's/.*background as process \([0-9]*\) .*/\1/p' "$work/camera.out")")
# A camera outside 127.0.0.0/8: the client's own search of every adapter reaches it.
grep -q '^export CAMLIFT_TIME_SCALE=0.01; unset CAMLIFT_BROADCAST_ADDR$' "$work/camera.out" ||
  fail "the camera's client line: $(tail -1 "$work/camera.out")"

in_ns "$client" "$CAMLIFT_EXE" upgrade --series K --ip 192.0.2.5 --port 8081 --password 123456 \
  --repository http://127.0.0.1:18091/FM/ --data-dir "$work/data" >"$work/upgrade.out" 2>&1 ||
  fail "camlift upgrade across the router ended with status $?"
grep -q "3\.1\.8\.7" "$work/upgrade.out" || fail "the log does not show the version read"
# The camera heard the search only on its own address, from the client's side of the router.
grep -F '"protocol":"CTP-search"' "$work/camera.jsonl" >"$work/searches.log" ||
  fail "the camera recorded no CTP search"
grep -F '"direct":true' "$work/searches.log" | grep -qF '"peer":"198.51.100.10:' ||
  fail "the camera recorded no direct search from 198.51.100.10"
grep -qF '"direct":false' "$work/searches.log" && fail "a broadcast crossed the router"

# Nothing but loopback and no CAMLIFT_BROADCAST_ADDR: 255.255.255.255 has no route.
in_ns "$lonely_ns" "$CAMLIFT_EXE" search --passes 1 >"$work/search.out" 2>&1 ||
  fail "camlift search failed"
grep -q "^The search datagram could not be sent to 255\.255\.255\.255:10000, 4000, 10139, 7999, 6801: Network is unreachable$" \
  "$work/search.out" || fail "camlift search does not say why its search could not go out"
[ "$(grep -c "could not be sent" "$work/search.out")" -eq 1 ] ||
  fail "a refused send is named more than once"
# A K camera on loopback there: the broadcast cannot go out, the search sent straight to the
# camera finds it, and the upgrade works without CAMLIFT_BROADCAST_ADDR.
in_ns "$lonely_ns" "$CAMLIFT_SIM_EXE" repo serve --root "$work/repo" --ip 127.0.0.1 --port 18091 \
  --detach >"$work/lonely-repo.out" 2>&1 || fail "repo serve in the loopback namespace"
pids+=("$(sed -n 's/.*background as process \([0-9]*\) .*/\1/p' "$work/lonely-repo.out")")
in_ns "$lonely_ns" "$CAMLIFT_SIM_EXE" camera --series K --ip 127.0.0.5 --port 8081 \
  --password 123456 --sys-version 3.1.8.7 --detach >"$work/k-loopback.out" 2>&1 ||
  fail "the K camera on loopback did not start"
pids+=("$(sed -n 's/.*background as process \([0-9]*\) .*/\1/p' "$work/k-loopback.out")")
in_ns "$lonely_ns" "$CAMLIFT_EXE" upgrade --series K --ip 127.0.0.5 --port 8081 \
  --password 123456 --repository http://127.0.0.1:18091/FM/ --data-dir "$work/data3" \
  >"$work/k-loopback-upgrade.out" 2>&1 ||
  fail "camlift upgrade of a K camera on loopback without CAMLIFT_BROADCAST_ADDR"

# A camera that takes the connection but answers no CTP search (series P): the upgrade log
# says why the search could not go out before the version failure.
in_ns "$lonely_ns" "$CAMLIFT_SIM_EXE" camera --series P --ip 127.0.0.6 --port 8081 \
  --password 123456 --detach >"$work/p-camera.out" 2>&1 || fail "the P camera did not start"
pids+=("$(sed -n 's/.*background as process \([0-9]*\) .*/\1/p' "$work/p-camera.out")")
in_ns "$lonely_ns" "$CAMLIFT_EXE" upgrade --series K --ip 127.0.0.6 --port 8081 \
  --password 123456 --repository http://127.0.0.1:18091/FM/ --data-dir "$work/data2" \
  >"$work/lonely-upgrade.out" 2>&1 && fail "the version read of a camera that does not answer worked"
grep -A1 "The search datagram could not be sent to 255\.255\.255\.255:7999: Network is unreachable" \
  "$work/lonely-upgrade.out" | grep -q "Failed on reading present version information\." ||
  fail "the upgrade log does not say why the search could not go out"

echo "series K across a router: upgraded; refused sends named"
exit 0
