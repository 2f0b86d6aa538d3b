#!/usr/bin/env bash
# Screenshots of the main window in English and in Simplified Chinese for the README, made under
# a virtual display. The window's background search stays on the machine: every broadcast goes to
# 127.255.255.255.
source "$(dirname "$0")/lib.sh"
install_packages
command -v import >/dev/null || as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq imagemagick
build build -DCMAKE_BUILD_TYPE=RelWithDebInfo

export CAMLIFT_BROADCAST_ADDR=127.255.255.255
out="$CAMLIFT_ROOT/docs/images"
mkdir -p "$out"
work="$(mktemp -d /tmp/camlift-shots.XXXXXX)"
display=":$((90 + RANDOM % 9))"
Xvfb "$display" -screen 0 1024x768x24 >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; rm -rf "$work"' EXIT
sleep 1

for lang in en cn; do
  mkdir -p "$work/$lang/camlift"
  printf '[Global]\r\nlan=%s\r\n' "$lang" > "$work/$lang/camlift/option.ini"
  DISPLAY="$display" XDG_CONFIG_HOME="$work/$lang" XDG_RUNTIME_DIR="$work/$lang" \
    "$CAMLIFT_ROOT/build/cli/camlift" >/dev/null 2>&1 &
  app=$!
  sleep 3
  DISPLAY="$display" import -window root -crop 760x560+132+104 +repage "$out/main-window-$lang.png"
  kill $app; wait $app 2>/dev/null || true
  echo "== $out/main-window-$lang.png"
done
