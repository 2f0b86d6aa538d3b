#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# camlift search over a real broadcast: simulated cameras of several dialects, each in a network
# namespace of its own, on one bridge with the searching namespace; camlift broadcasts to
# 255.255.255.255 there. Everything lives in namespaces this script creates and removes: the
# host's namespace never carries a datagram of the test. Needs root and `ip netns`; exit 77
# (skipped) otherwise.
set -uo pipefail

tag="clsr$$"
source "$(dirname "$0")/netns_lib.sh"

fail() { echo "FAIL: $*"; echo "--- search output"; cat "$work/search.out" 2>/dev/null
         echo "--- search errors"; cat "$work/search.err" 2>/dev/null; exit 1; }

make_bridge br0

# join_bridge NAMESPACE ADDRESS: eth0 of the namespace on the one bridge, with the default route
# the limited broadcast needs to leave by.
join_bridge() {
  join "$1" br0 eth0 "$2"
  ip -n "$1" route add default dev eth0
}

make_ns "$client"
join_bridge "$client" 192.0.2.10

# camera NAME SERIES ADDRESS MAC ID [DEVICE-NAME]: one simulated camera in a namespace of its own.
camera() {
  local name="$1" series="$2" address="$3" mac="$4" id="$5" ns="${tag}$1"
  local device_name="${6:-Cam $1}"
  make_ns "$ns"
  join_bridge "$ns" "$address"
  ip netns exec "$ns" "$CAMLIFT_SIM_EXE" camera --series "$series" --ip "$address" --port 80 \
    --name "$name" --mac "$mac" --device-id "$id" --device-name "$device_name" \
    --netmask 255.255.255.0 --gateway 192.0.2.1 --dns 192.0.2.1 --sys-version 3.1.4.1 \
    --record "$work/$name.jsonl" >"$work/$name.log" 2>&1 &
  pids+=($!)
}

camera moi M 192.0.2.21 02:00:00:00:00:21 SIM-M-21
camera p1010 P 192.0.2.22 02:00:00:00:00:22 SIM-P-22
camera p1010b P 192.0.2.32 02:00:00:00:00:32 SIM-P-32
# The 8600 dialect hands names over as the camera has them: a Latin-1 byte must not cost the row.
camera r8600 R 192.0.2.23 02:00:00:00:00:23 SIM-R-23 "Cam r8600 "$'\xe9'
camera ktext K 192.0.2.24 02:00:00:00:00:24 SIM-K-24

# Wait (bounded) until every camera's responder listens.
wait_udp "${tag}moi" 10000
wait_udp "${tag}p1010" 6801
wait_udp "${tag}p1010b" 6801
wait_udp "${tag}r8600" 8600
wait_udp "${tag}ktext" 7999

# The closed search library beside a copy of camlift, reporting one scripted device. The copy
# lies beside the build's program: camlift loads no library from a folder that others may write,
# and /tmp, above $work, is one.
exe="$CAMLIFT_EXE"
standin_rows=0
if [ -n "${CAMLIFT_STANDIN_LIBRARY:-}" ] && [ -f "$CAMLIFT_STANDIN_LIBRARY" ]; then
  copy="$(mktemp -d "$(dirname "$CAMLIFT_EXE")/netns-copy.XXXXXX")" || fail "no folder for the copy"
  trap 'cleanup; rm -rf "$copy"' EXIT
  chmod 0755 "$copy"
  mkdir -p "$copy/515"
  cp "$CAMLIFT_EXE" "$copy/camlift"
  cp "$CAMLIFT_STANDIN_LIBRARY" "$copy/515/libDVSNETClient.so"
  exe="$copy/camlift"
  standin_rows=1
fi

ip netns exec "$client" env -u CAMLIFT_BROADCAST_ADDR CAMLIFT_TIME_SCALE=0.1 \
  CAMLIFT_STANDIN_DEVICES="Lib cam|192.0.2.44|0200000000aa|81|0|255.255.255.0|192.0.2.1|192.0.2.1|1" \
  "$exe" search --json --passes 3 >"$work/search.out" 2>"$work/search.err" ||
  fail "camlift search failed"

# row IP DEVTYPE KEY=VALUE...: the line of that address and type carries every pair.
row() {
  local ip="$1" type="$2" line pair
  shift 2
  line="$(grep -F "\"ip\":\"$ip\"" "$work/search.out" | grep -F "\"devType\":$type,")" ||
    fail "no row for $ip of type $type"
  for pair in "$@"; do
    grep -qF "$pair" <<<"$line" || fail "row $ip lacks $pair: $line"
  done
}

row 192.0.2.21 2 '"type":"M"' '"series":"M"' '"id":"SIM-M-21"' '"name":"Cam moi"' \
  '"port":80' '"version":"3.1.4.1:' '"netmask":"255.255.255.0"'
row 192.0.2.22 8 '"type":"P"' '"series":"P"' '"id":"020000000022"' '"normId":"020000000022"' \
  '"name":"Cam p1010"' '"version":"3.1.4.1"'
row 192.0.2.32 8 '"id":"020000000032"' '"name":"Cam p1010b"'
row 192.0.2.23 9 '"type":"R"' '"series":"R"' '"id":"02:00:00:00:00:23"' \
  "\"name\":\"Cam r8600 "$'\xef\xbf\xbd'"\""
row 192.0.2.24 5 '"type":"K"' '"series":"K"' '"id":"020000000024"' '"normId":"020000000024"' \
  '"name":"Cam ktext"' '"version":"sys 3.1.4.1'
expected=5
if [ "$standin_rows" -eq 1 ]; then
  row 192.0.2.44 4 '"type":"P"' '"series":""' '"id":"0200000000aa"' '"dhcp":true'
  expected=6
fi
lines="$(wc -l <"$work/search.out")"
[ "$lines" -eq "$expected" ] || fail "expected $expected rows, got $lines"
grep -q '"ddnsPassword"\|"DdnsPassword"' "$work/search.out" && fail "the DDNS password is listed"

# Sorted by IP address ascending (numerically: .21, .22, .23, .24 before .32).
order="$(grep -o '"ip":"[0-9.]*"' "$work/search.out" | tr -d '"' | sed 's/ip://' | tr '\n' ' ')"
sorted="$(grep -o '"ip":"[0-9.]*"' "$work/search.out" | tr -d '"' | sed 's/ip://' |
          sort -t. -k1,1n -k2,2n -k3,3n -k4,4n | tr '\n' ' ')"
[ "$order" = "$sorted" ] || fail "rows not sorted by IP: $order"

# Every camera recorded the datagrams it received; the 1010 cameras all three steps.
grep -q '"dialect":"moi"' "$work/moi.jsonl" || fail "the MO_I camera recorded nothing"
for prefix in 1010010f 1010120f 10100f0f; do
  grep -q "\"datagram\":\"$prefix" "$work/p1010.jsonl" ||
    fail "the 1010 camera never received a datagram beginning $prefix"
done

# The table form lists the same cameras.
ip netns exec "$client" env -u CAMLIFT_BROADCAST_ADDR CAMLIFT_TIME_SCALE=0.1 \
  "$CAMLIFT_EXE" search --passes 2 >"$work/table.out" 2>&1 || fail "camlift search (table) failed"
head -1 "$work/table.out" | grep -q '^Type  *Name  *IP address  *Port  *Series  *Version$' ||
  fail "table header: $(head -1 "$work/table.out")"
grep -q '^R  *Cam r8600 .\{1,3\}  *192.0.2.23  *80  *R  *3.1.4.1$' "$work/table.out" ||
  fail "table row of the R camera: $(cat "$work/table.out")"

echo "search across namespaces: $lines rows"
exit 0
