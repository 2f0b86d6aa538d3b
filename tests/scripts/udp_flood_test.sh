#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# camlift search under a flood: 100 000 datagrams of random and truncated content over about ten
# seconds at the ports the search listens on, while simulated cameras of every dialect answer.
# The search must not crash, its memory must stay bounded, and the real cameras must still be
# listed. Everything runs inside a private network namespace (loopback only) that this script
# creates and that vanishes with it: no datagram of the test exists in the host's namespace.
# Needs root for the namespace; exit 77 (skipped) otherwise.
set -uo pipefail

skip() { echo "SKIP: $*"; exit 77; }

if [ "${1:-}" != "--inside" ]; then
  [ "$(id -u)" -eq 0 ] || skip "needs root to create a network namespace"
  command -v unshare >/dev/null || skip "unshare is not installed"
  command -v ss >/dev/null || skip "ss (iproute2) is not installed"
  command -v perl >/dev/null || skip "perl is not installed"
  : "${CAMLIFT_EXE:?CAMLIFT_EXE must name the camlift binary}"
  : "${CAMLIFT_SIM_EXE:?CAMLIFT_SIM_EXE must name the camlift-sim binary}"
  unshare -n true 2>/dev/null || skip "cannot create a network namespace here"
  exec unshare -n bash "$0" --inside
fi

# --- inside the namespace -----------------------------------------------------------------
ip link set lo up 2>/dev/null || { echo "FAIL: cannot bring up lo"; exit 1; }
export CAMLIFT_BROADCAST_ADDR=127.255.255.255

DATAGRAMS="${CAMLIFT_FLOOD_DATAGRAMS:-100000}"
FLOOD_SECONDS="${CAMLIFT_FLOOD_SECONDS:-10}"
# Growth of the resident set allowed between the start of the flood and its end. A sanitizer
# build keeps freed memory in quarantine and adds shadow memory, so its resident set says little
# about our own growth: there the limit only catches a runaway, the normal build holds 64 MiB.
RSS_GROWTH_LIMIT_KB=$((64 * 1024))
[ -n "${CAMLIFT_SANITIZED:-}" ] && RSS_GROWTH_LIMIT_KB=$((1024 * 1024))

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
  echo "--- search output"; cat "$work/search.out" 2>/dev/null
  echo "--- search errors"; tail -20 "$work/search.err" 2>/dev/null
  exit 1
}

# camera SERIES ADDRESS MAC
camera() {
  "$CAMLIFT_SIM_EXE" camera --series "$1" --ip "$2" --port 80 --mac "$3" \
    --device-id "SIM-$1" --device-name "Flood $1" --sys-version 3.1.4.1 \
    >"$work/camera-$1.log" 2>&1 &
  pids+=($!)
}
camera M 127.0.0.21 02:00:00:00:00:21
camera P 127.0.0.22 02:00:00:00:00:22
camera R 127.0.0.23 02:00:00:00:00:23
camera K 127.0.0.24 02:00:00:00:00:24

wait_udp() {
  local port="$1" i
  for i in $(seq 1 100); do
    ss -Hlun "sport = :$port" 2>/dev/null | grep -q . && return 0
    sleep 0.1
  done
  fail "no responder on UDP $port"
}
for port in 10000 6801 8600 7999; do wait_udp "$port"; done

# The search at its real pace: one pass a second, for as long as the flood lasts and a bit.
passes=$((FLOOD_SECONDS + 2))
CAMLIFT_TIME_SCALE=1 "$CAMLIFT_EXE" search --json --passes "$passes" \
  >"$work/search.out" 2>"$work/search.err" &
search=$!
pids+=($search)

# The local ports the search listens on, once its endpoints are all open.
search_ports() {
  ss -Hlunp 2>/dev/null | grep "pid=$search," | awk '{ n = split($4, a, ":"); print a[n] }' |
    sort -un | tr '\n' ' '
}
ports=""
for i in $(seq 1 50); do
  ports="$(search_ports)"
  [ -n "$ports" ] && break
  sleep 0.1
done
[ -n "$ports" ] || fail "the search listens on no UDP port"
sleep 0.5
ports="$(search_ports)"

rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status" 2>/dev/null || echo 0; }

# The flood: random bytes, and beginnings of every reply format cut off at random lengths.
perl -e '
  use strict; use warnings;
  use Socket; use Time::HiRes qw(time sleep);
  my ($count, $seconds, @ports) = @ARGV;
  socket(my $s, PF_INET, SOCK_DGRAM, getprotobyname("udp")) or die "socket: $!";
  open(my $r, "<:raw", "/dev/urandom") or die "urandom: $!";
  read($r, my $pool, 1 << 16) == 1 << 16 or die "short read";
  my @prefixes = ("MO_I\x01\x00", "REPLY ", "REPLY Continue", "\x10\x10\x01\x8f",
                  "\x10\x10\x12\x8f", "\x10\x10\x0f\x8f", "DH\x01\x08", "DH\x02\x08", "");
  my @targets = map { pack_sockaddr_in($_, inet_aton("127.0.0.1")) } @ports;
  my $start = time;
  for my $i (0 .. $count - 1) {
    my $length = int(rand(1100));
    my $bytes = $prefixes[rand @prefixes] . substr($pool, int(rand(65536 - $length)), $length);
    send($s, substr($bytes, 0, $length), 0, $targets[$i % @targets]);
    if ($i % 500 == 0) {
      my $ahead = $start + $seconds * $i / $count - time;
      sleep($ahead) if $ahead > 0;
    }
  }
' "$DATAGRAMS" "$FLOOD_SECONDS" $ports &
flood=$!
pids+=($flood)

sleep 0.5
rss_start="$(rss_kb "$search")"
rss_max="$rss_start"
while kill -0 "$flood" 2>/dev/null; do
  rss="$(rss_kb "$search")"
  [ "${rss:-0}" -gt "$rss_max" ] && rss_max="$rss"
  sleep 0.25
done
wait "$flood" || fail "the flood did not run"

# Bounded: the search ends by itself within its passes and a generous margin.
for i in $(seq 1 $(( (passes + 30) * 10 ))); do
  kill -0 "$search" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$search" 2>/dev/null && fail "camlift search did not end"
wait "$search"
code=$?
[ "$code" -eq 0 ] || fail "camlift search ended with $code"

growth=$((rss_max - rss_start))
[ "$growth" -le "$RSS_GROWTH_LIMIT_KB" ] ||
  fail "resident memory grew by ${growth} kB during the flood (from ${rss_start} kB)"

for ip in 127.0.0.21 127.0.0.22 127.0.0.23 127.0.0.24; do
  grep -qF "\"ip\":\"$ip\"" "$work/search.out" || fail "camera $ip is not listed"
done
echo "flood of $DATAGRAMS datagrams to ports $ports: search ended 0," \
  "RSS ${rss_start} kB -> at most ${rss_max} kB, every camera listed"
exit 0
