# SPDX-License-Identifier: Apache-2.0
# Shared by the network-namespace tests: source it after setting `tag` (a prefix unique to the
# run). It skips (exit 77) without root or `ip netns`, gives `work` (a scratch folder), keeps
# track of the namespaces and processes it makes, and removes all of them on exit. Scripts
# define their own `fail`.

skip() { echo "SKIP: $*"; exit 77; }
[ "$(id -u)" -eq 0 ] || skip "needs root to create network namespaces"
command -v ip >/dev/null || skip "ip (iproute2) is not installed"
ip netns list >/dev/null 2>&1 || skip "ip netns is not available"
: "${CAMLIFT_EXE:?CAMLIFT_EXE must name the camlift binary}"
: "${CAMLIFT_SIM_EXE:?CAMLIFT_SIM_EXE must name the camlift-sim binary}"

hub="${tag}hub"
client="${tag}cli"
work="$(mktemp -d)"
pids=()
namespaces=()

# The processes still running in the script's namespaces: a simulator started with --detach is
# no child of the script, and one whose start failed half-way is in no list.
ns_pids() {
  local ns
  for ns in "${namespaces[@]}"; do ip netns pids "$ns" 2>/dev/null; done
}

cleanup() {
  local pid ns i
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
  for pid in $(ns_pids); do kill "$pid" 2>/dev/null; done
  for i in $(seq 1 50); do [ -z "$(ns_pids)" ] && break; sleep 0.1; done
  for pid in $(ns_pids); do kill -KILL "$pid" 2>/dev/null; done
  for ns in "${namespaces[@]}"; do ip netns delete "$ns" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

# Tests running side by side add namespaces at the same moment; `ip netns add` then races on the
# first bind mount of /run/netns and fails with "mount point does not exist". Adds are therefore
# taken one at a time, and a failed one is tried again.
make_ns() {
  local attempt
  for attempt in 1 2 3 4 5; do
    # The lock lives in /run, which only root writes (these tests run as root), and a holder
    # that hangs holds nobody for more than 30 s.
    flock -w 30 /run/camlift-netns-add.lock ip netns add "$1" && break
    ip netns delete "$1" 2>/dev/null
    [ "$attempt" -lt 5 ] || fail "cannot create namespace $1"
    sleep 0.2
  done
  namespaces+=("$1")
  ip -n "$1" link set lo up
}

# make_bridge NAME: a bridge in the hub namespace (made on first use).
make_bridge() {
  [[ " ${namespaces[*]} " == *" $hub "* ]] || make_ns "$hub"
  ip -n "$hub" link add "$1" type bridge || skip "no bridge support in this kernel"
  ip -n "$hub" link set "$1" up
}

# join NAMESPACE BRIDGE DEVICE ADDRESS: a veth from the namespace's DEVICE to a bridge of the hub,
# created inside the namespaces so that no interface ever appears in the host's.
join_index=0
join() {
  local ns="$1" bridge="$2" device="$3" address="$4" port="p$join_index"
  join_index=$((join_index + 1))
  ip -n "$hub" link add "$port" type veth peer name "$device" netns "$ns" || fail "veth for $ns"
  ip -n "$hub" link set "$port" master "$bridge" up
  ip -n "$ns" addr add "$address/24" brd + dev "$device"
  ip -n "$ns" link set "$device" up
}

# wait_udp NAMESPACE PORT: until something listens on that UDP port there.
wait_udp() {
  local ns="$1" port="$2" i
  for i in $(seq 1 100); do
    ip netns exec "$ns" ss -Hlun "sport = :$port" 2>/dev/null | grep -q . && return 0
    sleep 0.1
  done
  fail "no responder on UDP $port in $ns"
}
