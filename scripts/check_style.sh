#!/usr/bin/env bash
# The habits the compiler does not hold us to: every C++ file is formatted as .clang-format says,
# and no include climbs out of a layer with "../" (the layers' include roots do the rest: an
# include of a higher layer does not compile). Run by scripts/test.sh; exits non-zero on a miss.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
status=0

mapfile -t files < <(git ls-files '*.cpp' '*.h')
if ! clang-format --dry-run -Werror "${files[@]}"; then
  echo "check_style: files above differ from .clang-format; run: clang-format -i <file>" >&2
  status=1
fi

if grep -n '#include "\.\./' $(git ls-files 'core/*.cpp' 'core/*.h'); then
  echo "check_style: core includes go through the layers' include roots, never \"../\"" >&2
  status=1
fi
exit $status
