#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Two real copies of the desktop program: the second shows the "already running" warning, asks
# the first to come to the front and ends without a window; the first comes to the front. Then
# single runs: a folder of the user's named like the program in the temporary folder survives
# the window and the command line; a runtime folder that is gone does not keep the window from
# starting; a temporary folder that cannot take the language files is said so.
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
# A checkout the user unpacked into the temporary folder, named like the program.
mkdir -p "$TMPDIR/camlift/src"
echo "mine" > "$TMPDIR/camlift/README"
echo "my language file" > "$TMPDIR/camlift/camlift.len"

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
if ! ls "$TMPDIR"/camlift-*/camlift.len >/dev/null 2>&1; then
  echo "the first copy's language files are gone:"; ls -R "$TMPDIR"; fail=1
fi
kill "$first" 2>/dev/null
wait "$first" 2>/dev/null
first=""
rm -rf "$TMPDIR"/camlift-*

# A window that is killed leaves its language folder; the next run of any command removes it,
# so crashes do not pile folders up.
"$CAMLIFT" > "$work/killed.out" 2> "$work/killed.err" &
killed=$!
for _ in $(seq 1 100); do
  ls "$TMPDIR"/camlift-*/camlift.len >/dev/null 2>&1 && break
  sleep 0.1
done
sleep 0.5
kill -9 "$killed" 2>/dev/null
wait "$killed" 2>/dev/null
if ! ls -d "$TMPDIR"/camlift-* >/dev/null 2>&1; then
  echo "the killed window left no folder (nothing to test):"; ls -R "$TMPDIR"; fail=1
fi
timeout 30 "$CAMLIFT" search --passes 1 > /dev/null 2> "$work/after-kill.err" ||
  { echo "camlift search after a crash failed:"; cat "$work/after-kill.err"; fail=1; }
if ls -d "$TMPDIR"/camlift-* >/dev/null 2>&1; then
  echo "the killed window's folder was not removed by the next run:"; ls -R "$TMPDIR"; fail=1
fi

# One run of the window and one of a subcommand, each ending normally.
CAMLIFT_EXIT_AFTER_SHOW=1 timeout 30 "$CAMLIFT" > "$work/shown.out" 2> "$work/shown.err" ||
  { echo "the window did not start and end:"; cat "$work/shown.err"; fail=1; }
timeout 30 "$CAMLIFT" search --passes 1 > "$work/search.out" 2> "$work/search.err" ||
  { echo "camlift search failed:"; cat "$work/search.err"; fail=1; }
if [ "$(cat "$TMPDIR/camlift/README" 2>/dev/null)" != "mine" ] ||
   [ "$(cat "$TMPDIR/camlift/camlift.len" 2>/dev/null)" != "my language file" ] ||
   [ ! -d "$TMPDIR/camlift/src" ]; then
  echo "the user's folder $TMPDIR/camlift was touched:"; ls -lR "$TMPDIR"; fail=1
fi
if ls -d "$TMPDIR"/camlift-* >/dev/null 2>&1; then
  echo "the program left its language folder behind:"; ls -R "$TMPDIR"; fail=1
fi

# Two copies started at the same moment: one window, and the other copy says so and ends.
"$CAMLIFT" > "$work/twin1.out" 2> "$work/twin1.err" &
twin1=$!
"$CAMLIFT" > "$work/twin2.out" 2> "$work/twin2.err" &
twin2=$!
running=0
for _ in $(seq 1 100); do
  running=0
  kill -0 "$twin1" 2>/dev/null && running=$((running + 1))
  kill -0 "$twin2" 2>/dev/null && running=$((running + 1))
  [ $running -le 1 ] && break
  sleep 0.1
done
sleep 1
running=0
kill -0 "$twin1" 2>/dev/null && running=$((running + 1))
kill -0 "$twin2" 2>/dev/null && running=$((running + 1))
if [ $running -ne 1 ]; then echo "copies started together: $running running, not 1"; fail=1; fi
if ! cat "$work/twin1.err" "$work/twin2.err" | grep -q "is already running"; then
  echo "copies started together: neither said that the other runs"; fail=1
fi
kill "$twin1" "$twin2" 2>/dev/null
wait "$twin1" "$twin2" 2>/dev/null
rm -rf "$TMPDIR"/camlift-*

# Something of the user's where the activation socket goes is never removed; the window still
# starts and says that it cannot be brought to the front.
rm -f "$XDG_RUNTIME_DIR/IP_Camera_Camlift.sock"  # the killed window's socket
echo "not a socket" > "$XDG_RUNTIME_DIR/IP_Camera_Camlift.sock"
CAMLIFT_EXIT_AFTER_SHOW=1 timeout 30 "$CAMLIFT" > "$work/sockfile.out" 2> "$work/sockfile.err"
if [ "$(cat "$XDG_RUNTIME_DIR/IP_Camera_Camlift.sock" 2>/dev/null)" != "not a socket" ]; then
  echo "a file where the socket goes was removed"; fail=1
fi
if ! grep -q "first window shown" "$work/sockfile.out" ||
   ! grep -q "cannot bring this window to the front" "$work/sockfile.err"; then
  echo "a file where the socket goes: no window or no word of it:"; cat "$work/sockfile.err"
  fail=1
fi
rm -f "$XDG_RUNTIME_DIR/IP_Camera_Camlift.sock"

# A runtime folder that was removed: the window still starts (its guard moves to the private
# fallback folder in the temporary folder).
XDG_RUNTIME_DIR="$work/gone" CAMLIFT_EXIT_AFTER_SHOW=1 timeout 30 "$CAMLIFT" \
  > "$work/gone.out" 2> "$work/gone.err"
if ! grep -q "first window shown" "$work/gone.out"; then
  echo "the window did not start with a removed runtime folder:"; cat "$work/gone.err"; fail=1
fi
if grep -q "already running" "$work/gone.err"; then
  echo "a removed runtime folder was taken for another copy:"; cat "$work/gone.err"; fail=1
fi

# No temporary folder to unpack the language files into: said, by the window and by the CLI.
TMPDIR="$work/none" CAMLIFT_EXIT_AFTER_SHOW=1 timeout 30 "$CAMLIFT" \
  > "$work/none.out" 2> "$work/none.err"
if ! grep -q "camlift-message: Camlift: The language files could not be unpacked" "$work/none.err"; then
  echo "the window did not say that the language files are missing:"; cat "$work/none.err"; fail=1
fi
TMPDIR="$work/none" timeout 30 "$CAMLIFT" search --passes 1 > /dev/null 2> "$work/none-cli.err"
if ! grep -q "^camlift: The language files could not be unpacked" "$work/none-cli.err"; then
  echo "the CLI did not say that the language files are missing:"; cat "$work/none-cli.err"; fail=1
fi

# In Chinese the second copy names the window in Chinese, not in undecoded bytes.
mkdir -p "$XDG_CONFIG_HOME/camlift"
printf '[Global]\r\nlan=cn\r\n' > "$XDG_CONFIG_HOME/camlift/option.ini"
"$CAMLIFT" > "$work/first-cn.out" 2> "$work/first-cn.err" &
first=$!
for _ in $(seq 1 100); do
  ls "$TMPDIR"/camlift-*/camlift.lcn >/dev/null 2>&1 && sleep 0.5 && break
  sleep 0.1
done
timeout 30 "$CAMLIFT" > /dev/null 2> "$work/second-cn.err"
if ! grep -q "网络摄像机升级工具 V1.1 已经在运行。" "$work/second-cn.err"; then
  echo "the Chinese warning of the second copy is not as written:"; cat "$work/second-cn.err"
  fail=1
fi

[ $fail -eq 0 ] && echo "1 passed, 0 failed"
exit $fail
