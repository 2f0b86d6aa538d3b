#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The bash completion runs the program while the user types. Whatever words stand on the line
# (subcommands, an address, a word that is no subcommand, shell syntax), it may only ever run the
# program with --help as the last word: never an upgrade, a search or the window. The program is
# reached through a wrapper that logs every call; the test also checks that nothing is written to
# the home, temporary or current folder, and that it still offers what it should.
set -u
CAMLIFT="${CAMLIFT_EXE:?}"
SIM="${CAMLIFT_SIM_EXE:?}"
completion="$(cd "$(dirname "$0")/../../packaging" && pwd)/camlift.bash-completion"
if [ ! -f /usr/share/bash-completion/bash_completion ]; then
  echo "SKIP: bash-completion is not installed"
  exit 77
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$work/home" "$work/tmp" "$work/cwd"
for pair in "camlift:$CAMLIFT" "camlift-sim:$SIM"; do
  name="${pair%%:*}"
  cat > "$work/bin/$name" <<EOF
#!/usr/bin/env bash
printf '%s\n' "\$*" >> "$work/calls"
exec "${pair#*:}" "\$@"
EOF
  chmod +x "$work/bin/$name"
done

fail=0
# offers WORD...: what TAB offers after the last word (the completion loaded as bash-completion
# loads it), with no display, a fresh home and temporary folder.
offers() {
  (cd "$work/cwd" && env -u DISPLAY -u WAYLAND_DISPLAY HOME="$work/home" TMPDIR="$work/tmp" \
    PATH="$work/bin:$PATH" timeout 30 bash -c '
      source /usr/share/bash-completion/bash_completion
      source "$1"; shift
      COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
      _camlift "$1" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
      printf "%s\n" "${COMPREPLY[@]}"' bash "$completion" "$@")
}
expect_offer() {  # expect_offer EXPECTED WORD...
  local expected="$1" got
  shift
  got="$(offers "$@" 2>&1)"
  if ! grep -qxF -- "$expected" <<<"$got"; then
    echo "FAIL: after '$*' the completion offers '$got', not $expected"
    fail=1
  fi
}

expect_offer upgrade camlift up
expect_offer --series camlift upgrade --ser
expect_offer --ip camlift upgrade --series K --i
expect_offer add camlift-sim repo a
expect_offer P camlift upgrade --series ""

# Lines a user may have typed before pressing TAB.
lines=(
  "camlift "
  "camlift upgrade "
  "camlift upgrade 192.168.1.20 "
  "camlift upgrade --ip 192.168.1.20 --yes "
  "camlift search "
  "camlift search --json "
  "camlift gui "
  "camlift window "
  "camlift fetch x y "
  "camlift r730 network "
  "camlift pk2 list "
  'camlift $(touch\ pwned) '
  'camlift ;touch\ pwned; '
  "camlift -- upgrade "
  "camlift-sim "
  "camlift-sim run "
  "camlift-sim camera "
  "camlift-sim repo serve "
)
for line in "${lines[@]}"; do
  read -ra words <<<"$line"
  words+=("")  # the cursor stands after a blank: an empty word is being completed
  offers "${words[@]}" >/dev/null 2>&1
  [ $? -eq 124 ] && { echo "FAIL: completing '$line' did not finish"; fail=1; }
done

if [ ! -s "$work/calls" ]; then
  echo "FAIL: the completion never ran the program"
  fail=1
fi
while read -r call; do
  if [[ "$call" != *--help ]]; then
    echo "FAIL: the completion ran the program as '${call}' (without --help last)"
    fail=1
  fi
done <"$work/calls"
left="$(find "$work/home" "$work/tmp" "$work/cwd" -mindepth 1)"
if [ -n "$left" ]; then
  echo "FAIL: completing wrote files:"
  echo "$left"
  fail=1
fi

[ $fail -eq 0 ] || exit 1
echo "the completion ran the program $(wc -l <"$work/calls") times, always with --help last"
