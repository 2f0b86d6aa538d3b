#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Installs the Debian package into this machine with dpkg -i, checks what a user of it meets
# (the program on PATH, the menu entry, the AppStream metadata, the man pages, the completion, an
# upgrade against camlift-sim with the repository taken from /etc/xdg/camlift/option.ini), then
# removes the package and puts back what it changed in /etc, so that the machine is as before.
# Needs root; skips with a message otherwise, or when a camlift is installed here already.
# Usage: scripts/install_test.sh [PACKAGE.deb | --reuse BUILD_DIR]
#   without a package it runs scripts/package.sh first (with --reuse: on that build's programs)
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
app_id="org.camlift.Camlift"

skip() { echo "== install test skipped: $*"; exit 0; }
[ "$(id -u)" -eq 0 ] || skip "it installs the package with dpkg -i and needs root"
# Any trace of a camlift here (a package in any state, a program on PATH) is left alone.
status="$(dpkg-query -W -f='${Status}' camlift 2>/dev/null)"
case "$status" in
  "" | "unknown ok not-installed" | "purge ok not-installed") ;;
  *) skip "dpkg knows a camlift package here already ($status); it is left alone" ;;
esac
for program in camlift camlift-sim; do
  found="$(command -v "$program")" && skip "$found exists already; it is left alone"
done

if [ $# -ge 1 ] && [ "$1" != --reuse ]; then
  deb="$1"  # a package made before
else
  echo "== install test: building the package"
  package_log="$(mktemp /tmp/camlift-package.XXXXXX)"
  trap 'rm -f "$package_log"' EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM
  bash "$root/scripts/package.sh" "$@" > "$package_log" 2>&1
  package_status=$?
  deb="$(tail -n 1 "$package_log")"
  if [ $package_status -ne 0 ] || [ ! -f "$deb" ]; then
    echo "FAIL: scripts/package.sh made no lint-clean package:"
    tail -n 40 "$package_log"
    rm -f "$package_log"
    exit 1
  fi
  rm -f "$package_log"
fi
version="$(dpkg-deb -f "$deb" Version)"
echo "== install test: $deb (version $version)"
# Every file of the package: none may be here before (dpkg -i would overwrite it and dpkg -r
# delete it), and none may be left after.
mapfile -t package_files < <(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\./, "", $6); print $6 }')
[ ${#package_files[@]} -gt 0 ] || { echo "FAIL: cannot list $deb"; exit 1; }
for f in "${package_files[@]}"; do
  [ -e "$f" ] || [ -L "$f" ] && skip "$f exists already; it is left alone"
done

# The stand-in for the closed search library, from the build that was packaged (or
# CAMLIFT_STANDIN_LIBRARY): put into the installed copy's library folder for one search.
standin="${CAMLIFT_STANDIN_LIBRARY:-}"
if [ -z "$standin" ] && [ "${1:-}" = --reuse ] && [ -n "${2:-}" ]; then
  standin="$root/$2/tests/standin/515/libDVSNETClient.so"
fi
library_folder="/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null)/camlift"

work="$(mktemp -d /tmp/camlift-install.XXXXXX)"
made_library_folder=0
etc=/etc/xdg/camlift
etc_backup=""  # a folder beside $etc (same file system: a rename puts it back as it was)
etc_ours=0  # 1 once what was in $etc is saved away (or there was nothing): then we may clear it
made_etc_xdg=0
installed=0  # 1 from the moment dpkg -i starts: an interrupted dpkg -i is purged too
fail=0
group=""  # process group of the programs running in a namespace right now
# in_group COMMAND...: runs it in a process group of its own and waits in a way a signal can
# interrupt, so that an interrupted test stops the simulators too.
in_group() {
  setsid --wait "$@" &
  group=$!
  wait "$group"
  local rc=$?
  group=""
  return $rc
}
cleanup() {
  trap - EXIT INT TERM HUP
  if [ -n "$group" ]; then
    kill -TERM -- "-$group" 2>/dev/null
    sleep 1
    kill -KILL -- "-$group" 2>/dev/null
  fi
  [ $made_library_folder -eq 1 ] && rm -rf "$library_folder"
  [ $installed -eq 1 ] && dpkg -P camlift >/dev/null 2>&1
  if [ $etc_ours -eq 1 ]; then
    rm -rf "$etc"
    if [ -n "$etc_backup" ]; then
      if [ -e "$etc_backup/camlift" ] || [ -L "$etc_backup/camlift" ]; then
        mv "$etc_backup/camlift" "$etc" || echo "FAIL: could not put $etc back; it is in $etc_backup"
      fi
      rmdir "$etc_backup" 2>/dev/null
    fi
  fi
  [ $made_etc_xdg -eq 1 ] && rmdir /etc/xdg
  rm -rf "$work"
}
trap cleanup EXIT
# Interrupted (Ctrl-C, a CI time-out): clean up all the same.
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP
check() {  # check DESCRIPTION COMMAND...: runs the command, says FAIL with its output otherwise
  local what="$1" out
  shift
  if out="$("$@" 2>&1)"; then
    echo "ok: $what"
  else
    echo "FAIL: $what"
    printf '%s\n' "$out" | sed 's/^/    /'
    fail=1
  fi
}

# Only the two programs and their data: no test program, no closed-library stand-in.
check "the package holds only camlift and camlift-sim as programs" \
  bash -c "[ \"\$(dpkg-deb -c '$deb' | grep -cE '/usr/bin/.+')\" = 2 ] &&
           ! dpkg-deb -c '$deb' | grep -qiE 'dvsnet|standin|test'"
check "dependencies were computed from the shared libraries" \
  bash -c "dpkg-deb -f '$deb' Depends | grep -q 'libc6 (>='"
check "a CJK font is recommended, so that the Chinese window shows no boxes" \
  bash -c "[ \"\$(dpkg-deb -f '$deb' Recommends)\" = 'fonts-wqy-microhei | fonts-noto-cjk' ]"

[ -d /etc/xdg ] || { mkdir /etc/xdg; made_etc_xdg=1; }
if [ -e "$etc" ] || [ -L "$etc" ]; then
  if ! etc_backup="$(mktemp -d /etc/xdg/.camlift-install-test.XXXXXX)" ||
    ! mv "$etc" "$etc_backup/camlift"; then
    echo "FAIL: cannot move $etc aside; nothing was installed"
    exit 1
  fi
fi
etc_ours=1

installed=1
if ! dpkg -i "$deb" >"$work/dpkg.out" 2>&1; then
  echo "FAIL: dpkg -i"; cat "$work/dpkg.out"
  exit 1
fi

check "camlift --version from PATH says $version" \
  bash -c "[ \"\$(command -v camlift)\" = /usr/bin/camlift ] &&
           [ \"\$(camlift --version)\" = '$version' ] && [ \"\$(camlift-sim --version)\" = '$version' ]"
check "desktop-file-validate" desktop-file-validate "/usr/share/applications/$app_id.desktop"
check "appstreamcli validate --no-net" \
  appstreamcli validate --no-net "/usr/share/metainfo/$app_id.metainfo.xml"
check "the metadata names release $version" \
  grep -q "<release version=\"$version\"" "/usr/share/metainfo/$app_id.metainfo.xml"
check "the icon is installed, scalable and in the usual sizes" bash -c "
  test -s /usr/share/icons/hicolor/scalable/apps/$app_id.svg || exit 1
  for size in 16 22 24 32 48 64 128 256; do
    file /usr/share/icons/hicolor/\${size}x\${size}/apps/$app_id.png |
      grep -q \"PNG image data, \$size x \$size\" || { echo \"no \${size}x\$size icon\"; exit 1; }
  done"
for page in camlift camlift-sim; do
  check "man -l renders $page.1 without warnings, version $version" bash -c "
    out=\$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l /usr/share/man/man1/$page.1.gz 2>&1 >/dev/null)
    [ -z \"\$out\" ] || { echo \"\$out\"; exit 1; }
    LC_ALL=C.UTF-8 MANWIDTH=80 man -l /usr/share/man/man1/$page.1.gz | grep -q 'camlift $version'"
done
check "licence, README and the example options under /usr/share/doc/camlift" \
  bash -c "grep -q '^License: Apache-2.0\$' /usr/share/doc/camlift/copyright &&
           test -s /usr/share/doc/camlift/README.md -a -s /usr/share/doc/camlift/examples/option.ini"
# Every relative link of the installed README (its pictures above all) names a file beside it.
check "the installed README's links and pictures resolve" bash -c '
  cd /usr/share/doc/camlift || exit 1
  missing=0
  for target in $(grep -o "\]([^)#]*)" README.md | sed "s/^](//; s/)\$//" | grep -v "://"); do
    [ -e "$target" ] || { echo "missing: $target"; missing=1; }
  done
  exit $missing'

# bash-completion loads the completion by the command's name and offers subcommands and options.
# It runs the program (with --help) as the user types: here inside a network namespace as well.
complete_words() {  # complete_words WORD... : what TAB offers after the last word
  unshare -n bash -c '
    source /usr/share/bash-completion/bash_completion
    __load_completion "$1" || exit 1
    COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
    func=$(complete -p "$1" | sed -E "s/.*-F ([^ ]+) .*/\1/")
    "$func" "$1" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
    printf "%s\n" "${COMPREPLY[@]}"' bash "$@"
}
expect_completion() {  # expect_completion EXPECTED WORD...
  local expected="$1" got
  shift
  got="$(complete_words "$@" 2>&1)"
  if [ "$got" = "$expected" ]; then
    echo "ok: completion after '$*' offers $expected"
  else
    echo "FAIL: completion after '$*' offers '$got', not $expected"
    fail=1
  fi
}
expect_completion upgrade camlift up
expect_completion --series camlift upgrade --ser
expect_completion add camlift-sim repo a

# An upgrade with the installed programs, the repository named only by the system-wide options
# file. Everything runs in a network namespace of its own, on its loopback.
mkdir -p "$etc"
printf '[Global]\nrepository=http://127.0.0.1:18090/FM/\n' > "$etc/option.ini"
mkdir -p "$work/home"
in_group unshare -n env -i PATH=/usr/bin:/bin:/usr/sbin:/sbin HOME="$work/home" LC_ALL=C.UTF-8 \
  CAMLIFT_TIME_SCALE=0.01 CAMLIFT_BROADCAST_ADDR=127.255.255.255 bash -c '
  set -u
  ip link set lo up
  cd "$1"
  camlift-sim repo add --root repo --folder system --section P100 --kind sys --version 2.0.0.1 \
    --series P > repo-add.out || exit 10
  camlift-sim repo serve --root repo --ip 127.0.0.1 --port 18090 > repo.out 2>&1 &
  repo=$!
  camlift-sim camera --series P --ip 127.0.0.2 --port 8081 --password x --model P100 \
    --sys-version 1.0.0.1 > camera.out 2>&1 &
  camera=$!
  for _ in $(seq 1 100); do
    grep -q ready repo.out && grep -q ready camera.out && break
    sleep 0.1
  done
  timeout 120 camlift upgrade --series P --ip 127.0.0.2 --port 8081 --password x > upgrade.out 2>&1
  status=$?
  camlift paths > paths.out 2>&1
  kill $repo $camera; wait
  exit $status' bash "$work" > "$work/netns.out" 2>&1
upgrade_status=$?
check "camlift upgrade against camlift-sim, repository from $etc/option.ini" \
  bash -c "[ $upgrade_status -eq 0 ] || { cat '$work/netns.out' '$work/upgrade.out' '$work/camera.out' '$work/repo.out'; exit 1; }"
check "the firmware cache is under ~/.cache/camlift, nothing in /usr/bin" \
  bash -c "ls '$work/home/.cache/camlift/Bin/' | grep -q . && [ ! -e /usr/bin/Bin ] &&
           [ ! -e /usr/bin/Firmware.ini ] && [ ! -e /usr/bin/option.ini ]"
check "camlift paths names the system-wide options file and the XDG folders" \
  bash -c "grep -q 'default options:  /etc/xdg/camlift/option.ini\$' '$work/paths.out' &&
           grep -q 'cache:  *$work/home/.cache/camlift/' '$work/paths.out' &&
           grep -q 'state:  *$work/home/.local/state/camlift/' '$work/paths.out' ||
           { cat '$work/paths.out'; exit 1; }"

# An installed copy loads the closed search library from its library folder (never from
# /usr/bin): the stand-in there reports one scripted device to a search on loopback.
if [ -f "$standin" ] && [ ! -e "$library_folder" ] && [ ! -L "$library_folder" ]; then
  made_library_folder=1
  mkdir -p "$library_folder" && cp "$standin" "$library_folder/libDVSNETClient.so"
  in_group unshare -n env -i PATH=/usr/bin:/bin:/usr/sbin:/sbin HOME="$work/home" LC_ALL=C.UTF-8 \
    CAMLIFT_TIME_SCALE=0.1 CAMLIFT_BROADCAST_ADDR=127.255.255.255 \
    CAMLIFT_STANDIN_DEVICES="Lib cam|127.0.0.44|0200000000aa|81|0|255.255.255.0|127.0.0.1|127.0.0.1|1" \
    bash -c 'ip link set lo up; timeout 60 camlift search --json --passes 2' \
    > "$work/library.out" 2>&1
  check "the closed search library is loaded from $library_folder" \
    bash -c "grep '\"ip\":\"127.0.0.44\"' '$work/library.out' | grep -q '\"devType\":4,' ||
             { cat '$work/library.out'; exit 1; }"
  rm -rf "$library_folder" && made_library_folder=0
else
  echo "== install test: no stand-in library (or $library_folder exists); its check is skipped"
fi

# The menu entry's command opens the window (offscreen; its background search stays inside a
# network namespace of its own).
exec_line="$(sed -n 's/^Exec=//p' "/usr/share/applications/$app_id.desktop")"
in_group unshare -n env -i PATH=/usr/bin:/bin:/usr/sbin:/sbin HOME="$work/home" LC_ALL=C.UTF-8 \
  QT_QPA_PLATFORM=offscreen CAMLIFT_EXIT_AFTER_SHOW=1 CAMLIFT_NONINTERACTIVE=1 \
  CAMLIFT_BROADCAST_ADDR=127.255.255.255 XDG_RUNTIME_DIR="$work/run" \
  bash -c 'ip link set lo up; mkdir -m 700 -p "$XDG_RUNTIME_DIR"; timeout 60 '"$exec_line" \
  > "$work/window.out" 2>&1
check "the menu entry's command ($exec_line) opens the window" \
  bash -c "grep -q 'first window shown' '$work/window.out' || { cat '$work/window.out'; exit 1; }"

dpkg -r camlift >"$work/dpkg-r.out" 2>&1 && installed=0
left=()
for f in "${package_files[@]}" /usr/share/doc/camlift /usr/bin/Bin /usr/bin/option.ini \
  /usr/bin/logs /usr/bin/Firmware.ini; do
  [ -e "$f" ] || [ -L "$f" ] && left+=("$f")
done
status="$(dpkg-query -W -f='${Status}' camlift 2>/dev/null)"
check "dpkg -r removes the programs and their files, and the programs left none behind" \
  bash -c "[ $installed -eq 0 ] && [ -z '${left[*]}' ] && [[ '$status' =~ ^(.*not-installed)?$ ]] ||
           { cat '$work/dpkg-r.out'; echo 'left: ${left[*]}; dpkg: $status'; exit 1; }"

if [ $fail -ne 0 ]; then
  echo "== install test: FAILED"
  exit 1
fi
echo "== install test: passed"
