#!/usr/bin/env bash
# The habits the compiler does not hold us to: every C++ file is formatted as .clang-format says,
# no include path in core holds "..", the one way around the layers' include roots (an include
# of a higher layer does not compile otherwise), and every source file starts with its licence
# line (scripts/add_spdx.sh adds it). Run first by scripts/test.sh; exits non-zero on a miss.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
status=0

# Formatters of other major versions lay out the same code differently: the files are kept in
# the form of the version Debian installs.
readonly format_major=14
formatter=clang-format-$format_major
command -v "$formatter" >/dev/null || formatter=clang-format
version="$("$formatter" --version 2>/dev/null || true)"
if [[ ! "$version" =~ version\ $format_major\. ]]; then
  echo "check_style: needs clang-format $format_major (found: ${version:-none})" >&2
  exit 2
fi

sources="$(git -C "$root" ls-files -- '*.cpp' '*.h')" ||
  { echo "check_style: needs a git checkout of the sources" >&2; exit 2; }
if [ -z "$sources" ]; then
  echo "check_style: no C++ files found under $root" >&2
  exit 2
fi
mapfile -t files <<<"$sources"
cd "$root"

if ! "$formatter" --dry-run -Werror "${files[@]}" </dev/null; then
  echo "check_style: the files above differ from .clang-format; run: $formatter -i FILE" >&2
  status=1
fi

core_files=()
for f in "${files[@]}"; do [[ "$f" == core/* ]] && core_files+=("$f"); done
set +e
grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*["<][^">]*\.\.' "${core_files[@]}" </dev/null
found=$?
set -e
if [ "$found" -eq 0 ]; then
  echo "check_style: core includes go through the layers' include roots, never \"..\"" >&2
  status=1
elif [ "$found" -ne 1 ]; then
  echo "check_style: could not read the core sources" >&2
  status=1
fi
if ! bash "$root/scripts/add_spdx.sh" --check; then
  status=1
fi
exit $status
