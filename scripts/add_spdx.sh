#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Puts the licence line "SPDX-License-Identifier: Apache-2.0" at the top of every source file of
# the checkout that lacks one (C++ as a // comment; scripts, CMake and Python as a # comment,
# below a #! line). Files that have it are left as they are, so it can run again at any time,
# e.g. after a merge brings new files.
#   scripts/add_spdx.sh           adds the line where it is missing
#   scripts/add_spdx.sh --check   only names the files without it; non-zero when there are any
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
readonly identifier="SPDX-License-Identifier: Apache-2.0"
check_only=0
[ "${1:-}" = --check ] && check_only=1

cd "$root"
mapfile -t files < <(git ls-files -- '*.cpp' '*.h' '*.sh' '*.py' '*.cmake' '*CMakeLists.txt' \
  '*.bash-completion' | grep -v '^\.ci/')
missing=0
for f in "${files[@]}"; do
  [ -f "$f" ] || continue
  # The line is the first, or the second below a #! line.
  head -n 2 "$f" | grep -qE "^(//|#) SPDX-License-Identifier: " && continue
  missing=$((missing + 1))
  if [ $check_only -eq 1 ]; then
    echo "$f: no \"$identifier\" line at the top"
    continue
  fi
  case "$f" in
    *.cpp | *.h) comment="// $identifier" ;;
    *) comment="# $identifier" ;;
  esac
  temp="$(mktemp "$f.XXXXXX")"
  if head -n 1 "$f" | grep -q '^#!'; then
    { head -n 1 "$f"; echo "$comment"; tail -n +2 "$f"; } >"$temp"
  else
    { echo "$comment"; cat "$f"; } >"$temp"
  fi
  chmod --reference="$f" "$temp"
  mv "$temp" "$f"
done
if [ $check_only -eq 1 ]; then
  [ $missing -eq 0 ] || echo "add_spdx: $missing files lack the licence line; run scripts/add_spdx.sh" >&2
  [ $missing -eq 0 ]
else
  echo "add_spdx: added the licence line to $missing files"
fi
