#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Screenshots of the main window and of its Options dialog in English, Simplified Chinese and
# Traditional Chinese for the README, made under a virtual display. The window's background search
# stays on the machine: every broadcast goes to 127.255.255.255. CAMLIFT_EXE=path uses a program
# that is already built instead of building one.
source "$(dirname "$0")/lib.sh"
install_packages
# ImageMagick takes the pictures; xdotool presses the Options button's access key (Alt+O).
for tool in import:imagemagick xdotool:xdotool; do
  command -v "${tool%%:*}" >/dev/null ||
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${tool##*:}"
done
if [ -z "${CAMLIFT_EXE:-}" ]; then
  build build -DCMAKE_BUILD_TYPE=RelWithDebInfo
  CAMLIFT_EXE="$CAMLIFT_ROOT/build/cli/camlift"
fi

export CAMLIFT_BROADCAST_ADDR=127.255.255.255
out="$CAMLIFT_ROOT/docs/images"
mkdir -p "$out"
work="$(mktemp -d /tmp/camlift-shots.XXXXXX)"
display=":$((90 + RANDOM % 9))"
Xvfb "$display" -screen 0 1024x768x24 >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; rm -rf "$work"' EXIT
sleep 1
export DISPLAY="$display"

for lang in en cn b5; do
  mkdir -p "$work/$lang/camlift" "$work/$lang/run"
  chmod 700 "$work/$lang/run"
  printf '[Global]\r\nlan=%s\r\nrepository=http://firmware.example.com/FM/\r\n' "$lang" \
    > "$work/$lang/camlift/option.ini"
  XDG_CONFIG_HOME="$work/$lang" XDG_RUNTIME_DIR="$work/$lang/run" "$CAMLIFT_EXE" >/dev/null 2>&1 &
  app=$!
  sleep 3
  import -window root -crop 760x560+132+104 +repage "$out/main-window-$lang.png"
  echo "== $out/main-window-$lang.png"
  main="$(xdotool search --sync --onlyvisible --pid "$app" | head -1)"
  xdotool windowfocus --sync "$main" key alt+o
  sleep 2
  dialog="$(xdotool search --onlyvisible --pid "$app" | grep -vx "$main" | tail -1)"
  if [ -n "$dialog" ]; then
    import -window "$dialog" "$out/options-$lang.png"
    echo "== $out/options-$lang.png"
  else
    echo "!! the Options dialog did not open ($lang)" >&2
  fi
  kill $app; wait $app 2>/dev/null || true
done
