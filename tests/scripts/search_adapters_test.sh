#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# camlift search on a PC with two adapters: a client namespace with one interface on each of two
# bridges, simulated cameras behind each bridge. The limited broadcast leaves through the adapter
# of the default route only; the directed broadcasts reach the other network too. Replies that
# come twice (limited and directed broadcast on the same network) still give one row. Also: the
# CSV form, and the diagnosis of a search that finds nothing while another program holds one of
# its ports. Everything lives in namespaces this script creates and removes: the host's namespace
# never carries a datagram of the test. Needs root and `ip netns`; exit 77 (skipped) otherwise.
set -uo pipefail

tag="clad$$"
lonely="${tag}lone"
source "$(dirname "$0")/netns_lib.sh"

fail() { echo "FAIL: $*"; for f in "$work"/*.out "$work"/*.err; do
           [ -f "$f" ] && { echo "--- $f"; cat "$f"; }; done; exit 1; }

# Two networks, each a bridge in the hub namespace (and a third for the empty network).
for bridge in brA brB brC; do make_bridge "$bridge"; done

# The PC: Ethernet on network A carries the default route, the second adapter is on network B.
make_ns "$client"
join "$client" brA eth0 192.0.2.10
join "$client" brB eth1 198.51.100.10
ip -n "$client" route add default dev eth0

# camera NAME SERIES BRIDGE ADDRESS MAC ID: one simulated camera in a namespace of its own.
camera() {
  local name="$1" series="$2" bridge="$3" address="$4" mac="$5" id="$6" ns="${tag}$1"
  make_ns "$ns"
  join "$ns" "$bridge" eth0 "$address"
  ip -n "$ns" route add default dev eth0
  ip netns exec "$ns" "$CAMLIFT_SIM_EXE" camera --series "$series" --ip "$address" --port 80 \
    --name "$name" --mac "$mac" --device-id "$id" --device-name "Cam $name" \
    --netmask 255.255.255.0 --sys-version 3.1.4.1 \
    --record "$work/$name.jsonl" >"$work/$name.log" 2>&1 &
  pids+=($!)
}

camera moiA M brA 192.0.2.21 02:00:00:00:00:21 SIM-M-21
camera ktextA K brA 192.0.2.24 02:00:00:00:00:24 SIM-K-24
camera p1010B P brB 198.51.100.22 02:00:00:00:00:22 SIM-P-22
camera p1010A P brA 192.0.2.25 02:00:00:00:00:25 SIM-P-25
camera r8600B R brB 198.51.100.23 02:00:00:00:00:23 SIM-R-23

wait_udp "${tag}moiA" 10000
wait_udp "${tag}ktextA" 7999
wait_udp "${tag}p1010B" 6801
wait_udp "${tag}p1010A" 6801
wait_udp "${tag}r8600B" 8600

# search [ENV...] -- ARGS...: camlift search in the client namespace.
search() {
  local out="$1"
  shift
  ip netns exec "$client" env -u CAMLIFT_BROADCAST_ADDR CAMLIFT_TIME_SCALE=0.1 "$@" \
    >"$work/$out.out" 2>"$work/$out.err"
}

# Only the limited broadcast: network B stays dark, which is what the adapters fix.
search limited CAMLIFT_BROADCAST_ADDR=255.255.255.255 "$CAMLIFT_EXE" search --json --passes 2 ||
  fail "camlift search (limited broadcast only) failed"
grep -q '"ip":"192.0.2.21"' "$work/limited.out" || fail "network A not searched at all"
grep -q '"ip":"198.51.100.' "$work/limited.out" &&
  fail "network B answered the limited broadcast; this network cannot show the adapters"

# Every adapter.
search every "$CAMLIFT_EXE" search --json --passes 3 || fail "camlift search failed"
for entry in 192.0.2.21:2 192.0.2.24:5 198.51.100.22:8 198.51.100.23:9 192.0.2.25:8; do
  ip="${entry%%:*}" type="${entry##*:}"
  count="$(grep -F "\"ip\":\"$ip\"" "$work/every.out" | grep -cF "\"devType\":$type,")"
  [ "$count" -eq 1 ] || fail "expected one row for $ip (type $type), got $count"
done
lines="$(wc -l <"$work/every.out")"
[ "$lines" -eq 5 ] || fail "expected 5 rows, got $lines"
# The camera on network A heard each query twice (limited and directed broadcast) and answered
# both: still one row.
queries="$(grep -c '"dialect":"moi"' "$work/moiA.jsonl")"
[ "$queries" -ge 6 ] || fail "the MO_I camera on network A heard $queries queries in 3 passes"
# The 1010 exchange went through the second adapter to its end.
grep -q '"datagram":"10100f0f' "$work/p1010B.jsonl" || fail "the 1010 DDNS request never came"
# The 1010 camera on network A hears every query twice and answers both copies; each follow-up
# still goes out once per pass and address (before, they doubled with every step: 2, 4, 8). It
# also hears the requests for the camera on network B (the limited broadcast), which it does not
# answer: only the ones it answers are its own. Commands are little-endian: 0x0F01 is "010f".
count_1010() { grep "\"datagram\":\"1010$1" "$work/p1010A.jsonl" | grep -c '"answers":1'; }
queries_a="$(count_1010 010f)" info_a="$(count_1010 120f)" ddns_a="$(count_1010 0f0f)"
[ "$info_a" -ge 1 ] && [ "$ddns_a" -ge 1 ] || fail "the 1010 camera on network A got no follow-ups"
[ "$info_a" -le "$queries_a" ] && [ "$ddns_a" -le "$queries_a" ] ||
  fail "1010 follow-ups multiplied: $queries_a queries, $info_a info, $ddns_a DDNS requests"

# The same list as the dialog exports it.
search csv "$CAMLIFT_EXE" search --csv --passes 3 || fail "camlift search --csv failed"
head -c 3 "$work/csv.out" | od -An -tx1 | grep -q 'ef bb bf' || fail "the CSV lacks its BOM"
header="$(head -1 "$work/csv.out" | tail -c +4 | tr -d '\r')"
[ "$header" = "Type,Series,Name,IP address,Port,Version,ID,Serial,Netmask,Gateway,DNS1,DNS2,DHCP,DDNS host,DDNS user" ] ||
  fail "CSV header: $header"
grep -q $'^R,R,Cam r8600B,198.51.100.23,80,3.1.4.1,02:00:00:00:00:23,' "$work/csv.out" ||
  fail "CSV row of the R camera"
[ "$(grep -c $'\r$' "$work/csv.out")" -eq 6 ] || fail "CSV lines must end in CR LF: 6 lines"

# A PC on a network without cameras, where another program holds UDP 10000: the search says
# where it looked and which port it could not have.
make_ns "$lonely"
join "$lonely" brC eth0 203.0.113.10
ip -n "$lonely" route add default dev eth0
if command -v python3 >/dev/null; then
  ip netns exec "$lonely" python3 -c 'import socket, time
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("0.0.0.0", 10000)); time.sleep(120)' &
  pids+=($!)
  wait_udp "$lonely" 10000
  held=1
else
  held=0
fi
ip netns exec "$lonely" env -u CAMLIFT_BROADCAST_ADDR CAMLIFT_TIME_SCALE=0.1 \
  "$CAMLIFT_EXE" search --passes 1 >"$work/lonely.out" 2>"$work/lonely.err" ||
  fail "camlift search (nothing there) failed"
expect() { grep -qF -- "$1" "$work/lonely.out" || fail "the diagnosis lacks: $1"; }
expect "There is no camera found in the LAN."
expect "Addresses searched: 255.255.255.255, 203.0.113.255"
expect "Interfaces searched: eth0 203.0.113.10/24"
if [ "$held" -eq 1 ]; then
  expect "Local UDP ports in use by another program (others taken instead): 10000 -> 10001"
fi
# JSON stays clean: the diagnosis goes to the error stream.
ip netns exec "$lonely" env -u CAMLIFT_BROADCAST_ADDR CAMLIFT_TIME_SCALE=0.1 \
  "$CAMLIFT_EXE" search --json --passes 1 >"$work/lonejson.out" 2>"$work/lonejson.err" ||
  fail "camlift search --json (nothing there) failed"
[ ! -s "$work/lonejson.out" ] || fail "JSON output of an empty search is not empty"
grep -qF "Addresses searched:" "$work/lonejson.err" || fail "no diagnosis beside the JSON"

echo "search through two adapters: $lines rows; diagnosis of an empty network shown"
exit 0
