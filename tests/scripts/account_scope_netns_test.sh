#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The camera account goes only where the user sent it. A check over a search (camlift status
# without --from or --ip) sends the account only to a camera whose search reply came from the
# very address it names, on a subnet of one of this computer's adapters; every other row is read
# without it and its state says why. Hostile and honest simulated cameras, each with its own
# record of what it received:
#   - an honest camera on the client's loopback (127.0.0.0/8 is an adapter's subnet): it gets
#     the account;
#   - a forger on the LAN whose replies name 127.0.0.22, where another camera records what
#     arrives (its own replies name 127.0.0.23, where nothing listens);
#   - a forger whose replies name 192.0.2.7, beyond the router, where a camera records too;
#   - an honest camera beyond the router (192.0.2.5), which a search sent straight to it finds:
#     its reply comes from its address, but that is on none of the client's networks;
#   - a series K forger that answers the CTP version search in the name of another K camera,
#     which answers late: the version read takes only the camera's own reply.
# No camera but the honest one on loopback may receive the account, in any form. Every namespace
# and link is this script's own and is removed on exit. Needs root; exit 77 (skipped) otherwise.
set -uo pipefail

tag="clas$$"
source "$(dirname "$0")/netns_lib.sh"

fail() { echo "FAIL: $*"; for f in "$work"/*.out "$work"/*.err; do
         [ -f "$f" ] && { echo "--- $f"; cat "$f"; }; done; exit 1; }

router_ns="${tag}rtr"
far_ns="${tag}far"
make_ns "$router_ns"
make_ns "$far_ns"
make_ns "$client"

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
link "$far_ns" 192.0.2.5 192.0.2.1
ip -n "$far_ns" addr add 192.0.2.7/24 dev eth0
link "$client" 198.51.100.10 198.51.100.1
ip netns exec "$router_ns" sh -c 'echo 1 >/proc/sys/net/ipv4/ip_forward' ||
  fail "no forwarding in the router"

export CAMLIFT_TIME_SCALE=0.05
marker="acct7marker5521"  # lower case: the program sends passwords lower-cased
in_ns() { local ns="$1"; shift; ip netns exec "$ns" env -u CAMLIFT_BROADCAST_ADDR "$@"; }

# camera NAMESPACE NAME ARGS...: a simulated camera with the marker password, recording to NAME.
camera() {
  local ns="$1" name="$2"
  shift 2
  in_ns "$ns" "$CAMLIFT_SIM_EXE" camera --password "$marker" --record "$work/$name.jsonl" \
    --name "$name" --detach "$@" >"$work/$name.out" 2>&1 || fail "camera $name did not start"
  pids+=("$(sed -n 's/.*background as process \([0-9]*\) .*/\1/p' "$work/$name.out")")
}
camera "$client" honest --series M --ip 127.0.0.11 --port 8011 --mac 02:00:00:00:00:11 \
  --device-id SIM-M-11
camera "$client" forger --series P --ip 127.0.0.21 --port 8022 --mac 02:00:00:00:00:21 \
  --search-ip 127.0.0.22
camera "$client" named --series P --ip 127.0.0.22 --port 8022 --mac 02:00:00:00:00:22 \
  --search-ip 127.0.0.23
camera "$client" far-forger --series R --ip 127.0.0.31 --port 8031 --upload-port 18631 \
  --mac 02:00:00:00:00:31 --search-ip 192.0.2.7
camera "$far_ns" far-named --series R --ip 192.0.2.7 --port 8031 --mac 02:00:00:00:00:07
camera "$far_ns" beyond --series M --ip 192.0.2.5 --port 8051 --mac 02:00:00:00:00:05 \
  --device-id SIM-M-05
wait_udp "$client" 10000
wait_udp "$client" 6801
wait_udp "$client" 8600
wait_udp "$far_ns" 10000

# status ADDRESS OUT [ARGS...]: a check over a search sent to ADDRESS, as JSON lines.
status() {
  local address="$1" out="$2"
  shift 2
  ip netns exec "$client" env CAMLIFT_BROADCAST_ADDR="$address" "$CAMLIFT_EXE" status \
    --passes 2 --password "$marker" --data-dir "$work/data" "$@" \
    >"$work/$out.out" 2>"$work/$out.err" || fail "camlift status ($out) ended with status $?"
}
status 127.255.255.255 lan --json
status 192.0.2.5 router --json
ip netns exec "$client" env CAMLIFT_BROADCAST_ADDR=127.255.255.255 "$CAMLIFT_EXE" search \
  --passes 2 >"$work/search.out" 2>&1 || fail "camlift search"

# The cases: the row's address, its state and reason in status --json, the record at the address
# the row names, whether that camera must have the account. An empty record name: no camera there.
cases=(
  "lan|127.0.0.11|no firmware||honest|yes"
  "lan|127.0.0.22|account not sent|the search reply came from 127.0.0.21|named|no"
  "lan|127.0.0.23|account not sent|the search reply came from 127.0.0.22||no"
  "lan|192.0.2.7|account not sent|the search reply came from 127.0.0.31|far-named|no"
  "router|192.0.2.5|account not sent|the address is on none of this computer's networks|beyond|no"
)
for entry in "${cases[@]}"; do
  IFS='|' read -r run address state reason record sent <<<"$entry"
  line="$(grep -F "\"ip\":\"$address\"" "$work/$run.out")" || fail "$run: no row for $address"
  grep -qF "\"state\":\"$state\"" <<<"$line" || fail "$run: $address: $line"
  if [ -n "$reason" ]; then
    grep -qF "\"accountNotSent\":\"$reason\"" <<<"$line" || fail "$run: $address: $line"
  fi
  [ -n "$record" ] || continue
  requests="$(grep -c '"method"' "$work/$record.jsonl")"
  [ "$requests" -gt 0 ] || fail "$address: the camera there was not read at all"
  # The password in any form: as it is, in a query, in a Basic header.
  basic="$(printf 'admin:%s' "$marker" | base64)"
  if [ "$sent" = yes ]; then
    grep -qF "$basic" "$work/$record.jsonl" || fail "$address: the account did not arrive"
  else
    grep -qiF -e "$marker" -e "$basic" -e '"authorization"' "$work/$record.jsonl" &&
      fail "$address: the camera there received the account"
  fi
done
# The forger's own address never saw an HTTP request: it only lied.
grep -q '"method"' "$work/forger.jsonl" && fail "the forger at 127.0.0.21 was read"
# The list marks a reply that names another address than its sender's.
grep -qE "127\.0\.0\.22 \(reply from 127\.0\.0\.21\) +8022 +P" "$work/search.out" ||
  fail "camlift search does not mark the forged reply"
grep -qE "127\.0\.0\.11 +8011 +M" "$work/search.out" || fail "camlift search: the honest row"

# A series K version read takes no version that another host sends in the camera's name, also
# when that reply comes first.
camera "$client" k-camera --series K --ip 127.0.0.41 --port 8041 --sys-version 3.1.8.7 \
  --mac 02:00:00:00:00:41 --fault slow-search
camera "$client" k-forger --series K --ip 127.0.0.42 --port 8042 --sys-version 9.9.9.9 \
  --mac 02:00:00:00:00:42 --search-ip 127.0.0.41
wait_udp "$client" 7999
ip netns exec "$client" env CAMLIFT_BROADCAST_ADDR=127.255.255.255 "$CAMLIFT_EXE" status \
  --series K --ip 127.0.0.41 --port 8041 --password "$marker" --data-dir "$work/data" --json \
  >"$work/k.out" 2>"$work/k.err" || fail "camlift status of the K camera"
grep -qF '"current":"3.1.8.7"' "$work/k.out" || fail "the K version read took another host's reply"
# The forger did answer that search (first, as the camera waits before its reply).
grep -qF '"protocol":"CTP-search"' "$work/k-forger.jsonl" || fail "the K forger heard no search"

echo "PASS"
