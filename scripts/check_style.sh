#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The habits the compiler does not hold us to: every C++ file is formatted as .clang-format says,
# every include in core has a shape that goes through the layers' include roots (an include of
# a higher layer does not compile otherwise), and every source file starts with its licence line
# (scripts/add_spdx.sh adds it). Run first by scripts/test.sh; exits non-zero on a miss.
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

# An include in core names a header through its layer's root ("layer/name.h") or a system or
# library header (<name>, <dir/name.h>). Anything else - "..", an absolute path, a header beside
# the file without its folder, an include through a macro - would get around the layers' roots.
core_files=()
for f in "${files[@]}"; do [[ "$f" == core/* ]] && core_files+=("$f"); done
layers="$(cd core && find . -mindepth 1 -maxdepth 1 -type d -printf '%f\n' | paste -sd'|')"
quoted="\"($layers)/[A-Za-z0-9_]+(/[A-Za-z0-9_]+)*\\.(h|inc)\""
angled="<[A-Za-z0-9_+-]+(/[A-Za-z0-9_.+-]+)*(\\.[A-Za-z0-9]+)?>"
bad="$(grep -nE '^[[:space:]]*#[[:space:]]*include' "${core_files[@]}" </dev/null |
  grep -vE "^[^:]+:[0-9]+:[[:space:]]*#[[:space:]]*include[[:space:]]*($quoted|$angled)[[:space:]]*(//.*)?$" |
  grep -E '.' || true)$(grep -nE '^[[:space:]]*#[[:space:]]*include.*\.\.' "${core_files[@]}" </dev/null || true)"
if [ -n "$bad" ]; then
  printf '%s\n' "$bad"
  echo "check_style: a core include names \"layer/name.h\" or <header>: never \"..\", an absolute" \
    "path, a header without its folder or a macro" >&2
  status=1
fi
for f in "${core_files[@]}"; do
  [ -r "$f" ] || { echo "check_style: could not read $f" >&2; status=1; }
done
# Every folder of core with code is a layer of the stack, and every layer is a folder: a folder
# left out would build into no library, and its includes would not be checked by the roots.
listed="$(sed -nE 's/^set\(CAMLIFT_CORE_LAYERS ([a-z0-9 ]+)\)$/\1/p' core/CMakeLists.txt)"
[ -n "$listed" ] || { echo "check_style: no CAMLIFT_CORE_LAYERS in core/CMakeLists.txt" >&2; status=1; }
for d in core/*/; do
  d="$(basename "$d")"
  compgen -G "core/$d/*.cpp" >/dev/null || continue
  [[ " $listed " == *" $d "* ]] ||
    { echo "check_style: core/$d is not in CAMLIFT_CORE_LAYERS (core/CMakeLists.txt)" >&2; status=1; }
done
for d in $listed; do
  [ -d "core/$d" ] ||
    { echo "check_style: CAMLIFT_CORE_LAYERS names $d, which is no folder of core/" >&2; status=1; }
done
if ! bash "$root/scripts/add_spdx.sh" --check; then
  status=1
fi
exit $status
