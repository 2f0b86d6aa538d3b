#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Screenshots for the README in English, Simplified Chinese and Traditional Chinese, made under a
# virtual display: the main window, its Options dialog, and an upgrade driven through the real
# window by key presses against simulated cameras and a simulated repository on loopback - the
# series chooser open, the question before a downgrade, and the progress bar during the upload -
# and the camera list with a series R camera: its row's menu and its network settings.
# Everything stays on 127.0.0.0/8: the window's search broadcasts to 127.255.255.255. Safest run
# in a network namespace of its own: unshare -n sh -c 'ip link set lo up; scripts/screenshots.sh'.
# CAMLIFT_EXE=path and CAMLIFT_SIM=path use programs that are already built instead of building
# them (CAMLIFT_SIM defaults to sim/camlift-sim of CAMLIFT_EXE's build tree).
source "$(dirname "$0")/lib.sh"
install_packages
# ImageMagick takes the pictures; xdotool types and presses keys; ss sees the upload under way.
for tool in import:imagemagick xdotool:xdotool ss:iproute2; do
  command -v "${tool%%:*}" >/dev/null ||
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${tool##*:}"
done
if [ -z "${CAMLIFT_EXE:-}" ]; then
  cmake -S "$CAMLIFT_ROOT" -B "$CAMLIFT_ROOT/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    >/dev/null
  cmake --build "$CAMLIFT_ROOT/build" -j "$JOBS" --target camlift camlift-sim
  CAMLIFT_EXE="$CAMLIFT_ROOT/build/cli/camlift"
fi
CAMLIFT_SIM="${CAMLIFT_SIM:-$(dirname "$CAMLIFT_EXE")/../sim/camlift-sim}"

export CAMLIFT_BROADCAST_ADDR=127.255.255.255
out="$CAMLIFT_ROOT/docs/images"
mkdir -p "$out"
work="$(mktemp -d /tmp/camlift-shots.XXXXXX)"
display=":$((90 + RANDOM % 9))"
Xvfb "$display" -screen 0 1024x768x24 >/dev/null 2>&1 &
xvfb=$!
app=""
sim=""
cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null
  [ -n "$sim" ] && kill "$sim" 2>/dev/null
  kill $xvfb 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
export DISPLAY="$display"
for _ in $(seq 1 100); do
  xdotool getdisplaygeometry >/dev/null 2>&1 && break
  sleep 0.1
done

# The site: a P camera that runs a newer version than the catalogue's (the downgrade question),
# a P camera that runs an older one and reads uploads at 1 MiB/s (the progress of the upload),
# and a repository whose P100 firmware is 32 MiB, more than the sockets on the way hold.
repo_ip=127.0.28.1
repo_port=18090
newer_ip=127.0.28.2
slow_ip=127.0.28.3
network_ip=127.0.28.4
camera_port=8081

# Waits (up to 30 s) for a visible window of the program other than its main window and prints it.
other_window() {
  local id
  for _ in $(seq 1 300); do
    id="$(xdotool search --onlyvisible --pid "$app" 2>/dev/null | grep -vx "$main" | tail -1)" &&
      [ -n "$id" ] && { echo "$id"; return; }
    sleep 0.1
  done
  echo "!! no second window of the program appeared" >&2
  return 1
}

# Waits (up to 30 s) until only the main window is left.
only_main_window() {
  for _ in $(seq 1 300); do
    [ "$(xdotool search --onlyvisible --pid "$app" 2>/dev/null | grep -cvx "$main")" -eq 0 ] &&
      return
    sleep 0.1
  done
  echo "!! a second window stays open" >&2
  return 1
}

# The main window's rectangle on the screen as WxH+X+Y (with what lies over it: the open list).
main_rectangle() {
  local X Y WIDTH HEIGHT
  eval "$(xdotool getwindowgeometry --shell "$main")"
  echo "${WIDTH}x${HEIGHT}+${X}+${Y}"
}

# Starts the simulator with a scenario of the language's folder and waits (up to 10 s) until it
# is ready; it stops the script when the simulator ends or does not get ready.
start_sim() {
  "$CAMLIFT_SIM" run --scenario "$1" > "$dir/sim/out" 2> "$dir/sim/err" &
  sim=$!
  for _ in $(seq 1 100); do
    grep -q "ready" "$dir/sim/out" 2>/dev/null && return
    kill -0 "$sim" 2>/dev/null || { cat "$dir/sim/err"; exit 1; }
    sleep 0.1
  done
  echo "!! camlift-sim did not get ready ($1)" >&2
  exit 1
}

# Starts the window of the language and waits for it; the address field has the focus.
start_window() {
  HOME="$dir" XDG_CONFIG_HOME="$dir" XDG_RUNTIME_DIR="$dir/run" "$CAMLIFT_EXE" >/dev/null 2>&1 &
  app=$!
  main="$(xdotool search --sync --onlyvisible --pid "$app" | head -1)"
}

# SIGTERM ends a run as Cancel does (before the camera took the firmware), then the window.
stop_window() {
  kill "$app"
  wait "$app" 2>/dev/null || true
  app=""
}

# Types an address into a window just started, chooses series P and starts "Upgrade System", all
# by keys in the order of the fields: address, port, account, password, series, search, upgrade.
upgrade_camera() {
  local ip="$1" picture="${2:-}"
  xdotool windowfocus --sync "$main"
  xdotool key --delay 50 ctrl+a type --delay 20 "$ip"
  xdotool key --delay 50 Tab ctrl+a type --delay 20 "$camera_port"
  xdotool key --delay 50 Tab Tab Tab
  # The series list, opened; it shows K M P R with the chosen one marked.
  xdotool key alt+Down
  sleep 0.5
  for _ in 1 2 3 4; do xdotool key Up; done
  xdotool key Down Down
  sleep 0.5
  if [ -n "$picture" ]; then
    import -window root -crop "$(main_rectangle)" +repage "$picture"
    echo "== $picture"
  fi
  xdotool key Return Tab Tab space
}

for lang in en cn b5; do
  dir="$work/$lang"
  mkdir -p "$dir/camlift" "$dir/run" "$dir/sim"
  chmod 700 "$dir/run"
  cat > "$dir/sim/scenario.json" <<JSON
{
  "repository": {
    "root": "$dir/sim/repo", "ip": "$repo_ip", "port": $repo_port,
    "firmware": [
      {"folder": "system", "section": "P100", "kind": "sys", "series": "P", "version": "2.0.0.1",
       "size": 33554432}
    ]
  },
  "cameras": [
    {"name": "newer-p", "series": "P", "ip": "$newer_ip", "port": $camera_port,
     "password": "531642", "sys_version": "2.0.0.5", "model": "P100",
     "device_id": "SIMCAM-000281", "mac": "00:11:22:33:28:02"},
    {"name": "slow-p", "series": "P", "ip": "$slow_ip", "port": $camera_port,
     "password": "531642", "sys_version": "2.0.0.0", "model": "P100", "upload_rate": 1048576,
     "device_id": "SIMCAM-000282", "mac": "00:11:22:33:28:03"}
  ]
}
JSON
  start_sim "$dir/sim/scenario.json"

  # The Options dialog shows the example address; the upgrades then use the simulated repository.
  printf '[Global]\r\nlan=%s\r\nrepository=http://firmware.example.com/FM/\r\n' "$lang" \
    > "$dir/camlift/option.ini"
  start_window
  sleep 1  # the first search fills the list in the background
  import -window root -crop "$(main_rectangle)" +repage "$out/main-window-$lang.png"
  echo "== $out/main-window-$lang.png"

  xdotool windowfocus --sync "$main" key alt+o
  dialog="$(other_window)"
  sleep 0.5
  import -window "$dialog" "$out/options-$lang.png"
  echo "== $out/options-$lang.png"
  xdotool key Escape
  only_main_window
  stop_window
  printf '[Global]\r\nlan=%s\r\nrepository=http://%s:%s/FM/\r\n' "$lang" "$repo_ip" "$repo_port" \
    > "$dir/camlift/option.ini"

  # The camera with the newer version: the question names both versions; No keeps it.
  start_window
  upgrade_camera "$newer_ip" "$out/series-chooser-$lang.png"
  dialog="$(other_window)"
  sleep 0.5
  import -window "$dialog" "$out/downgrade-question-$lang.png"
  echo "== $out/downgrade-question-$lang.png"
  xdotool key Escape
  only_main_window
  stop_window

  # The slow camera: the picture is taken once the upload has run for a while.
  start_window
  upgrade_camera "$slow_ip"
  # The upload is under way when the window's connection to the camera holds more bytes than
  # the camera has read (its send queue); the picture follows a few seconds into it.
  uploading=""
  for _ in $(seq 1 600); do
    ss -Htn state established dst "$slow_ip:$camera_port" |
      awk '$2 > 65536 { found = 1 } END { exit !found }' && { uploading=1; break; }
    sleep 0.1
  done
  [ -n "$uploading" ] || { echo "!! the upload to $slow_ip did not start ($lang)" >&2; exit 1; }
  sleep 3
  import -window root -crop "$(main_rectangle)" +repage "$out/progress-stage-$lang.png"
  echo "== $out/progress-stage-$lang.png"

  stop_window
  kill "$sim"; wait "$sim" 2>/dev/null || true
  sim=""

  # A series R camera alone in the list: its row's menu and "Network settings...", prefilled.
  cat > "$dir/sim/network.json" <<JSON
{
  "cameras": [
    {"name": "porch", "series": "R", "ip": "$network_ip", "port": $camera_port,
     "password": "531642", "sys_version": "48.2.0.121", "device_id": "SIMCAM-000284",
     "mac": "00:11:22:33:28:04", "device_name": "porch"}
  ]
}
JSON
  start_sim "$dir/sim/network.json"
  start_window
  # From the address field to "Search LAN IP camera": port, account, password, series, search.
  xdotool windowfocus --sync "$main" key --delay 50 Tab Tab Tab Tab Tab space
  list="$(other_window)"
  sleep 2  # the search lists the camera in its first row
  eval "$(xdotool getwindowgeometry --shell "$list")"
  list_rectangle="${WIDTH}x${HEIGHT}+${X}+${Y}"
  xdotool mousemove $((X + 120)) $((Y + 72)) click 3
  sleep 0.5
  import -window root -crop "$list_rectangle" +repage "$out/camera-menu-$lang.png"
  echo "== $out/camera-menu-$lang.png"
  # The third item of the menu.
  xdotool key --delay 100 Down Down Down Return
  sleep 1
  import -window root -crop "$list_rectangle" +repage "$out/network-settings-$lang.png"
  echo "== $out/network-settings-$lang.png"
  stop_window
  kill "$sim"; wait "$sim" 2>/dev/null || true
  sim=""
done
