#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# A hostile host on the LAN cannot grow the search without end nor silence it:
#  - one that answers every 1010 query with a thousand info replies, each with a new MAC: the
#    camera list stops at its bound (2048 rows), the search says how many it refused, and ends;
#  - one that streams datagrams to the series R search port (UDP 3565) without pause: every
#    pass still sends its 8600 query (the receive thread ends at its time limit), the real
#    series R camera stays listed, and the search ends.
# Everything runs inside a private network namespace (loopback only) that vanishes with this
# script. Needs root for the namespace; exit 77 (skipped) otherwise.
set -uo pipefail

skip() { echo "SKIP: $*"; exit 77; }

if [ "${1:-}" != "--inside" ]; then
  [ "$(id -u)" -eq 0 ] || skip "needs root to create a network namespace"
  command -v unshare >/dev/null || skip "unshare is not installed"
  command -v ss >/dev/null || skip "ss (iproute2) is not installed"
  : "${CAMLIFT_EXE:?CAMLIFT_EXE must name the camlift binary}"
  : "${CAMLIFT_SIM_EXE:?CAMLIFT_SIM_EXE must name the camlift-sim binary}"
  unshare -n true 2>/dev/null || skip "cannot create a network namespace here"
  exec unshare -n bash "$0" --inside
fi

# --- inside the namespace -----------------------------------------------------------------
ip link set lo up 2>/dev/null || { echo "FAIL: cannot bring up lo"; exit 1; }
export CAMLIFT_BROADCAST_ADDR=127.255.255.255
# The real pace: one pass a second, the series R receive thread's own waits and limit.
export CAMLIFT_TIME_SCALE=1

work="$(mktemp -d)"
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

fail() {
  echo "FAIL: $*"
  echo "--- search output"; head -5 "$work/search.out" 2>/dev/null
  echo "--- search errors"; tail -20 "$work/search.err" 2>/dev/null
  exit 1
}

# camera NAME SERIES ADDRESS MAC [FAULT]
camera() {
  local fault=()
  [ -n "${5:-}" ] && fault=(--fault "$5")
  "$CAMLIFT_SIM_EXE" camera --series "$2" --ip "$3" --port 80 --mac "$4" --device-id "SIM-$1" \
    --device-name "Hostile LAN $1" --sys-version 48.2.0.130 --record "$work/$1.jsonl" \
    "${fault[@]}" >"$work/camera-$1.log" 2>&1 &
  pids+=($!)
}

wait_udp() {
  local port="$1" i
  for i in $(seq 1 100); do
    ss -Hlun "sport = :$port" 2>/dev/null | grep -q . && return 0
    sleep 0.1
  done
  fail "no responder on UDP $port"
}

# search PASSES BOUND_SECONDS: camlift search --json, which must end within the bound.
search() {
  "$CAMLIFT_EXE" search --json --passes "$1" >"$work/search.out" 2>"$work/search.err" &
  local search=$! i
  pids+=($search)
  for i in $(seq 1 $(( $2 * 10 ))); do
    kill -0 "$search" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$search" 2>/dev/null && fail "camlift search did not end within $2 s"
  wait "$search" || fail "camlift search ended with $?"
}

stop_cameras() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
  pids=()
}

# 1. A flood of 1010 info replies, each with a new MAC, beside a real camera.
camera flood P 127.0.0.31 02:00:00:00:00:31 mac-flood
camera real M 127.0.0.32 02:00:00:00:00:32
wait_udp 6801
wait_udp 10000
search 6 60
rows="$(grep -c '"ip"' "$work/search.out")"
[ "$rows" -le 2048 ] || fail "the list grew to $rows rows past its bound of 2048"
refused="$(sed -n 's/^The camera list is full (2048 cameras); replies of further cameras were refused: \([0-9]*\)$/\1/p' \
  "$work/search.err")"
[ -n "$refused" ] && [ "$refused" -gt 0 ] || fail "the search does not say that it refused cameras"
echo "MAC flood: $rows rows listed, $refused refused"
stop_cameras

# 2. A stream of datagrams to the series R search port, beside a real series R camera.
camera stream R 127.0.0.41 02:00:00:00:00:41 search-port-stream
camera real R 127.0.0.42 02:00:00:00:00:42
wait_udp 8600
passes=5
search "$passes" 40
grep -qF '"ip":"127.0.0.42"' "$work/search.out" || fail "the series R camera is not listed"
queries="$(grep -c '"dialect":"8600"' "$work/real.jsonl")"
# Every pass sends its query once the receive thread of the one before has ended; the stream
# must not keep the first one alive (a single query for the whole search).
[ "$queries" -ge $((passes - 1)) ] ||
  fail "the series R camera got $queries search queries in $passes passes"
echo "3565 stream: $queries of $passes passes sent the 8600 query, the camera is listed"
exit 0
