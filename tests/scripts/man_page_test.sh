#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The man pages keep up with the programs: every subcommand and every option that the --help of
# camlift and camlift-sim lists (walking every subcommand's own --help) must appear in
# packaging/camlift.1.in or camlift-sim.1.in. An option counts when "--name" stands in the page
# as a whole word (so does every fault switch an option's help lists); a subcommand when its
# name stands as a word on a .B, .BR or .SS line. The
# output names every missing entry, so a new option shows here until its page describes it.
set -u
CAMLIFT="${CAMLIFT_EXE:?}"
SIM="${CAMLIFT_SIM_EXE:?}"
pages="$(cd "$(dirname "$0")/../../packaging" && pwd)"

missing=0
# check_page EXE PAGE: walks EXE's help tree and reports what PAGE lacks.
check_page() {
  local exe="$1" page="$2"
  local text
  text="$(sed 's/\\//g' "$page")"  # troff writes \-\-name; compare as the reader sees it
  walk() {
    local help sub option
    help="$("$exe" "$@" --help 2>&1)" || { echo "FAIL: ${exe##*/} $* --help failed"; missing=1; return; }
    while read -r option; do
      [ -z "$option" ] && continue
      if ! grep -qE -- "(^|[^a-z0-9-])${option}([^a-z0-9-]|\$)" <<<"$text"; then
        echo "missing in ${page##*/}: option $option of '${exe##*/} $*'"
        missing=1
      fi
    done < <(grep -oE '^ +(-[a-zA-Z],)?--[a-z0-9-]+' <<<"$help" | sed 's/.*,//; s/^ *//')
    # The fault switches an option's help lists ("Fault switch: a, b, ...") are named too.
    while read -r fault; do
      [ -z "$fault" ] && continue
      if ! grep -qE -- "(^|[^a-z0-9-])${fault}([^a-z0-9-]|\$)" <<<"$text"; then
        echo "missing in ${page##*/}: fault $fault of '${exe##*/} $*'"
        missing=1
      fi
    done < <(grep -oE 'Fault switch: [a-z0-9, -]+' <<<"$help" | sed 's/^Fault switch: //' |
             tr ',' '\n' | sed 's/^ *//; s/ *$//')
    while read -r sub; do
      [ -z "$sub" ] && continue
      if ! grep -E '^\.(B|BR|SS) ' <<<"$text" | grep -qE -- "(^|[^a-z0-9-])${sub}([^a-z0-9-]|\$)"; then
        echo "missing in ${page##*/}: subcommand '${exe##*/} $* $sub'"
        missing=1
      fi
      walk "$@" "$sub"
    done < <(awk '/^Subcommands:/ {s = 1; next} /^[A-Za-z]/ {s = 0} s && /^  [a-z]/ {print $1}' <<<"$help")
  }
  walk
}

check_page "$CAMLIFT" "$pages/camlift.1.in"
check_page "$SIM" "$pages/camlift-sim.1.in"
# The test must have looked at something: both programs list subcommands and options.
if ! "$CAMLIFT" --help | grep -q '^Subcommands:'; then echo "FAIL: camlift --help lists no subcommand"; missing=1; fi

if [ $missing -ne 0 ]; then
  echo "FAIL: the man pages do not describe everything the programs offer (see above)"
  exit 1
fi
echo "man pages describe every subcommand and option"
