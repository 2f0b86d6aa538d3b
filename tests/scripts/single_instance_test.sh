#!/usr/bin/env bash
# Two real copies of the desktop program: the second shows the "already running" warning, asks
# the first to come to the front and ends without a window; the first comes to the front.
set -u
CAMLIFT="${CAMLIFT_EXE:?}"
if [ "${CAMLIFT_HAS_GUI:-1}" = "0" ]; then
  echo "skipped: this build has no desktop window"
  exit 77
fi
work="$(mktemp -d /tmp/camlift-single.XXXXXX)"
first=""
cleanup() {
  [ -n "$first" ] && kill "$first" 2>/dev/null && wait "$first" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

export QT_QPA_PLATFORM=offscreen
export CAMLIFT_NONINTERACTIVE=1
export CAMLIFT_BROADCAST_ADDR="${CAMLIFT_BROADCAST_ADDR:-127.255.255.255}"
export XDG_RUNTIME_DIR="$work/run" XDG_CONFIG_HOME="$work/config" TMPDIR="$work/tmp"
mkdir -p "$XDG_RUNTIME_DIR" "$TMPDIR"
chmod 700 "$XDG_RUNTIME_DIR"

"$CAMLIFT" > "$work/first.out" 2> "$work/first.err" &
first=$!
# The first copy holds the lock once its window exists.
for _ in $(seq 1 100); do
  [ -e "$XDG_RUNTIME_DIR/IP_Camera_Camlift.lock" ] && sleep 0.5 && break
  sleep 0.1
done

timeout 30 "$CAMLIFT" > "$work/second.out" 2> "$work/second.err"
second_status=$?
sleep 1

fail=0
if [ $second_status -ne 0 ]; then echo "second copy ended with $second_status"; fail=1; fi
if ! grep -q "camlift-message: WARNING: .*is already running" "$work/second.err"; then
  echo "second copy showed no warning:"; cat "$work/second.err"; fail=1
fi
if ! grep -q "camlift-message: activated" "$work/first.err"; then
  echo "first copy was not brought to the front:"; cat "$work/first.err"; fail=1
fi
if ! kill -0 "$first" 2>/dev/null; then echo "first copy ended"; fail=1; fi
# The first copy keeps its language files while the second has come and gone.
if ! ls "$TMPDIR"/camlift/camlift.len >/dev/null 2>&1; then
  echo "the first copy's language files are gone:"; ls -R "$TMPDIR"; fail=1
fi
[ $fail -eq 0 ] && echo "1 passed, 0 failed"
exit $fail
