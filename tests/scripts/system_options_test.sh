#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The administrator's options file (the system-wide one, where a site names its repository keys)
# never vanishes without a word. An installed copy run by an ordinary user:
#  - no such file: catalogues are taken as they come (no keys, as always);
#  - the file with keys: only a signed catalogue is taken;
#  - the file there but not readable by the user (mode 0600), in a folder the user may not look
#    into (not found where it is expected), larger than 1 MiB, or not a file at all: every
#    catalogue is refused, and the refusal names the file and the reason.
# Runs camlift as the unprivileged user "nobody" from a copy in a folder it may not write, with a
# simulated repository on loopback inside a private network namespace. Needs root; exit 77
# (skipped) otherwise.
set -uo pipefail

skip() { echo "SKIP: $*"; exit 77; }

if [ "${1:-}" != "--inside" ]; then
  [ "$(id -u)" -eq 0 ] || skip "needs root to run the program as another user"
  command -v unshare >/dev/null || skip "unshare is not installed"
  command -v setpriv >/dev/null || skip "setpriv is not installed"
  : "${CAMLIFT_EXE:?CAMLIFT_EXE must name the camlift binary}"
  : "${CAMLIFT_SIM_EXE:?CAMLIFT_SIM_EXE must name the camlift-sim binary}"
  unshare -n true 2>/dev/null || skip "cannot create a network namespace here"
  exec unshare -n bash "$0" --inside
fi

# --- inside the namespace -----------------------------------------------------------------
ip link set lo up 2>/dev/null || { echo "FAIL: cannot bring up lo"; exit 1; }
export CAMLIFT_TIME_SCALE=0.01 CAMLIFT_BROADCAST_ADDR=127.255.255.255
NOBODY=65534

work="$(mktemp -d)"
chmod 755 "$work"
sim_pid=""
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM
fail() { echo "FAIL: $*"; exit 1; }

# The installed copy: a folder of root's that the user may not write.
mkdir -p "$work/bin" "$work/xdg/camlift" "$work/home" "$work/data"
cp "$CAMLIFT_EXE" "$work/bin/camlift"
chmod 755 "$work/bin" "$work/bin/camlift" "$work/xdg" "$work/xdg/camlift"
chown "$NOBODY:$NOBODY" "$work/home" "$work/data"

"$CAMLIFT_SIM_EXE" repo add --root "$work/repo" --folder system --section SIM100 --kind sys \
  --version 1.0.0.2 --series P >/dev/null || fail "repo add"
key_line="$("$CAMLIFT_SIM_EXE" repo keygen --key "$work/repo.key" | grep '^repository_keys=')"
"$CAMLIFT_SIM_EXE" repo serve --root "$work/repo" --ip 127.0.0.1 --port 18097 >/dev/null 2>&1 &
sim_pid=$!
for i in $(seq 1 100); do
  (exec 3<>/dev/tcp/127.0.0.1/18097) 2>/dev/null && break
  sleep 0.05
done

system_file="$work/xdg/camlift/option.ini"

# fetch EXPECTED_STATUS: camlift fetch as the user; its output in $work/out.
fetch() {
  rm -rf "$work/data/"*
  setpriv --reuid=$NOBODY --regid=$NOBODY --clear-groups \
    env -i PATH=/usr/bin:/bin HOME="$work/home" XDG_CONFIG_DIRS="$work/xdg" \
    XDG_CONFIG_HOME="$work/home/.config" CAMLIFT_TIME_SCALE="$CAMLIFT_TIME_SCALE" \
    CAMLIFT_BROADCAST_ADDR="$CAMLIFT_BROADCAST_ADDR" \
    "$work/bin/camlift" fetch --series P --model SIM100 \
    --repository http://127.0.0.1:18097/FM/ --data-dir "$work/data" >"$work/out" 2>&1
  local code=$?
  [ "$code" -eq "$1" ] || { cat "$work/out"; fail "$2: camlift fetch ended with $code, not $1"; }
}

refused() {  # refused CASE REASON
  fetch 1 "$1"
  grep -qF "The firmware catalogue is refused: the system-wide options file, which may name repository keys, cannot be read:$system_file: $2" \
    "$work/out" || { cat "$work/out"; fail "$1: the refusal does not name the file and why"; }
  [ -z "$(ls -A "$work/data/Bin" 2>/dev/null)" ] || fail "$1: a firmware was fetched"
}

# No system file: no keys, the catalogue is taken as it is.
fetch 0 "no system file"

# The site's keys: unsigned refused, signed taken.
printf '[Global]\r\n%s\r\n' "$key_line" >"$system_file"
chmod 644 "$system_file"
fetch 1 "keys, unsigned catalogue"
grep -qF "has no signature" "$work/out" || { cat "$work/out"; fail "unsigned catalogue not said"; }
"$CAMLIFT_SIM_EXE" repo sign --key "$work/repo.key" --root "$work/repo" >/dev/null
fetch 0 "keys, signed catalogue"

# The same file, but the user may not read it: closed, not open.
chmod 600 "$system_file"
refused "file of mode 0600" "Permission denied"
chmod 644 "$system_file"

# A folder the user may not look into: the file is where it is expected, not absent.
chmod 700 "$work/xdg/camlift"
refused "folder of mode 0700" "Permission denied"
chmod 755 "$work/xdg/camlift"

# Larger than an options file can be.
{ printf '[Global]\r\n%s\r\n' "$key_line"; head -c 1100000 /dev/zero | tr '\0' ';'; } >"$system_file"
refused "file of 1.1 MB" "larger than 1 MiB"

# Not a file at all.
rm -f "$system_file"
mkfifo "$system_file"
refused "named pipe" "not a regular file"
rm -f "$system_file"
fetch 0 "no system file again"
echo "system options: absent taken, keys enforced, unreadable, hidden, oversized and odd files refused with their reason"
exit 0
